#pragma once
// disk_layout: how a medium made with --disks is cut into disks. Disk 1 holds
// the program, its runtime, SETUP.INS and the archive's first volume; disk N
// (N >= 2) holds volume N. The capacity of a disk counts every file on it.
#include <cstdint>
#include <string>

namespace setupkit {

// The room left on disk 1 for the archive's first volume: the capacity less
// what the program, its runtime and SETUP.INS take there. A capacity of 0
// means "one disk of any size" and gives 0 (no limit). Raises ToolError when
// less than kMinimumFirstVolume bytes would be left.
int64_t firstVolumeCapacity(int64_t capacity, int64_t disk1Files);
inline constexpr int64_t kMinimumFirstVolume = 4096;

// What an ISO 9660 image of a disk holding `files` files takes beyond their
// bytes: the system area, the descriptors, path tables and directories of
// both name sets and the 300 KiB of padding xorriso and genisoimage add
// (about 370 KiB in all for a disk's few short names, measured), and each
// file rounded up to a whole 2048-byte block. With --image a disk's files
// get its capacity less this.
inline constexpr int64_t kImageBlock = 2048;
inline constexpr int64_t kImageFixedOverhead = int64_t(512) * 1024;
inline constexpr int64_t imageOverhead(int files) { return kImageFixedOverhead + files * kImageBlock; }

// The folder of disk `number` (1-based) in the medium's directory: "disk1".
std::string diskFolderName(int number);

// The ISO 9660 volume label of disk `number`: the title in capitals with
// every run of other characters than A-Z and 0-9 turned into one "_",
// shortened so that "_DISK<number>" fits within 32 characters; "SETUP" for a
// title without letters or digits.
std::string diskImageLabel(const std::string& title, int number);

}  // namespace setupkit
