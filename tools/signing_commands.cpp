#include "tools/signing_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/exit_status.h"
#include "common/tool_error.h"
#include "medium/medium_signature.h"
#include "tools/secret_key.h"

namespace fs = std::filesystem;

namespace setupkit {

namespace {

// Writes a new file with the mode `mode`; an existing file is never replaced
// (a key overwritten by mistake is lost for good).
void writeNew(const std::string& path, const std::string& text, mode_t mode) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) throw ToolError("Cannot write " + path + (errno == EEXIST ? ": it exists already" : ""));
  const bool written = write(fd, text.data(), text.size()) == ssize_t(text.size());
  if (close(fd) != 0 || !written) {
    unlink(path.c_str());
    throw ToolError("Cannot write " + path);
  }
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ArchiveNotFound(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int makeKeyPair(const KeyOptions& options, std::ostream& out) {
  const signature::SecretKey key = signature::generateKey();
  std::optional<std::string> password;
  if (!options.noPassword) password = newPassword({options.passwordFile});
  if (password && password->empty()) throw ToolError("an empty password: give one, or --no-password");
  writeNew(options.secretFile, secretKeyText(key, password), 0600);
  try {
    writeNew(options.publicFile, signature::publicKeyText(signature::publicKeyOf(key)), 0644);
  } catch (...) {
    unlink(options.secretFile.c_str());
    throw;
  }
  out << "Key " << signature::keyIdText(key.id) << ": public " << options.publicFile << ", secret "
      << options.secretFile << (password ? "" : " (not encrypted)") << "\n";
  return kExitOk;
}

int verifySignedMedium(const std::string& publicKeyFile, const std::string& medium, std::ostream& out,
                       std::ostream& err) {
  std::string why;
  const auto key = signature::parsePublicKey(readText(publicKeyFile), &why);
  if (!key) throw ToolError(publicKeyFile + ": " + why);
  std::error_code ec;
  // The folder of a medium named by its archive or launcher.
  fs::path path(medium);
  if (fs::is_regular_file(path, ec) && fs::is_regular_file(path.parent_path() / medium_signature::kSumsSignature, ec))
    path = path.parent_path();
  medium_signature::Result result;
  const medium_signature::TrustedKeys none;
  if (fs::is_directory(path, ec)) {
    result = medium_signature::checkFolder(path.string(), none, &*key);
  } else {
    const installer::Layout layout = installer::readLayout(path.string());
    if (layout.state != installer::State::Sound) {
      err << "setupkit: " << medium << ": "
          << (layout.problem.empty() ? "neither a medium folder nor a one-file installer" : layout.problem) << "\n";
      return layout.state == installer::State::Unreadable ? kExitMissing : kExitDamaged;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    result = medium_signature::checkOneFile(fd, layout.parts, none, &*key);
    close(fd);
  }
  if (result.status != 0) {
    err << "setupkit: " << medium << ": " << result.problem << "\n";
    return result.status;
  }
  out << medium << ": " << medium_signature::describe(result.signer) << "; every file is as signed\n";
  return kExitOk;
}

void readSigningKey(MediumOptions& options) {
  if (options.secretKey.empty()) return;
  options.signing.key =
      std::make_shared<const signature::SecretKey>(readSecretKey(options.secretKey, {options.passwordFile}));
  if (options.signing.comment.empty()) options.signing.comment = defaultTrustedComment(options.title);
  if (options.signing.comment.find_first_of("\r\n") != std::string::npos)
    throw ToolError("the trusted comment must be one line");
}

}  // namespace setupkit
