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
      {"C:\\usr\\bin\\hi", "../../etc/hello", true},       // the tree's root
      {"C:\\usr\\bin\\hi", "../../../etc/passwd", false},  // above it
      {"C:\\hi", "../x", false},
      {"C:\\usr\\bin\\hi", "/etc/passwd", false},
      {"C:\\usr\\bin\\hi", "a/../../../x", false},  // ".." after a name
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
      "SETUP-ATTRIBUTES 1\nD\tC:\\x",       // cut short
      "SETUP-ATTRIBUTES 1\nF\t4755\t1\t",   // set-user-ID
      "SETUP-ATTRIBUTES 1\nF\t0644\t-1\t",  // no size
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
      EXPECT_NE(reason.find("differs from the medium's attributes"), std::string::npos) << row.name << ": " << reason;
    }
  }
}

}  // namespace

namespace {

const std::string kSum(64, 'a');

std::string fileLine(const char* mode, const char* name) {
  return std::string("F\t") + mode + "\t1\t" + kSum + "\t" + name + "\n";
}

struct AttributesRow {
  const char* what;
  std::string body;     // the lines after the header
  const char* problem;  // a text the refusal holds; nullptr: accepted
};

// Modes, names and duplicates a publisher's tool never writes are damage,
// refused while the file is read, before an install writes anything.
TEST(MediumAttributes, WhatNoPublisherMeansIsRefusedWhenRead) {
  const AttributesRow rows[] = {
      {"owner's file, others read", fileLine("0644", "C:\\f"), nullptr},
      {"group write without the medium's leave", fileLine("0664", "C:\\f"), "group or other write"},
      {"group write with the medium's leave", "O\tgroup-write\n" + fileLine("0666", "C:\\f"), nullptr},
      {"owner cannot write", fileLine("0444", "C:\\f"), "owner cannot read and write"},
      {"no mode at all", fileLine("0000", "C:\\f"), "owner cannot read and write"},
      {"set-user-ID", fileLine("4755", "C:\\f"), "set-user-ID mode refused"},
      {"set-group-ID", fileLine("2755", "C:\\f"), "set-group-ID mode refused"},
      {"sticky", fileLine("1755", "C:\\f"), "sticky mode refused"},
      {"set-user-ID with leave to write", "O\tgroup-write\n" + fileLine("6777", "C:\\f"), "set-user-ID mode refused"},
      {"mode beyond the permission bits", fileLine("17777", "C:\\f"), "a damaged file line"},
      // Names of folders and links follow the archive's own rules.
      {"folder", "D\tC:\\var\\empty\n", nullptr},
      {"folder climbing out", "D\tC:\\..\n", "leaves the destination"},
      {"folder of no drive", "D\tabc\\x\n", "does not start with C:\\"},
      {"folder that is the root", "D\tC:\\\n", "leaves the destination"},
      {"folder at a root of its own", "D\tC:\\\\x\n", "leaves the destination"},
      {"link of no drive", "L\tusr\\bin\\hi\thello\n", "does not start with C:\\"},
      {"file of no drive", fileLine("0644", "f"), "does not start with C:\\"},
      // Every name once.
      {"file twice", fileLine("0644", "C:\\f") + fileLine("0644", "C:\\f"), "named twice"},
      {"file twice in another letter case", fileLine("0644", "C:\\f") + fileLine("0644", "C:\\F"), "named twice"},
      {"link twice", "L\tC:\\a\\hi\thello\nL\tC:\\a\\hi\tother\n", "named twice"},
      {"link at a file's name", fileLine("0644", "C:\\a\\hi") + "L\tC:\\a\\hi\thello\n", "at the name of a file"},
      {"folder at a file's name", fileLine("0644", "C:\\a\\hi") + "D\tC:\\A\\HI\n", "at the name of a file"},
      {"folder at a link's name", "L\tC:\\a\\hi\thello\nD\tC:\\a\\hi\n", "at the name of a link"},
      {"folder twice", "D\tC:\\e\nD\tC:\\e\n", "named twice"},
      {"file below a file", fileLine("0644", "C:\\a") + fileLine("0644", "C:\\a\\b"), "a folder of"},
      {"file below a link", "L\tC:\\lib\tx\n" + fileLine("0644", "C:\\lib\\b"), "a folder of"},
      {"folder below a file", fileLine("0644", "C:\\a") + "D\tC:\\a\\e\n", "a folder of"},
      {"file in a listed folder", "D\tC:\\e\n" + fileLine("0644", "C:\\e\\x"), nullptr},
      {"one name in . form", fileLine("0644", "C:\\a\\f") + fileLine("0644", "C:\\a\\.\\f"), "named twice"},
  };
  for (const AttributesRow& row : rows) {
    medium::Attributes read;
    std::string problem;
    const bool parsed = medium::parseAttributes("SETUP-ATTRIBUTES 1\n" + row.body, read, problem);
    if (!row.problem) {
      EXPECT_TRUE(parsed) << row.what << ": " << problem;
      continue;
    }
    EXPECT_FALSE(parsed) << row.what;
    EXPECT_NE(problem.find(row.problem), std::string::npos) << row.what << ": " << problem;
  }
}

// What setupkit writes for any host mode is never refused: keptMode gives
// the owner read and write and drops what only the medium's leave allows.
TEST(MediumAttributes, KeptModesOfEveryHostModeReadBack) {
  for (const bool groupWrite : {false, true})
    for (unsigned host = 0; host <= 07777; ++host) {
      medium::Attributes written;
      written.groupWrite = groupWrite;
      written.files["C:\\f"] = {medium::keptMode(host, groupWrite), 1, {}};
      medium::Attributes read;
      std::string problem;
      ASSERT_TRUE(medium::parseAttributes(medium::formatAttributes(written), read, problem))
          << std::oct << host << (groupWrite ? " with group write: " : ": ") << problem;
      EXPECT_EQ(read.groupWrite, groupWrite);
    }
}

}  // namespace

namespace {

// A file whose bytes differ from the attributes is refused with what
// differs: the size (both figures) or the SHA-256.
TEST(MediumAttributes, LandingRefusalSaysWhatDiffers) {
  const std::string listed = "listed bytes";
  medium::Attributes attributes;
  digest::Sha256 sha;
  sha.update(listed.data(), listed.size());
  attributes.files["C:\\f"] = {0644, listed.size(), sha.finish()};
  struct Row {
    const char* name;
    std::string bytes;
    const char* reason;  // nullptr: accepted
  };
  const Row rows[] = {
      {"C:\\f", listed, nullptr},
      {"C:\\f", listed + "!", "its size differs from the medium's attributes: 13 bytes where they say 12"},
      {"C:\\f", "LISTED BYTES", "its SHA-256 differs from the medium's attributes"},
      {"C:\\g", listed, "do not list this file"},
  };
  medium::TMediumCheck check(attributes);
  for (const Row& row : rows) {
    check.beginFile(row.name);
    check.fileData(row.bytes.data(), row.bytes.size());
    unsigned mode = 0;
    bool hasMode = false;
    std::string reason;
    EXPECT_EQ(check.endFile(mode, hasMode, reason), row.reason == nullptr) << row.bytes;
    if (row.reason) {
      EXPECT_NE(reason.find(row.reason), std::string::npos) << reason;
    }
  }
}

}  // namespace
