#include "app/launcher/install_report.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "common/printable.h"
#include "install/json_text.h"

namespace launcher {

namespace {

using Json = nlohmann::ordered_json;  // members in the order they are set

// Names keep their exact bytes: valid UTF-8 as it is, other bytes as the
// ISO 8859-1 character of their value (as setupkit list --json writes them).
Json text(const std::string& bytes) { return json_text::asUtf8(bytes); }

int terminalWidth() {
  winsize size{};
  return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20 ? size.ws_col : 80;
}

}  // namespace

void InstallReport::line(const std::string& json) {
  if (!json_) return;
  std::fputs(json.c_str(), json_);
  std::fputc('\n', json_);
  std::fflush(json_);  // a reader of the pipe sees each event as it happens
}

void InstallReport::clearLine() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

void InstallReport::start(const InstallStart& s) {
  Json volumes = Json::array();
  for (const auto& v : s.volumes) volumes.push_back(text(v));
  Json o{{"event", "start"},
         {"title", text(s.title)},
         {"app", text(s.app)},
         {"destination", text(s.destination)},
         {"destination_from", s.destinationFrom},
         {"volumes", volumes}};
  // "signer": null for an unsigned medium.
  o["signer"] =
      s.isSigned ? Json{{"key", s.keyId}, {"comment", text(s.comment)}, {"trusted", s.trustedBySystem}} : Json(nullptr);
  line(o.dump());
}

void InstallReport::file(const std::string& name, const std::string& target, bool written, uint64_t bytes) {
  Json o{{"event", "file"}, {"name", text(name)}, {"path", text(target)}, {"action", written ? "written" : "skipped"}};
  o["bytes"] = written ? Json(bytes) : Json(nullptr);
  line(o.dump());
}

void InstallReport::volume(int number, const std::string& path) {
  line(Json{{"event", "volume"}, {"number", number}, {"path", text(path)}}.dump());
}

void InstallReport::kept(const std::string& name, const std::string& reason) {
  line(Json{{"event", "kept"}, {"name", text(name)}, {"reason", text(reason)}}.dump());
}

void InstallReport::progress(int percent, const std::string& file) {
  if (!terminal_ || file.empty()) return;
  // Drawn at most ten times a second: a terminal is slower than the restore
  // of many small files.
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
  lastDrawn_ = now;
  std::string shown = setupkit::printable(file);
  const size_t room = size_t(terminalWidth() - 7);
  if (shown.size() > room) shown = "..." + shown.substr(shown.size() - (room - 3));
  std::fprintf(stderr, "\r\033[K%3d%%  %s", percent, shown.c_str());
  std::fflush(stderr);
  shown_ = true;
}

std::string resultOfStatus(int status) {
  switch (status) {
    case 0: return "completed";
    case 2: return "damaged";
    case 3: return "missing";
    case 4: return "cancelled";
    case 5: return "refused";
    case 64: return "usage";
    default: return "failed";
  }
}

void InstallReport::end(const InstallEnd& e) {
  clearLine();
  Json o{{"event", "end"},       {"status", e.status},   {"result", e.result},
         {"written", e.written}, {"skipped", e.skipped}, {"bytes", e.bytes}};
  o["file"] = e.failedFile.empty() ? Json(nullptr) : text(e.failedFile);
  o["reason"] = e.reason.empty() ? Json(nullptr) : text(e.reason);
  if (!e.refusal.empty()) o["refusal"] = e.refusal;
  o["rolled_back"] = e.rolledBack;
  line(o.dump());
}

}  // namespace launcher
