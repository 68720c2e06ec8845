#include "tools/medium_signing.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/tool_error.h"
#include "medium/medium_signature.h"

namespace fs = std::filesystem;

namespace setupkit {

namespace {

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

// Writes the file under a hidden name, then gives it its own.
void writeFileAtomically(const fs::path& target, const std::string& content) {
  const fs::path temporary = target.parent_path() / ("." + target.filename().string() + ".tmp");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temporary, ec);
      throw ToolError("Cannot write " + target.string());
    }
  }
  std::error_code ec;
  fs::rename(temporary, target, ec);
  if (ec) throw ToolError("Cannot write " + target.string() + ": " + ec.message());
}

}  // namespace

void signFolder(const std::string& folder, const Signing& signing) {
  using namespace medium_signature;
  const fs::path dir(folder);
  writeFileAtomically(dir / kPublicKey, signature::publicKeyText(signature::publicKeyOf(*signing.key)));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && !entry.is_symlink() && name != kSums && name != kSumsSignature && name[0] != '.')
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<Sum> sums;
  for (const std::string& name : names) {
    Fd f{open((dir / name).c_str(), O_RDONLY | O_CLOEXEC)};
    Sum s{name, {}};
    if (f.fd < 0 || !sha256Of(f.fd, 0, -1, s.digest)) throw ToolError("Cannot read " + (dir / name).string());
    sums.push_back(s);
  }
  const SignedList list = signSums(*signing.key, sums, signing.comment);
  writeFileAtomically(dir / kSums, list.sums);
  writeFileAtomically(dir / kSumsSignature, list.signature);
}

void removeSignature(const std::string& folder) {
  std::error_code ec;
  for (const char* name : {medium_signature::kSums, medium_signature::kSumsSignature, medium_signature::kPublicKey})
    fs::remove(fs::path(folder) / name, ec);
}

std::string signDetached(const std::string& file, const Signing& signing) {
  Fd f{open(file.c_str(), O_RDONLY | O_CLOEXEC)};
  signature::Hasher hasher;
  if (f.fd < 0 || !signature::hashFile(f.fd, 0, -1, hasher)) throw ToolError("Cannot read " + file);
  std::string target = file + ".minisig";
  writeFileAtomically(target, signature::sign(*signing.key, hasher.digest(), signing.comment));
  return target;
}

std::string defaultTrustedComment(const std::string& title) {
  char day[16] = {};
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  std::strftime(day, sizeof day, "%Y-%m-%d", &tm);
  std::string comment = title + ", signed on " + day;
  std::replace_if(
      comment.begin(), comment.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return comment;
}

}  // namespace setupkit
