// DOS date-times against Unix times, in local time under two time zones.
#include "platform/dos_time.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/support/scoped_time_zone.h"

namespace {

using platform::makeDosDateTime;

constexpr const char* kUtc = "UTC0";
constexpr const char* kBerlin = "Europe/Berlin";

TEST(DosTime, FieldsPackIntoThirtyTwoBits) {
  EXPECT_EQ(makeDosDateTime(2001, 6, 15, 12, 30, 0), 0x2ACF63C0u);
  EXPECT_EQ(makeDosDateTime(1980, 1, 1, 0, 0, 0), 0x00210000u);
  EXPECT_EQ(makeDosDateTime(2107, 12, 31, 23, 59, 58), 0xFF9FBF7Du);
  EXPECT_EQ(makeDosDateTime(2001, 6, 15, 12, 30, 1), makeDosDateTime(2001, 6, 15, 12, 30, 0));
}

struct ToDosRow {
  const char* zone;
  int64_t unixTime;
  uint32_t dos;
};

TEST(DosTime, UnixToDosDateTime) {
  const uint32_t first = makeDosDateTime(1980, 1, 1, 0, 0, 0);
  const uint32_t last = makeDosDateTime(2107, 12, 31, 23, 59, 58);
  const ToDosRow rows[] = {
      {kUtc, 992608200, 0x2ACF63C0},
      {kUtc, 992608201, 0x2ACF63C0},  // odd seconds round down
      {kUtc, 315532800, first},
      {kUtc, 315532799, first},  // before 1980: the first day
      {kUtc, 0, first},
      {kUtc, -86400, first},
      {kUtc, 4354819199, last},
      {kUtc, 4354819200, last},          // after 2107: the last second
      {kBerlin, 992601000, 0x2ACF63C0},  // summer time
      {kBerlin, 979558200, makeDosDateTime(2001, 1, 15, 12, 30, 0)},
      {kBerlin, 315529200, first},
      {kBerlin, 315529199, first},
      {kBerlin, 985483800, makeDosDateTime(2001, 3, 25, 3, 30, 0)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.zone) + " " + std::to_string(row.unixTime));
    ScopedTimeZone zone(row.zone);
    EXPECT_EQ(platform::unixToDosDateTime(row.unixTime), row.dos);
  }
}

struct ToUnixRow {
  const char* name;
  const char* zone;
  uint32_t dos;
  std::optional<int64_t> unixTime;
};

TEST(DosTime, DosDateTimeToUnix) {
  const ToUnixRow rows[] = {
      {"summer, UTC", kUtc, 0x2ACF63C0, 992608200},
      {"summer, Berlin", kBerlin, 0x2ACF63C0, 992601000},
      {"winter, Berlin", kBerlin, makeDosDateTime(2001, 1, 15, 12, 30, 0), 979558200},
      {"leap day", kUtc, makeDosDateTime(2000, 2, 29, 0, 0, 0), 951782400},
      {"leap day, Berlin", kBerlin, makeDosDateTime(2000, 2, 29, 0, 0, 0), 951778800},
      {"first second", kUtc, makeDosDateTime(1980, 1, 1, 0, 0, 0), 315532800},
      {"last second", kUtc, makeDosDateTime(2107, 12, 31, 23, 59, 58), 4354819198},
      {"month 0", kUtc, makeDosDateTime(2001, 0, 15, 12, 0, 0), std::nullopt},
      {"month 13", kUtc, makeDosDateTime(2001, 13, 15, 12, 0, 0), std::nullopt},
      {"day 0", kUtc, makeDosDateTime(2001, 6, 0, 12, 0, 0), std::nullopt},
      {"31 April", kUtc, makeDosDateTime(2001, 4, 31, 12, 0, 0), std::nullopt},
      {"30 February", kUtc, makeDosDateTime(2000, 2, 30, 12, 0, 0), std::nullopt},
      {"29 February of a common year", kUtc, makeDosDateTime(2001, 2, 29, 12, 0, 0), std::nullopt},
      {"29 February of 2100", kUtc, makeDosDateTime(2100, 2, 29, 12, 0, 0), std::nullopt},
      {"hour 24", kUtc, makeDosDateTime(2001, 6, 15, 24, 0, 0), std::nullopt},
      {"minute 60", kUtc, makeDosDateTime(2001, 6, 15, 12, 60, 0), std::nullopt},
      {"second 60", kUtc, makeDosDateTime(2001, 6, 15, 12, 0, 60), std::nullopt},
      {"all bits set", kUtc, 0xFFFFFFFFu, std::nullopt},
      {"zero", kUtc, 0, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedTimeZone zone(row.zone);
    EXPECT_EQ(platform::dosDateTimeToUnix(row.dos), row.unixTime);
  }
}

TEST(DosTime, EvenSecondsRoundTripAcrossTheYear) {
  ScopedTimeZone zone(kBerlin);
  // Every day of 2001 at 04:00:00 and 12:00:58 UTC: never inside the hour
  // that occurs twice when summer time ends.
  for (int64_t day = 978307200; day < 1009843200; day += 86400) {
    for (int64_t offset : {14400, 43258}) {
      int64_t t = day + offset;
      auto back = platform::dosDateTimeToUnix(platform::unixToDosDateTime(t));
      ASSERT_TRUE(back.has_value()) << t;
      EXPECT_EQ(*back, t);
    }
  }
}

}  // namespace
