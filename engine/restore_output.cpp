#include "engine/restore_output.h"

#include "framework/core/exceptions.h"
#include "platform/errors.h"

TRestoreOutput::TRestoreOutput(const std::string& path) : path_(path), written_(path) {
  // Creating exclusively tells a new file from an existing one in the same
  // call that creates it, so the fresh install pays nothing for the rule.
  platform::FileHandle handle = platform::createNewFile(path);
  if (!handle.valid() && platform::lastError() == platform::kErrorAlreadyExists)
    handle = platform::createReplacement(path, written_);
  if (!handle.valid()) throw EFCreateError("Cannot create file \"" + path + "\"");
  stream_ = std::make_unique<TFileStream>(path, handle);
}

TRestoreOutput::~TRestoreOutput() {
  if (!completed_) discard();
}

bool TRestoreOutput::complete(TFileStream* stamped, uint32_t fileDate) {
  if (stamped) platform::setFileDosTime(stamped->handle(), fileDate);
  stream_.reset();
  completed_ = written_ == path_ || platform::moveFileReplacing(written_, path_);
  return completed_;
}

void TRestoreOutput::discard() {
  stream_.reset();
  platform::deleteFile(written_);
}
