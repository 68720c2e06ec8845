#include "framework/core/stream.h"

#include <algorithm>
#include <cstring>

#include "framework/core/exceptions.h"
#include "platform/errors.h"

int64_t TStream::size() {
  int64_t here = position();
  int64_t end = seek(0, platform::kSeekEnd);
  seek(here, platform::kSeekBegin);
  return end;
}

void TStream::readBuffer(void* buffer, int64_t count) {
  char* p = static_cast<char*>(buffer);
  while (count > 0) {
    int64_t n = read(p, count);
    if (n <= 0) throw EReadError();
    p += n;
    count -= n;
  }
}

void TStream::writeBuffer(const void* buffer, int64_t count) {
  if (count > 0 && write(buffer, count) != count) throw EWriteError();
}

int32_t TStream::readInt32() {
  uint8_t b[4];
  readBuffer(b, 4);
  return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

void TStream::writeInt32(int32_t value) {
  uint32_t v = uint32_t(value);
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  writeBuffer(b, 4);
}

int64_t THandleStream::read(void* buffer, int64_t count) {
  int64_t n = platform::readFile(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t THandleStream::write(const void* buffer, int64_t count) {
  int64_t n = platform::writeFile(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t THandleStream::seek(int64_t offset, SeekOrigin origin) { return platform::seekFile(handle_, offset, origin); }

TFileStream::TFileStream(const std::string& fileName, uint32_t mode)
    : THandleStream(platform::FileHandle{}), fileName_(fileName) {
  if ((mode & 0xFF00) == fmCreate) {
    handle_ = platform::createFile(fileName);
    if (!handle_.valid()) throw EFCreateError("Cannot create file \"" + fileName + "\"");
  } else {
    uint32_t access = mode & 0x3;
    auto a = access == fmOpenRead    ? platform::FileAccess::Read
             : access == fmOpenWrite ? platform::FileAccess::Write
                                     : platform::FileAccess::ReadWrite;
    handle_ = platform::openFile(fileName, a);
    if (!handle_.valid()) throw EFOpenError("Cannot open file \"" + fileName + "\"");
  }
}

TFileStream::~TFileStream() { platform::closeFile(handle_); }

int64_t TMemoryStream::read(void* buffer, int64_t count) {
  int64_t available = std::max<int64_t>(0, int64_t(data_.size()) - position_);
  int64_t n = std::min(count, available);
  if (maxReadSize_ > 0) n = std::min(n, maxReadSize_);
  if (n <= 0) return 0;
  std::memcpy(buffer, data_.data() + position_, size_t(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (position_ + count > int64_t(data_.size())) data_.resize(size_t(position_ + count));
  std::memcpy(data_.data() + position_, buffer, size_t(count));
  position_ += count;
  return count;
}

int64_t TMemoryStream::seek(int64_t offset, SeekOrigin origin) {
  int64_t base = origin == platform::kSeekBegin     ? 0
                 : origin == platform::kSeekCurrent ? position_
                                                    : int64_t(data_.size());
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}
