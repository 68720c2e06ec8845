#pragma once
// Byte streams with one base, so that readers work on files and memory alike.
#include <cstdint>
#include <string>
#include <vector>

#include "framework/core/object.h"
#include "platform/files.h"

using platform::SeekOrigin;

class TStream : public TObject {
 public:
  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were stored.
  virtual int64_t write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new one.
  virtual int64_t seek(int64_t offset, SeekOrigin origin) = 0;

  int64_t position() { return seek(0, platform::kSeekCurrent); }
  void setPosition(int64_t pos) { seek(pos, platform::kSeekBegin); }
  int64_t size();

  // Reads exactly count bytes, across short reads; raises EReadError when the
  // stream ends first (what was read stays consumed).
  void readBuffer(void* buffer, int64_t count);
  // Writes exactly count bytes; raises EWriteError when fewer are stored.
  void writeBuffer(const void* buffer, int64_t count);

  // Little-endian 32-bit helpers over readBuffer / writeBuffer.
  int32_t readInt32();
  void writeInt32(int32_t value);
};

// Opening modes of a file stream. Sharing flags are accepted and have no
// effect on this host.
enum FileMode : uint32_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

// A stream over an open platform file.
class THandleStream : public TStream {
 public:
  explicit THandleStream(platform::FileHandle handle) : handle_(handle) {}
  int64_t read(void* buffer, int64_t count) override;
  int64_t write(const void* buffer, int64_t count) override;
  int64_t seek(int64_t offset, SeekOrigin origin) override;
  platform::FileHandle handle() const { return handle_; }

 protected:
  platform::FileHandle handle_;
};

// A file opened (or created, with fmCreate) by Windows-form path; closed when
// the stream is destroyed. Raises EFCreateError / EFOpenError on failure.
class TFileStream : public THandleStream {
 public:
  TFileStream(const std::string& fileName, uint32_t mode);
  // Takes over a file that is already open; it is closed with the stream.
  TFileStream(const std::string& fileName, platform::FileHandle handle) : THandleStream(handle), fileName_(fileName) {}
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  const std::string& fileName() const { return fileName_; }

 private:
  std::string fileName_;
};

// A growable stream in memory. maxReadSize caps what one read delivers, so
// tests can hand data over a few bytes at a time.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}
  int64_t read(void* buffer, int64_t count) override;
  int64_t write(const void* buffer, int64_t count) override;
  int64_t seek(int64_t offset, SeekOrigin origin) override;

  const std::vector<uint8_t>& data() const { return data_; }
  void setMaxReadSize(int64_t n) { maxReadSize_ = n; }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
  int64_t maxReadSize_ = 0;  // 0: no cap
};
