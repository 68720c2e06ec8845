#pragma once
// Ending on SIGINT and SIGTERM without leaving a file cut short.
//
// A command that writes installs the handlers once (installInterruptHandlers).
// The first signal only sets a flag: the restore and the runtime unpack poll
// it between chunks and leave through their own cancel path, which drops the
// file being written (a new one removed, a temporary one removed, one
// rewritten in place emptied) and ends with the command's "cancelled" status.
// The handlers are installed without SA_RESTART, so a wait for input (a disk
// prompt, a volume that is a pipe) is broken off by the signal.
//
// A second signal ends the process at once. So that even then nothing is left
// cut short under its real name, whoever writes a file names it here while it
// is unfinished (UnfinishedFile): the handler removes each one named (or
// empties one rewritten in place) before it ends the process. Files the
// handler does not know of are not touched.
#include <atomic>

namespace platform {

// Installs the handlers of SIGINT and SIGTERM; `immediateStatus` is the exit
// status of an end at the second signal. Installing again changes nothing.
void installInterruptHandlers(int immediateStatus);

// Set by the first SIGINT or SIGTERM; polled by the work that stops on it.
const std::atomic<bool>& interruptFlag();
inline bool interruptRequested() { return interruptFlag().load(std::memory_order_relaxed); }
// The signal that set the flag, 0 when none came, and its name ("SIGINT",
// "SIGTERM"; empty when none came).
int interruptSignal();
const char* interruptSignalName();

// Waits until `fd` has input to read (or its end): false when an interrupt
// came first, or comes while it waits. A blocking read of a terminal would be
// taken up again by the C++ streams after the signal.
bool waitForInput(int fd);

// A file being written, known to the handler of the second signal while the
// object lives: `name` relative to the open directory `directoryFd` is
// removed, or, when `inPlace`, the open file `fileFd` is emptied (it replaced
// an old version that is gone). The object must be let go of before the
// descriptors are closed. When every place is taken (more files written at
// once than there is room for) the file is not named; nothing else changes.
class UnfinishedFile {
 public:
  UnfinishedFile() = default;
  UnfinishedFile(int directoryFd, const char* name, int fileFd, bool inPlace);
  ~UnfinishedFile() { release(); }
  UnfinishedFile(const UnfinishedFile&) = delete;
  UnfinishedFile& operator=(const UnfinishedFile&) = delete;
  UnfinishedFile(UnfinishedFile&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
  UnfinishedFile& operator=(UnfinishedFile&& other) noexcept;

  // The file is complete or removed: the handler no longer touches it.
  void release();

 private:
  int slot_ = -1;
};

// Holds off the end at the second signal while it lives (the flag is set as
// always): for work that must not stop halfway, such as putting back what
// a cancelled installation moved aside. The end comes when the last holder
// goes away, if a second signal came meanwhile.
class HoldInterrupt {
 public:
  HoldInterrupt();
  ~HoldInterrupt();
  HoldInterrupt(const HoldInterrupt&) = delete;
  HoldInterrupt& operator=(const HoldInterrupt&) = delete;
};

}  // namespace platform
