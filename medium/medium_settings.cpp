#include "medium/medium_settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "medium/installer_file.h"
#include "platform/file_window.h"
#include "platform/text_file.h"

#include "platform/ini.h"
#include "platform/paths.h"

namespace medium {

namespace {

std::string lowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  const passwd* entry = getpwuid(getuid());
  return entry && entry->pw_dir ? entry->pw_dir : "";
}

// SETUP.INS is a few lines; anything larger is not one.
constexpr int64_t kMaxSettingsSize = 1 << 20;

std::optional<std::string> configurationPart(const std::string& installerPath) {
  const installer::Layout layout = installer::readLayout(installerPath, false);
  if (layout.state != installer::State::Sound || layout.parts.configuration > kMaxSettingsSize) return std::nullopt;
  std::string text(size_t(layout.parts.configuration), '\0');
  const int fd = open(installerPath.c_str(), O_RDONLY | O_CLOEXEC);
  bool read = fd >= 0;
  for (size_t done = 0; read && done < text.size();) {
    const ssize_t n =
        pread(fd, text.data() + done, text.size() - done, layout.parts.configurationOffset() + off_t(done));
    read = n > 0;
    done += read ? size_t(n) : 0;
  }
  if (fd >= 0) close(fd);
  return read ? std::optional<std::string>(text) : std::nullopt;
}

std::optional<std::string> fileBeside(const std::string& hostPath, const std::string& name) {
  const size_t slash = hostPath.find_last_of('/');
  return platform::readWholeFile((slash == std::string::npos ? std::string() : hostPath.substr(0, slash + 1)) + name,
                                 size_t(kMaxSettingsSize));
}

}  // namespace

std::optional<Settings> settingsForArchive(const std::string& hostPath) {
  std::string source = hostPath;
  if (auto window = platform::fileWindowOf(hostPath)) source = window->file;
  std::optional<std::string> text;
  if (installer::readLayout(source, false).state == installer::State::Sound) {
    text = configurationPart(source);
  } else {
    text = fileBeside(hostPath, "SETUP.INS");
    const size_t slash = hostPath.find_last_of('/');
    source = (slash == std::string::npos ? std::string() : hostPath.substr(0, slash + 1)) + "SETUP.INS";
  }
  if (!text) return std::nullopt;
  auto value = [&](const char* key) { return platform::profileStringFromText("Setup", key, "", *text); };
  return Settings{source,         value("Title"), value("App"), value("DestDir"), value("UserDestDir"),
                  value("Paths"), value("Disks")};
}

std::string userDestination(const std::string& value) {
  if (value.empty() || value[0] != '~' || (value.size() > 1 && value[1] != '/' && value[1] != '\\')) return value;
  std::string host = homeFolder();
  if (host.empty()) return value;
  for (size_t i = 1; i < value.size(); ++i) host += value[i] == '\\' ? '/' : value[i];
  const std::optional<std::string> shown = platform::virtualPathOf(host);
  return shown ? *shown : value;
}

InstallPlace installPlace(const std::string& destDir, const std::string& userDestDir, const std::string& paths,
                          bool root) {
  InstallPlace place;
  place.destination = !root && !userDestDir.empty() ? userDestination(userDestDir) : destDir;
  place.tree = lowerCase(paths) == "tree";
  return place;
}

InstallPlace installPlaceOf(const std::string& setupIns) {
  auto value = [&](const char* key) { return platform::profileStringFromText("Setup", key, "", setupIns); };
  return installPlace(value("DestDir"), value("UserDestDir"), value("Paths"), geteuid() == 0);
}

}  // namespace medium
