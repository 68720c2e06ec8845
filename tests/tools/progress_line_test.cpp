// The terminal progress line: its text, and that it draws only on a terminal.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/progress_line.h"

namespace {

struct FormatRow {
  const char* name;
  uint64_t done, total;
  double seconds;
  const char* text;
};

TEST(ProgressLine, Text) {
  const uint64_t MiB = uint64_t(1024) * 1024;
  const FormatRow rows[] = {
      {"nothing done yet", 0, 256 * MiB, 0.0, "0 bytes of 256.0 MiB"},
      {"too early for a rate", 10 * MiB, 256 * MiB, 0.2, "10.0 MiB of 256.0 MiB"},
      {"rate and time left", 64 * MiB, 256 * MiB, 2.0, "64.0 MiB of 256.0 MiB, 32.0 MiB/s, 0:06 left"},
      {"small numbers", 1536, 4096, 1.0, "1.5 KiB of 4.0 KiB, 1.5 KiB/s, 0:02 left"},
      {"done", 300, 300, 1.0, "300 bytes of 300 bytes, 300 bytes/s, 0:00 left"},
      {"hours left", 1 * MiB, 5000 * MiB, 1.0, "1.0 MiB of 4.9 GiB, 1.0 MiB/s, 1:23:19 left"},
      {"more than announced", 5000, 4000, 1.0, "4.9 KiB of 3.9 KiB, 4.9 KiB/s"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(setupkit::formatProgress(row.done, row.total, row.seconds), row.text);
  }
}

TEST(ProgressLine, DrawsInPlaceOnlyWhenEnabledAndErasesAtTheEnd) {
  std::ostringstream off;
  {
    setupkit::ProgressLine line(off, 100, false);
    line.update(50);
    line.clear();
  }
  EXPECT_EQ(off.str(), "");

  std::ostringstream on;
  {
    setupkit::ProgressLine line(on, 100, true);
    line.update(50);
    line.update(60);  // within the redraw interval: not drawn
    EXPECT_EQ(on.str(), "\r\033[K50 bytes of 100 bytes");
    line.clear();
    line.update(70);  // after a clear the line comes back at once
  }
  EXPECT_EQ(on.str(), "\r\033[K50 bytes of 100 bytes\r\033[K\r\033[K70 bytes of 100 bytes\r\033[K");
}

}  // namespace
