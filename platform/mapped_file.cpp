#include "platform/mapped_file.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/errors.h"
#include "platform/file_window.h"
#include "platform/paths.h"

namespace platform {

namespace {

// The copy in progress on this thread, where a SIGBUS jumps back to.
// Volatile, and fenced around the copy: memcpy reads no other memory, so
// the compiler could otherwise drop the store before it as dead.
thread_local sigjmp_buf* volatile tCopying = nullptr;
struct sigaction gPreviousBusAction;

void onBusError(int signal, siginfo_t* info, void* context) {
  if (sigjmp_buf* copying = tCopying) {
    tCopying = nullptr;
    siglongjmp(*copying, 1);
  }
  // Not a copy of ours: what was there before handles it, or the default
  // action ends the process when the faulting access runs again.
  if (gPreviousBusAction.sa_flags & SA_SIGINFO) {
    if (gPreviousBusAction.sa_sigaction) return gPreviousBusAction.sa_sigaction(signal, info, context);
  } else if (gPreviousBusAction.sa_handler != SIG_DFL && gPreviousBusAction.sa_handler != SIG_IGN) {
    return gPreviousBusAction.sa_handler(signal);
  }
  ::signal(SIGBUS, SIG_DFL);
}

void catchBusErrors() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    // Not blocked while handled: the jump back leaves the handler for good.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &gPreviousBusAction);
  });
}

}  // namespace

bool MappedFile::copy(void* out, int64_t offset, size_t count) const {
  if (count == 0) return true;
  catchBusErrors();
  sigjmp_buf jump;
  if (sigsetjmp(jump, 0) != 0) return false;
  tCopying = &jump;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(out, data_ + offset, count);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  tCopying = nullptr;
  return true;
}

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
