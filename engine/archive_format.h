#pragma once
// The archive format's names and numbers, written once: the entry names the
// reader treats specially, the data block's signature, the chunk area, and how
// continuation volumes are numbered and named. The restore, its decoding
// thread, and setupkit's reader and writer all take them from here.
#include <cstdint>
#include <string>
#include <string_view>

namespace archive_format {

// An entry whose name starts so sends the reader to the next volume; three
// decimal digits follow, the volume's number.
inline constexpr std::string_view kVolumeChangePrefix = "NEXT:DISK";
// The file-list entry, which a restore steps over.
inline constexpr std::string_view kFileListName = "FILE:LIST";
// The four bytes that open every data block.
inline constexpr char kBlockSignature[4] = {'E', 'C', '2', '\0'};
// The most a chunk holds, compressed or decoded.
inline constexpr int32_t kChunkArea = 16384;
// The first volume is volume 1; continuations are numbered 2 to 999.
inline constexpr int kLastVolume = 999;

// The volume number a volume-change name gives: its three characters after
// the prefix read as a decimal number, 0 when they are not three digits or
// are all zeros.
int volumeNumberOf(std::string_view name);
// Whether a volume change from `current` to `next` can be followed: only to a
// later volume, as an earlier or the same one would repeat volumes for ever.
inline bool volumeFollows(int current, int next) { return next > current; }
// The three-digit text of a volume number ("002").
std::string volumeNumberText(int number);
// The file name of volume `number` beside the volume file `path` (Windows or
// host form): the extension of its file name replaced by a point and the
// three-digit number, or added when it has none. "SETUP.BIN" gives
// "SETUP.002", and "SETUP.002" gives "SETUP.003".
std::string volumeFileName(const std::string& path, int number);

}  // namespace archive_format

// Whether an entry record's name sends the reader to the next volume.
bool isVolumeChangeName(std::string_view name);
// Whether the four bytes that open a data block are its signature.
bool isDataBlockSignature(const char signature[4]);
