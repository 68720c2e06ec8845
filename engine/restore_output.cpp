#include "engine/restore_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"

namespace {

// Whether a rename in `dir` would be refused for the file `st`: a sticky
// directory lets only the owners of the file or of the directory (and root)
// rename it.
bool stickyForbidsRename(const struct stat& dir, const struct stat& st) {
  const uid_t me = geteuid();
  return (dir.st_mode & S_ISVTX) && me != 0 && st.st_uid != me && dir.st_uid != me;
}

}  // namespace

std::unique_ptr<TRestoreOutput> TRestoreOutput::create(const std::string& path,
                                                       std::shared_ptr<platform::OpenDirectory> directory,
                                                       const std::string& name, std::string& reason) {
  std::unique_ptr<TRestoreOutput> out(new TRestoreOutput());
  out->directory_ = std::move(directory);
  out->name_ = name;
  out->written_ = name;
  platform::OpenDirectory& dir = *out->directory_;
  auto failed = [&]() -> std::unique_ptr<TRestoreOutput> {
    reason = platform::lastErrorMessage();
    out->completed_ = true;  // nothing of ours to remove
    return nullptr;
  };

  // Creating exclusively tells a new file from an existing one in the same
  // call that creates it, so the fresh install pays nothing for the rule.
  platform::FileHandle handle = dir.createNew(name, platform::newFileMode());
  if (!handle.valid() && platform::lastError() == platform::kErrorAlreadyExists) {
    struct stat st {};
    if (!dir.statEntry(name, st)) return failed();
    out->mode_ = platform::newFileMode();
    bool inPlace = false;
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      platform::failFromErrno();
      return failed();
    }
    if (S_ISREG(st.st_mode)) {
      // Writing fails exactly where overwriting the file in place would.
      if (!dir.writable(name)) return failed();
      out->mode_ = st.st_mode & 0777;
      out->keepOwner_ = true;
      out->uid_ = st.st_uid;
      out->gid_ = st.st_gid;
      struct stat dirSt {};
      inPlace = dir.status(dirSt) && stickyForbidsRename(dirSt, st);
    }
    if (!inPlace) {
      out->kind_ = Kind::Replacement;
      handle = dir.createTemporary(name, out->written_);
      // A directory the user may not write still lets a writable file be
      // rewritten in place.
      const uint32_t error = platform::lastError();
      if (!handle.valid() && S_ISREG(st.st_mode) && error == platform::kErrorAccessDenied) inPlace = true;
    }
    if (inPlace) {
      out->kind_ = Kind::InPlace;
      out->written_ = name;
      handle = dir.openForRewrite(name);
    }
  }
  if (!handle.valid()) return failed();
  out->unfinished_ =
      platform::UnfinishedFile(dir.descriptor(), out->written_.c_str(), int(handle.value), out->kind_ == Kind::InPlace);
  out->stream_ = std::make_unique<TFileStream>(path, handle);
  return out;
}

TRestoreOutput::~TRestoreOutput() {
  if (!completed_) discard();
}

bool TRestoreOutput::complete(TFileStream* stamped, uint32_t fileDate) {
  if (stamped) platform::setFileDosTime(stamped->handle(), fileDate);
  // A new file already has a given mode when the umask left it so.
  if (modeGiven_ && kind_ == Kind::New && mode_ == platform::newFileMode()) modeGiven_ = false;
  if ((kind_ == Kind::Replacement || modeGiven_) && stream_) {
    // Owner and group are kept where the process may set them (as root);
    // elsewhere the file belongs to the installing user, as a new one would.
    // The mode is set after the owner, which may clear it.
    const int fd = int(stream_->handle().value);
    if (keepOwner_ && kind_ == Kind::Replacement && fchown(fd, uid_, gid_) != 0) errno = 0;
    if (fchmod(fd, mode_) != 0) errno = 0;
  }
  // A file written under its name is whole now; a replacement is whole once
  // it has the name (until then its temporary is what an end removes).
  if (kind_ != Kind::Replacement) unfinished_.release();
  stream_.reset();
  completed_ = kind_ != Kind::Replacement || directory_->rename(written_, name_);
  unfinished_.release();
  return completed_;
}

void TRestoreOutput::discard() {
  if (kind_ == Kind::InPlace) {
    // The old version is gone; what was written is no file either.
    if (stream_ && ftruncate(int(stream_->handle().value), 0) != 0) errno = 0;
    unfinished_.release();
    stream_.reset();
    return;
  }
  stream_.reset();
  directory_->remove(written_);
  unfinished_.release();
}
