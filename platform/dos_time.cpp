#include "platform/dos_time.h"

#include <cstdlib>
#include <ctime>
#include <string>

namespace platform {

void loadLocalZoneOnce() {
  setenv("TZ", ":/etc/localtime", 0);
  tzset();
}

uint32_t unixToDosDateTime(int64_t unixSeconds) {
  time_t t = static_cast<time_t>(unixSeconds);
  struct tm tm {};
  if (!localtime_r(&t, &tm)) return makeDosDateTime(1980, 1, 1, 0, 0, 0);
  int year = tm.tm_year + 1900;
  if (year < 1980) return makeDosDateTime(1980, 1, 1, 0, 0, 0);
  if (year > 2107) return makeDosDateTime(2107, 12, 31, 23, 59, 58);
  return makeDosDateTime(year, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

namespace {

// The date-time of a DOS value as local time, through mktime().
std::optional<int64_t> convertDosDateTime(uint32_t dos) {
  int year = int(dos >> 25) + 1980;
  int month = int((dos >> 21) & 0x0F);
  int day = int((dos >> 16) & 0x1F);
  int hour = int((dos >> 11) & 0x1F);
  int minute = int((dos >> 5) & 0x3F);
  int second = int(dos & 0x1F) * 2;
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  static const int kDaysInMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (day > kDaysInMonth[month - 1] || (month == 2 && day == 29 && !leap)) return std::nullopt;
  struct tm tm {};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  time_t t = mktime(&tm);
  if (t == time_t(-1) && !(tm.tm_year == 69 && tm.tm_mon == 11 && tm.tm_mday == 31)) return std::nullopt;
  return static_cast<int64_t>(t);
}

// A restore stamps file after file with the same few dates, and mktime() is
// slow (it takes the time-zone lock and looks at TZ on every call). With TZ
// set, its answer depends on the value and that setting alone (the zone is
// loaded once per setting), so the last answer stands while both are the
// same. Without TZ, the C library looks at /etc/localtime again each time,
// and so does every call here.
struct LastConversion {
  bool valid = false;
  uint32_t dos = 0;
  std::string tz;
  std::optional<int64_t> result;
};

}  // namespace

std::optional<int64_t> dosDateTimeToUnix(uint32_t dos) {
  const char* tz = std::getenv("TZ");
  if (!tz) return convertDosDateTime(dos);
  thread_local LastConversion last;
  if (last.valid && last.dos == dos && last.tz == tz) return last.result;
  last.result = convertDosDateTime(dos);
  last.dos = dos;
  last.tz = tz;
  last.valid = true;
  return last.result;
}

}  // namespace platform
