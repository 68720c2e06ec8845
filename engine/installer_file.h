#pragma once
// The one-file installer: the launcher program with the medium appended,
//   [launcher][SETUP.INS][packed runtime][archive, one volume][trailer]
// The trailer (kTrailerSize bytes at the very end) gives the size of each
// part and a CRC-32 of every byte before it, so that a download cut short or
// damaged is told before anything is written.
#include <cstdint>
#include <string>

namespace installer {

inline constexpr int64_t kTrailerSize = 56;

struct Parts {
  int64_t launcher = 0;
  int64_t configuration = 0;  // SETUP.INS
  int64_t runtime = 0;        // the packed runtime (an archive)
  int64_t archive = 0;        // SETUP.BIN

  int64_t configurationOffset() const { return launcher; }
  int64_t runtimeOffset() const { return launcher + configuration; }
  int64_t archiveOffset() const { return runtimeOffset() + runtime; }
  int64_t total() const { return archiveOffset() + archive + kTrailerSize; }
};

enum class State {
  NotInstaller,  // no trailer, and not a program: some other file
  Sound,
  CutShort,      // a program without a trailer, or shorter than its trailer says
  Damaged,       // the checksum does not match
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

// The trailer for the parts, whose bytes before it have the CRC-32 `crc`.
std::string trailerBytes(const Parts& parts, uint32_t crc);

// CRC-32 (as zlib computes it) continued over `size` bytes.
uint32_t crc32Update(uint32_t crc, const void* data, size_t size);

}  // namespace installer
