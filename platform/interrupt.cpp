#include "platform/interrupt.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace platform {

namespace {

// A place for one unfinished file. The handler reads a place only while its
// state is kFilled, and the writer changes its fields only while it is not.
struct Place {
  static constexpr int kFree = 0, kFilling = 1, kFilled = 2;
  std::atomic<int> state{kFree};
  int directoryFd = -1;
  int fileFd = -1;
  bool inPlace = false;
  char name[PATH_MAX] = {};
};

// Enough for the restore (one file at a time) and the runtime unpack (one
// per thread).
constexpr int kPlaces = 8;
Place places[kPlaces];

std::atomic<bool> flag{false};
std::atomic<int> firstSignal{0};
std::atomic<bool> secondCame{false};
std::atomic<int> holders{0};
std::atomic<bool> installed{false};
int immediate = 1;

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the handler may use only lock-free atomics");

// Removes what is unfinished and ends: only calls safe in a signal handler.
[[noreturn]] void endNow() {
  for (Place& place : places) {
    if (place.state.load() != Place::kFilled) continue;
    if (place.inPlace)
      (void)ftruncate(place.fileFd, 0);
    else
      (void)unlinkat(place.directoryFd, place.name, 0);
  }
  _exit(immediate);
}

void onSignal(int number) {
  const int savedErrno = errno;
  if (!flag.exchange(true)) {
    firstSignal.store(number);
  } else {
    secondCame.store(true);
    if (holders.load() == 0) endNow();
  }
  errno = savedErrno;
}

}  // namespace

void installInterruptHandlers(int immediateStatus) {
  if (installed.exchange(true)) return;
  immediate = immediateStatus;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  // Neither handler interrupts the other; no SA_RESTART, so that a blocking
  // read of a terminal or pipe returns and the caller sees the flag.
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

const std::atomic<bool>& interruptFlag() { return flag; }

int interruptSignal() { return firstSignal.load(); }

const char* interruptSignalName() {
  switch (interruptSignal()) {
    case 0: return "";
    case SIGINT: return "SIGINT";
    default: return "SIGTERM";
  }
}

bool waitForInput(int fd) {
  // In slices, so that a signal that comes just before the wait is seen
  // within one.
  pollfd wanted{fd, POLLIN, 0};
  while (!interruptRequested()) {
    const int ready = poll(&wanted, 1, 100);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // the read that follows tells what is wrong
  }
  return false;
}

UnfinishedFile::UnfinishedFile(int directoryFd, const char* name, int fileFd, bool inPlace) {
  const size_t length = std::strlen(name);
  if (length >= PATH_MAX) return;
  for (int i = 0; i < kPlaces; ++i) {
    int expected = Place::kFree;
    if (!places[i].state.compare_exchange_strong(expected, Place::kFilling)) continue;
    places[i].directoryFd = directoryFd;
    places[i].fileFd = fileFd;
    places[i].inPlace = inPlace;
    std::memcpy(places[i].name, name, length + 1);
    places[i].state.store(Place::kFilled);
    slot_ = i;
    return;
  }
}

UnfinishedFile& UnfinishedFile::operator=(UnfinishedFile&& other) noexcept {
  if (this != &other) {
    release();
    slot_ = other.slot_;
    other.slot_ = -1;
  }
  return *this;
}

void UnfinishedFile::release() {
  if (slot_ < 0) return;
  places[slot_].state.store(Place::kFree);
  slot_ = -1;
}

HoldInterrupt::HoldInterrupt() { holders.fetch_add(1); }

HoldInterrupt::~HoldInterrupt() {
  if (holders.fetch_sub(1) == 1 && secondCame.load()) endNow();
}

}  // namespace platform
