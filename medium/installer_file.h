#pragma once
// The one-file installer: the launcher program with the medium appended,
//   [launcher][SETUP.INS][packed runtime][archive, one volume][attributes]
//   [signature][trailer]
// The trailer at the very end gives the size of each part and a CRC-32 of
// every byte before it, so that a download cut short or damaged is told
// before anything is written.
//
// Trailer, version 2 (8 x N + 28 bytes, little-endian):
//   N part sizes (8 bytes each, in the order of the parts above), N (4),
//   CRC-32 (4), version 2 (4), "SETUP-ONE-FILE\r\n" (16).
// A reader takes the parts it knows and steps over further ones. The
// signature (medium/medium_signature.h), when the installer is signed, is
// the sixth part; an unsigned installer has five. Version 1
// (56 bytes: the first four sizes, the CRC-32, 1 and the magic) is still read;
// it has no attributes.
#include <cstdint>
#include <string>

namespace installer {

// The trailer of version 1, and the smallest one.
inline constexpr int64_t kTrailerSize = 56;
// The trailer this program writes: version 2 with five parts, six when signed.
inline constexpr int64_t kWrittenTrailerSize = 28 + 8 * 5;
inline constexpr int64_t kSignedTrailerSize = kWrittenTrailerSize + 8;

struct Parts {
  int64_t launcher = 0;
  int64_t configuration = 0;  // SETUP.INS
  int64_t runtime = 0;        // the packed runtime (an archive)
  int64_t archive = 0;        // SETUP.BIN
  int64_t attributes = 0;     // SETUP.ATR (medium/medium_attributes.h); 0: none
  int64_t signature = 0;      // the publisher's signature of the parts before it; 0: unsigned
  int64_t later = 0;          // parts this program does not know, together
  int64_t trailer = kWrittenTrailerSize;

  int64_t configurationOffset() const { return launcher; }
  int64_t runtimeOffset() const { return launcher + configuration; }
  int64_t archiveOffset() const { return runtimeOffset() + runtime; }
  int64_t attributesOffset() const { return archiveOffset() + archive; }
  int64_t signatureOffset() const { return attributesOffset() + attributes; }
  int64_t total() const { return signatureOffset() + signature + later + trailer; }
};

enum class State {
  NotInstaller,  // no trailer, and not a program: some other file
  Sound,
  CutShort,  // a program without a trailer, or shorter than its trailer says
  Damaged,   // the checksum does not match, the trailer is damaged, or bytes
             // were appended after a sound installer's trailer
  Unreadable,
};

struct Layout {
  State state = State::NotInstaller;
  Parts parts;
  std::string problem;  // for the user, when not Sound or NotInstaller
};

// Reads the trailer of the host file `path` and, with `checksum`, checks the
// CRC-32 of everything before it.
Layout readLayout(const std::string& path, bool checksum = true);

// The trailer (version 2) for the parts, whose bytes before it have the
// CRC-32 `crc`: five parts, or six with a signature.
std::string trailerBytes(const Parts& parts, uint32_t crc);

// CRC-32 (as zlib computes it) continued over `size` bytes.
uint32_t crc32Update(uint32_t crc, const void* data, size_t size);

}  // namespace installer
