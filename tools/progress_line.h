#pragma once
// The progress line of a long command on a terminal: bytes done of the total,
// the rate and the time left, redrawn in place on one line at most ten times
// a second. Nothing is drawn when the stream is not a terminal.
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace setupkit {

// The line's text: "12.5 MiB of 256.0 MiB, 40.1 MiB/s, 0:06 left". The rate
// and the time left appear once `seconds` is long enough to measure them.
std::string formatProgress(uint64_t done, uint64_t total, double seconds);

class ProgressLine {
 public:
  // Draws on `out` only when `enabled` (the stream is a terminal).
  ProgressLine(std::ostream& out, uint64_t total, bool enabled);
  // Erases the line.
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Records the bytes done so far; redraws when the last drawing is old.
  void update(uint64_t done);
  // Erases the line, so that other output starts on a clean line; the next
  // update draws it again.
  void clear();

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& out_;
  uint64_t total_;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_;
  Clock::time_point lastDrawn_;
};

}  // namespace setupkit
