#include "tools/progress_line.h"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace setupkit {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// Below this the rate is mostly start-up cost and says little.
constexpr double kMeasurableSeconds = 0.5;

std::string bytesText(double bytes) {
  char text[32];
  if (bytes < 1024)
    std::snprintf(text, sizeof text, "%.0f bytes", bytes);
  else if (bytes < 1024.0 * 1024)
    std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024);
  else if (bytes < 1024.0 * 1024 * 1024)
    std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024));
  else
    std::snprintf(text, sizeof text, "%.1f GiB", bytes / (1024.0 * 1024 * 1024));
  return text;
}

std::string durationText(double seconds) {
  const uint64_t s = uint64_t(std::llround(seconds));
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", (unsigned long long)(s / 3600),
                  (unsigned long long)(s / 60 % 60), (unsigned long long)(s % 60));
  else
    std::snprintf(text, sizeof text, "%llu:%02llu", (unsigned long long)(s / 60), (unsigned long long)(s % 60));
  return text;
}

}  // namespace

std::string formatProgress(uint64_t done, uint64_t total, double seconds) {
  std::string line = bytesText(double(done)) + " of " + bytesText(double(total));
  if (seconds >= kMeasurableSeconds && done > 0) {
    const double rate = double(done) / seconds;
    line += ", " + bytesText(rate) + "/s";
    if (total >= done) line += ", " + durationText(double(total - done) / rate) + " left";
  }
  return line;
}

ProgressLine::ProgressLine(std::ostream& out, uint64_t total, bool enabled)
    : out_(out), total_(total), enabled_(enabled), start_(Clock::now()), lastDrawn_(start_) {}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::update(uint64_t done) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (shown_ && now - lastDrawn_ < kRedrawInterval) return;
  lastDrawn_ = now;
  shown_ = true;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  // Carriage return and erase to the end of the line: the line is redrawn
  // in place and a shorter text leaves nothing behind.
  out_ << "\r\033[K" << formatProgress(done, total_, seconds) << std::flush;
}

void ProgressLine::clear() {
  if (!shown_) return;
  out_ << "\r\033[K" << std::flush;
  shown_ = false;
}

}  // namespace setupkit
