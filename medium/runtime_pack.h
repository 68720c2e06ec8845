#pragma once
// The packed runtime (runtime.pak): the setup program and its runtime/
// folder as zstd frames, unpacked by the launcher at every start. Not the
// archive format of SETUP.BIN: it carries no dates, no volumes and no file
// list, and is built to be unpacked fast with little memory.
//
//   runtime.pak = "setup runtime zstd 3\n", u32 N (1 to 64), N u64 sizes,
//                 then N zstd frames of those sizes, each with the checksum
//                 of its content, holding whole records:
//     'D' u16 length, path                       a folder
//     'F' or 'X' u16 length, path, u64 size, bytes   a file ('X': executable)
//     'f' or 'x' u16 length, path, u64 size, bytes   the same, x86 code whose
//                                                 branch targets are stored
//                                                 absolute (see below)
//     'E'                                        the end, last in the last frame
//   Numbers are little-endian; paths are relative, '/'-separated, without
//   empty, "." or ".." components, and name each folder before its contents.
//   Folders are named in the first frame only. The first frame is unpacked
//   first; the later ones hold files only and are unpacked side by side, on
//   two threads, each frame's window at most 4 MiB (so unpacking needs about
//   10 MiB however many frames there are).
//
// x86 code calls and jumps to nearby code with a 32-bit displacement after
// the opcode byte 0xE8 or 0xE9; the same target called from many places has
// as many displacements. Stored as the target's position in the file
// instead, the repeats compress (a tenth less for the Qt libraries). The
// four bytes after each such opcode byte are taken as one displacement and
// passed over; one within 16 MiB is converted, position taken modulo 32 MiB,
// which keeps it within 16 MiB, and the others stay as they are. The places
// looked at depend on opcode bytes only, which are never converted, so the
// conversion reverses exactly.
//
// Versions 1 ("setup runtime zstd 1\n" and one frame, window up to 8 MiB)
// and 2 (no 'f' and 'x' records) are still read. Nothing may follow the
// last frame.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace runtime_pack {

inline constexpr char kMagic[] = "setup runtime zstd 3\n";
inline constexpr char kMagicVersion2[] = "setup runtime zstd 2\n";
inline constexpr char kMagicVersion1[] = "setup runtime zstd 1\n";
inline constexpr size_t kMagicSize = sizeof(kMagic) - 1;
inline constexpr int kWindowLog = 22;          // of the frames written now
inline constexpr int kWindowLogVersion1 = 23;  // of a version 1 frame
inline constexpr uint32_t kMaxFrames = 64;
// The frames of files a pack is written in: one per unpacking thread.
inline constexpr uint32_t kFileFrames = 2;

struct Entry {
  char kind = 0;  // 'D', 'F' or 'X'
  std::string path;
  uint64_t size = 0;
  bool branches = false;  // stored with absolute branch targets ('f', 'x')
};

// Converts the branch displacements in `data[0, size)`, the bytes at
// position `base` of a file, to absolute targets (`toAbsolute`) or back.
// Looks at each place whose five bytes all lie in `data`; returns the first
// place not looked at, from where the next bytes of the file go on (or
// size: at the file's end the rest stays as it is).
size_t convertBranches(char* data, size_t size, uint64_t base, bool toAbsolute);

// Whether the `length` bytes of `fd` at `offset` begin as a packed runtime.
bool isPacked(int fd, int64_t offset, int64_t length);

// Unpacks the packed runtime lying in [offset, offset + length) of `fd` below
// the folder `directoryFd`: folders 0700, files 0600 (0700 when executable),
// each made new (nothing existing is followed or replaced), runs of zeros
// left as holes. Returns an empty
// string when all of it was unpacked and its checksum matched, else what is
// wrong. No file is left cut short or at its size with bytes missing: the
// files of a part that did not end whole (damage, a write that failed, an
// interrupt, platform/interrupt.h) are removed; the folders and the files of
// the parts before stay for the caller to remove.
std::string unpack(int fd, int64_t offset, int64_t length, int directoryFd);

// What unpack() was stopped by, told apart by its problem.
inline constexpr char kInterrupted[] = "the unpack was interrupted";
enum class Problem {
  None,
  Damaged,      // the packed runtime is damaged or cut short: trying again cannot help
  WriteFailed,  // a folder or file could not be made or written ("cannot ...")
  Interrupted,  // SIGINT or SIGTERM (kInterrupted)
};
Problem kindOf(const std::string& problem);

// Reads the packed runtime as unpack does, writing nothing: each entry is
// handed to `entry`. Returns what is wrong, or an empty string.
std::string list(int fd, int64_t offset, int64_t length, const std::function<void(const Entry&)>& entry);

// Copies the file `path` of the packed runtime to `outFd`, reading the frames
// as unpack does up to the end of the one that holds it (its checksum
// checked). Returns what is wrong, or an empty string; "no PATH" when it
// holds no such file.
std::string extract(int fd, int64_t offset, int64_t length, const std::string& path, int outFd);

// Packs the folder `stage` (folders, regular files; files with an execute
// bit are marked executable) into the new file `out` at zstd `level`: the
// folders in the first frame, then each file named in `alone` (its path in
// the pack) in a frame of its own, so that extract() decodes it alone, then
// the other files in kFileFrames frames of about the same work to unpack
// (runs of zeros cost nothing).
// Returns the number of bytes of the files packed. Throws std::runtime_error.
int64_t pack(const std::string& stage, const std::string& out, int level, const std::vector<std::string>& alone = {});

}  // namespace runtime_pack
