#pragma once
// Versions of a product (Version= of SETUP.INS, kept in the install record),
// compared as people read them:
//
//   - A version is a release part and an optional label after the first "-"
//     or "~" ("2.0-rc1", "2.0~beta"). The release part is cut at dots into
//     components ("1.10" is 1 and 10).
//   - Components are compared in turn. Within a component, runs of digits
//     are compared as numbers (leading zeros ignored, any length) and runs of
//     other characters as bytes, letters ignoring case; a number sorts after
//     text at the same place ("1.a" < "1.0"). A missing component counts as
//     0, so "2" and "2.0" are the same version.
//   - With equal release parts, a version without a label is newer than one
//     with a label ("2.0-rc1" < "2.0"); two labels compare like release parts.
//   - Blanks at either end are ignored. An empty version is unknown: it is
//     neither older nor newer than any other (compare() says Unknown).
#include <string>

namespace versions {

enum class Order { Older, Same, Newer, Unknown };

// How `a` stands to `b`: Older when `a` is the older version.
Order compare(const std::string& a, const std::string& b);

// "older", "the same", "newer", "unknown": for messages.
const char* orderName(Order order);

}  // namespace versions
