#include "platform/file_window.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <vector>

namespace platform {

namespace {

struct Mapping {
  dev_t device;
  ino_t inode;
  FileWindow window;
};

struct OpenWindow {
  int fd;
  int64_t start;
  int64_t end;
};

std::mutex lock;
std::vector<Mapping> mappings;
std::vector<OpenWindow> openWindows;
// Files are opened, read and seeked without taking the lock while no window
// was ever mapped: every restore but a one-file installer's.
std::atomic<bool> anyWindow{false};

const OpenWindow* openWindowOf(int fd) {
  for (const OpenWindow& w : openWindows)
    if (w.fd == fd) return &w;
  return nullptr;
}

}  // namespace

bool mapFileWindow(const std::string& hostName, const FileWindow& window) {
  struct stat st {};
  if (stat(hostName.c_str(), &st) != 0) return false;
  std::lock_guard<std::mutex> guard(lock);
  mappings.push_back({st.st_dev, st.st_ino, window});
  anyWindow = true;
  return true;
}

void unmapFileWindows() {
  std::lock_guard<std::mutex> guard(lock);
  mappings.clear();
}

std::optional<FileWindow> fileWindowOf(const std::string& hostName) {
  if (!anyWindow) return std::nullopt;
  struct stat st {};
  if (stat(hostName.c_str(), &st) != 0) return std::nullopt;
  std::lock_guard<std::mutex> guard(lock);
  for (const Mapping& m : mappings)
    if (m.device == st.st_dev && m.inode == st.st_ino) return m.window;
  return std::nullopt;
}

namespace window_hooks {

int adoptOpened(int fd) {
  if (!anyWindow) return fd;
  struct stat st {};
  if (fstat(fd, &st) != 0) return fd;
  std::lock_guard<std::mutex> guard(lock);
  for (const Mapping& m : mappings) {
    if (m.device != st.st_dev || m.inode != st.st_ino) continue;
    close(fd);
    int windowFd = open(m.window.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (windowFd < 0) return -1;
    if (lseek(windowFd, m.window.offset, SEEK_SET) != m.window.offset) {
      close(windowFd);
      return -1;
    }
    openWindows.push_back({windowFd, m.window.offset, m.window.offset + m.window.length});
    return windowFd;
  }
  return fd;
}

int64_t clampRead(int fd, int64_t count) {
  if (!anyWindow) return count;
  int64_t end;
  {
    std::lock_guard<std::mutex> guard(lock);
    const OpenWindow* w = openWindowOf(fd);
    if (!w) return count;
    end = w->end;
  }
  off_t at = lseek(fd, 0, SEEK_CUR);
  if (at < 0) return count;
  return std::max<int64_t>(0, std::min<int64_t>(count, end - int64_t(at)));
}

bool seek(int fd, int64_t offset, int whence, int64_t& result) {
  if (!anyWindow) return false;
  int64_t start, end;
  {
    std::lock_guard<std::mutex> guard(lock);
    const OpenWindow* w = openWindowOf(fd);
    if (!w) return false;
    start = w->start;
    end = w->end;
  }
  int64_t target = whence == SEEK_SET ? start + offset : whence == SEEK_END ? end + offset : -1;
  if (whence == SEEK_CUR) {
    off_t at = lseek(fd, 0, SEEK_CUR);
    target = at < 0 ? -1 : int64_t(at) + offset;
  }
  if (target < start) {
    errno = EINVAL;
    result = -1;
    return true;
  }
  off_t r = lseek(fd, off_t(target), SEEK_SET);
  result = r < 0 ? -1 : int64_t(r) - start;
  return true;
}

void forget(int fd) {
  if (!anyWindow) return;
  std::lock_guard<std::mutex> guard(lock);
  for (size_t i = 0; i < openWindows.size(); ++i)
    if (openWindows[i].fd == fd) {
      openWindows.erase(openWindows.begin() + long(i));
      return;
    }
}

}  // namespace window_hooks

}  // namespace platform
