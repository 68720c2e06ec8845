// A medium's attributes file as a hostile medium could write it: links that
// would leave the destination and damaged lines are refused; what setupkit
// writes reads back unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/sha256.h"
#include "medium/medium_attributes.h"

namespace {

TEST(MediumAttributes, LinkTargetsThatStayInTheTree) {
  struct Row {
    const char* name;
    const char* target;
    bool allowed;
  };
  const Row rows[] = {
      {"C:\\usr\\bin\\hi", "hello", true},
      {"C:\\usr\\bin\\hi", "../lib/hello", true},
      {"C:\\usr\\bin\\hi", "../../etc/hello", true},        // the tree's root
      {"C:\\usr\\bin\\hi", "../../../etc/passwd", false},   // above it
      {"C:\\hi", "../x", false},
      {"C:\\usr\\bin\\hi", "/etc/passwd", false},
      {"C:\\usr\\bin\\hi", "a/../../../x", false},          // ".." after a name
      {"C:\\usr\\bin\\hi", "a/..", false},
      {"C:\\usr\\bin\\hi", "./hello", false},
      {"C:\\usr\\bin\\hi", "a//b", false},
      {"C:\\usr\\bin\\hi", "", false},
      {"C:\\usr\\bin\\hi", "a\\..\\..\\..\\x", false},
      {"C:\\usr\\bin\\hi", "line\nbreak", false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(medium::linkTargetAllowed(row.name, row.target), row.allowed) << row.name << " -> " << row.target;
}

TEST(MediumAttributes, WrittenTextReadsBackAndDamageIsRefused) {
  medium::Attributes written;
  written.files["C:\\usr\\bin\\hello"] = {0755, 31448, {1, 2, 3}};
  written.files["C:\\a b\\secret"] = {0600, 0, {}};
  written.links.push_back({"C:\\usr\\bin\\hi", "hello"});
  written.folders.push_back("C:\\var\\empty");
  const std::string text = medium::formatAttributes(written);
  medium::Attributes read;
  std::string problem;
  ASSERT_TRUE(medium::parseAttributes(text, read, problem)) << problem;
  EXPECT_EQ(medium::formatAttributes(read), text);
  EXPECT_TRUE(medium::parseAttributes(text + "X\tlater kind\n", read, problem)) << problem;

  const std::string sum(64, 'a');
  const char* const damaged[] = {
      "",
      "SETUP-ATTRIBUTES 2\n",
      "SETUP-ATTRIBUTES 1\nD\tC:\\x",                              // cut short
      "SETUP-ATTRIBUTES 1\nF\t4755\t1\t",                          // set-user-ID
      "SETUP-ATTRIBUTES 1\nF\t0644\t-1\t",                         // no size
      "SETUP-ATTRIBUTES 1\nL\tC:\\hi\t/etc/passwd\n",
      "SETUP-ATTRIBUTES 1\nL\tC:\\a\\hi\t../../x\n",
  };
  for (const char* bad : damaged) {
    std::string t = bad;
    if (t.ends_with("\t")) t += sum + "\tC:\\f\n";
    EXPECT_FALSE(medium::parseAttributes(t, read, problem)) << t;
  }
  const std::string twice = "SETUP-ATTRIBUTES 1\nF\t0644\t1\t" + sum + "\tC:\\f\nF\t0644\t1\t" + sum + "\tC:\\f\n";
  EXPECT_FALSE(medium::parseAttributes(twice, read, problem));
}

// The check as a restore drives it, file after file, with the bytes in
// pieces of a chunk's size. Files of 1 MiB and more are hashed on a second
// thread: their verdicts must be those of the small files hashed in line,
// also after a file given up half-way (the restore stopped writing it).
TEST(MediumAttributes, CheckGivesTheSameVerdictsForLargeFilesAsForSmallOnes) {
  struct Row {
    const char* name;
    size_t size;
    enum { Whole, OneByteChanged, OneByteShort, GivenUpHalfWay } feed;
    bool sound;
  };
  constexpr size_t kLarge = size_t(3) << 20;  // past the size hashed on the second thread
  const Row rows[] = {
      {"C:\\small", 1000, Row::Whole, true},
      {"C:\\large", kLarge, Row::Whole, true},
      {"C:\\large-changed", kLarge, Row::OneByteChanged, false},
      {"C:\\large-short", kLarge, Row::OneByteShort, false},
      {"C:\\large-dropped", kLarge, Row::GivenUpHalfWay, false},
      {"C:\\large-after-dropped", kLarge + 12345, Row::Whole, true},
      {"C:\\small-changed", 1000, Row::OneByteChanged, false},
      {"C:\\empty", 0, Row::Whole, true},
      {"C:\\large-again", kLarge - 1, Row::Whole, true},
  };
  auto bytesOf = [](const Row& row) {
    std::vector<uint8_t> bytes(row.size);
    uint32_t x = uint32_t(row.size) ^ 0x9e3779b9u;
    for (uint8_t& b : bytes) b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
    return bytes;
  };
  medium::Attributes attributes;
  for (const Row& row : rows) {
    const std::vector<uint8_t> bytes = bytesOf(row);
    digest::Sha256 hash;
    hash.update(bytes.data(), bytes.size());
    attributes.files[row.name] = {0640, row.size, hash.finish()};
  }
  medium::TMediumCheck check(attributes);
  constexpr size_t kPiece = 16384;
  for (const Row& row : rows) {
    std::vector<uint8_t> bytes = bytesOf(row);
    if (row.feed == Row::OneByteChanged) bytes[bytes.size() / 2] ^= 1;
    if (row.feed == Row::OneByteShort) bytes.pop_back();
    const size_t fed = row.feed == Row::GivenUpHalfWay ? bytes.size() / 2 : bytes.size();
    check.beginFile(row.name);
    for (size_t at = 0; at < fed; at += kPiece) check.fileData(bytes.data() + at, std::min(kPiece, fed - at));
    if (row.feed == Row::GivenUpHalfWay) continue;  // the next beginFile() lets its bytes go
    unsigned mode = 0;
    bool hasMode = false;
    std::string reason;
    EXPECT_EQ(check.endFile(mode, hasMode, reason), row.sound) << row.name << ": " << reason;
    if (row.sound) {
      EXPECT_TRUE(hasMode) << row.name;
      EXPECT_EQ(mode, 0640u) << row.name;
    } else {
      EXPECT_NE(reason.find("do not match"), std::string::npos) << row.name << ": " << reason;
    }
  }
}

}  // namespace
