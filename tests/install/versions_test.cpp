// How two versions of a product compare: the order the downgrade refusal
// and the wizard's question rest on.
#include "install/versions.h"

#include <gtest/gtest.h>

namespace {

TEST(Versions, CompareAsPeopleReadThem) {
  using versions::Order;
  struct Row {
    const char* name;
    const char* a;
    const char* b;
    Order order;  // of a against b
  };
  const Row rows[] = {
      {"dotted numbers compare numerically", "1.10", "1.9", Order::Newer},
      {"a longer number is larger, whatever its digits", "10.0", "9.99", Order::Newer},
      {"leading zeros do not count", "01.02", "1.2", Order::Same},
      {"a missing part is 0", "2", "2.0.0", Order::Same},
      {"one more part is newer", "1.2.1", "1.2", Order::Newer},
      {"a label after - is older than the release", "2.0-rc1", "2.0", Order::Older},
      {"a label after ~ likewise", "2.0~beta", "2.0", Order::Older},
      {"labels compare like versions", "2.0-rc10", "2.0-rc9", Order::Newer},
      {"a letter after a number is newer than the number", "1.0a", "1.0", Order::Newer},
      {"a number sorts after text", "1.0", "1.a", Order::Newer},
      {"text ignores letter case", "1.0-RC1", "1.0-rc1", Order::Same},
      {"blanks at either end are ignored", " 3.1 ", "3.1", Order::Same},
      {"an empty version is unknown", "", "1.0", Order::Unknown},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(versions::compare(row.a, row.b), row.order) << row.name;
    // The other way round, the opposite order.
    const Order reverse = row.order == Order::Older   ? Order::Newer
                          : row.order == Order::Newer ? Order::Older
                                                      : row.order;
    EXPECT_EQ(versions::compare(row.b, row.a), reverse) << row.name << " (reversed)";
  }
}

}  // namespace
