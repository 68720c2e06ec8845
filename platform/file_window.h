#pragma once
// A stretch of a bigger file opened as if it were a file of its own: the
// archive appended to a one-file installer is read in place, by its own name,
// through the same open/read/seek calls as an archive file of a folder
// medium (the restore and its decoding thread open it by name).
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileWindow {
  std::string file;    // host path of the file that holds the bytes
  int64_t offset = 0;  // where the window starts in it
  int64_t length = 0;  // bytes in the window
};

// From now on, opening the existing file `hostName` (found by device and
// inode, however the path is spelt) opens `window.file` instead, with
// position 0 at window.offset and its end at window.offset + length: reads
// stop there, seeks are relative to the window. `hostName` may be the file
// itself. Returns false when `hostName` does not exist.
bool mapFileWindow(const std::string& hostName, const FileWindow& window);
void unmapFileWindows();

// The window mapped onto the host file `hostName`, if any.
std::optional<FileWindow> fileWindowOf(const std::string& hostName);

namespace window_hooks {
// Called by openFile with the descriptor it opened: returns it, or the
// descriptor of the window's file positioned at the window (the first one
// closed), or -1 when that cannot be opened.
int adoptOpened(int fd);
// Clamps a read to the window's end; `count` unchanged for other files.
int64_t clampRead(int fd, int64_t count);
// A seek within a window: true when `fd` is one (then `result` is set).
bool seek(int fd, int64_t offset, int whence, int64_t& result);
void forget(int fd);
}  // namespace window_hooks

}  // namespace platform
