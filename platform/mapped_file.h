#pragma once
// A file mapped into memory for reading, so that a pass that only steps
// through its records touches the pages it looks at and copies nothing. A
// file window (the archive inside a one-file installer) maps only the window.
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class MappedFile {
 public:
  // Maps the regular file at the Windows-form `path`. Null on failure
  // (lastError set).
  static std::unique_ptr<MappedFile> open(const std::string& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  const uint8_t* data() const { return data_; }
  int64_t size() const { return size_; }

  // Copies `count` bytes from `offset` (inside the mapping) to `out`. False
  // when the file was cut shorter than the mapping meanwhile: touching a page
  // past its new end raises SIGBUS, which is caught here for this thread's
  // copy and turned into a failed read instead of ending the process.
  bool copy(void* out, int64_t offset, size_t count) const;

 private:
  MappedFile() = default;
  void* base_ = nullptr;  // what mmap gave, page-aligned
  size_t length_ = 0;
  const uint8_t* data_ = nullptr;
  int64_t size_ = 0;
};

}  // namespace platform
