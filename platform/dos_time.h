#pragma once
// Conversions between host time stamps and DOS date-times (local time).
//
// A DOS date-time packs year-1980 (bits 31..25), month (24..21), day (20..16),
// hours (15..11), minutes (10..5) and seconds/2 (4..0) into 32 bits. These are
// pure functions of the process's time zone (TZ), so tests can pin it.
#include <cstdint>
#include <optional>

namespace platform {

// Local DOS date-time of a Unix time. Odd seconds round down; times before
// 1980-01-01 clamp to that day, times after 2107 to the last encodable second.
uint32_t unixToDosDateTime(int64_t unixSeconds);

// Unix time of a DOS date-time read as local time (mktime, DST decided by the
// zone). Empty when a field is out of range (month 0 or 13, day 0, a day the
// month does not have, hour 24...).
std::optional<int64_t> dosDateTimeToUnix(uint32_t dosDateTime);

// Makes the conversions load the system's zone rules once. Without TZ the C
// library looks at /etc/localtime again on every local time conversion, one
// file-system call per restored file; naming the same zone file in TZ (when
// TZ is not set) makes it load the rules once. For a program's start, before
// any thread runs.
void loadLocalZoneOnce();

// Builds a DOS date-time from its fields without any range check.
constexpr uint32_t makeDosDateTime(int year, int month, int day, int hour, int minute, int second) {
  return (uint32_t(year - 1980) << 25) | (uint32_t(month) << 21) | (uint32_t(day) << 16) | (uint32_t(hour) << 11) |
         (uint32_t(minute) << 5) | uint32_t(second / 2);
}

}  // namespace platform
