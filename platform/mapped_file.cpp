#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/file_window.h"
#include "platform/paths.h"

namespace platform {

std::unique_ptr<MappedFile> MappedFile::open(const std::string& path) {
  auto host = hostPathOf(path);
  if (!host) return nullptr;
  std::string file = *host;
  int64_t offset = 0, length = -1;
  if (auto window = fileWindowOf(*host)) {
    file = window->file;
    offset = window->offset;
    length = window->length;
  }
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    failFromErrno();
    return nullptr;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) errno = EISDIR;
    failFromErrno();
    close(fd);
    return nullptr;
  }
  if (length < 0 || offset + length > st.st_size) length = st.st_size > offset ? st.st_size - offset : 0;
  std::unique_ptr<MappedFile> mapped(new MappedFile());
  mapped->size_ = length;
  if (length > 0) {
    const int64_t page = sysconf(_SC_PAGESIZE);
    const int64_t start = offset - offset % page;
    mapped->length_ = size_t(offset - start + length);
    mapped->base_ = mmap(nullptr, mapped->length_, PROT_READ, MAP_PRIVATE, fd, off_t(start));
    if (mapped->base_ == MAP_FAILED) {
      mapped->base_ = nullptr;
      failFromErrno();
      close(fd);
      return nullptr;
    }
    mapped->data_ = static_cast<const uint8_t*>(mapped->base_) + (offset - start);
  }
  close(fd);
  return mapped;
}

MappedFile::~MappedFile() {
  if (base_) munmap(base_, length_);
}

}  // namespace platform
