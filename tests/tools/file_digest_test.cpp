// The engine's SHA-256 (the file check, the install record and the
// uninstaller, linked statically) against libcrypto's.
#include <gtest/gtest.h>

#include "common/file_digest.h"
#include "tests/tools/tool_test_util.h"
#include "tools/sha256.h"

TEST(FileDigest, AgreesWithLibcrypto) {
  // Lengths around the block and padding boundaries, and a large message fed
  // in uneven pieces.
  const std::string data = tooltest::makeContent(1 << 20, false, 5);
  for (size_t length : {0, 1, 3, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 4096 + 7, 1 << 20}) {
    SCOPED_TRACE(length);
    setupkit::Sha256 reference;
    reference.update(data.data(), length);
    TSha256 digest;
    for (size_t at = 0, piece = 1; at < length; at += piece, piece = piece * 3 % 1021 + 1)
      digest.update(data.data() + at, std::min(piece, length - at));
    EXPECT_EQ(digest.finishHex(), reference.finishHex());
  }
  TSha256 abc;
  abc.update("abc", 3);
  EXPECT_EQ(abc.finishHex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}
