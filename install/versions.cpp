#include "install/versions.h"

#include <cctype>

namespace versions {

namespace {

std::string trimmed(const std::string& s) {
  const size_t start = s.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return s.substr(start, s.find_last_not_of(" \t") - start + 1);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Compares two digit runs as numbers of any length.
int compareNumbers(const std::string& a, const std::string& b) {
  const size_t za = a.find_first_not_of('0'), zb = b.find_first_not_of('0');
  const std::string x = za == std::string::npos ? "" : a.substr(za);
  const std::string y = zb == std::string::npos ? "" : b.substr(zb);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  return x.compare(y) < 0 ? -1 : x == y ? 0 : 1;
}

int compareText(const std::string& a, const std::string& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const int x = std::tolower(static_cast<unsigned char>(a[i]));
    const int y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// One component: digit runs as numbers, other runs as text; a component
// that ends first is the smaller, an empty one is 0.
int compareComponent(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (i == a.size() || j == b.size()) {
      // "1" against "1a": the longer one is newer, "0" against "": the same.
      const std::string& rest = i == a.size() ? b.substr(j) : a.substr(i);
      if (rest.find_first_not_of('0') == std::string::npos) return 0;
      return i == a.size() ? -1 : 1;
    }
    const bool da = isDigit(a[i]), db = isDigit(b[j]);
    if (da != db) return da ? 1 : -1;  // a number sorts after text
    size_t ei = i, ej = j;
    while (ei < a.size() && isDigit(a[ei]) == da) ++ei;
    while (ej < b.size() && isDigit(b[ej]) == db) ++ej;
    const std::string x = a.substr(i, ei - i), y = b.substr(j, ej - j);
    const int c = da ? compareNumbers(x, y) : compareText(x, y);
    if (c != 0) return c;
    i = ei;
    j = ej;
  }
  return 0;
}

int compareDotted(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i <= a.size() || j <= b.size()) {
    const size_t ei = i <= a.size() ? std::min(a.find('.', i), a.size()) : a.size() + 1;
    const size_t ej = j <= b.size() ? std::min(b.find('.', j), b.size()) : b.size() + 1;
    const std::string x = i <= a.size() ? a.substr(i, ei - i) : "";
    const std::string y = j <= b.size() ? b.substr(j, ej - j) : "";
    const int c = compareComponent(x, y);
    if (c != 0) return c;
    i = ei + 1;
    j = ej + 1;
  }
  return 0;
}

}  // namespace

Order compare(const std::string& first, const std::string& second) {
  const std::string a = trimmed(first), b = trimmed(second);
  if (a.empty() || b.empty()) return Order::Unknown;
  const size_t la = a.find_first_of("-~"), lb = b.find_first_of("-~");
  int c = compareDotted(a.substr(0, la), b.substr(0, lb));
  if (c == 0) {
    const bool hasA = la != std::string::npos, hasB = lb != std::string::npos;
    if (hasA != hasB)
      c = hasA ? -1 : 1;
    else if (hasA)
      c = compareDotted(a.substr(la + 1), b.substr(lb + 1));
  }
  return c < 0 ? Order::Older : c > 0 ? Order::Newer : Order::Same;
}

const char* orderName(Order order) {
  switch (order) {
    case Order::Older: return "older";
    case Order::Same: return "the same";
    case Order::Newer: return "newer";
    case Order::Unknown: return "unknown";
  }
  return "unknown";
}

}  // namespace versions
