#pragma once
// Files and directories by Windows-form path, and open files as opaque handles.
// Failing calls set lastError() to a Windows error number.
#include <cstdint>
#include <string>

namespace platform {

// File attributes in Windows terms.
enum FileAttribute : uint32_t {
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrVolumeId = 8,
  kAttrDirectory = 16,
  kAttrArchive = 32,
};
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// Attributes of a file or directory, kInvalidAttributes when it does not exist.
uint32_t getFileAttributes(const std::string& path);

// A regular file (or device) exists; a directory does not count.
bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);

// Last-write time of a file as a local DOS date-time; -1 when there is no such file.
int32_t fileAge(const std::string& path);

// Creates one directory; its parent must exist.
bool createDirectory(const std::string& path);

// An open file. The value is the host descriptor; -1 is no file.
struct FileHandle {
  int64_t value = -1;
  bool valid() const { return value >= 0; }
};

enum class FileAccess { Read, Write, ReadWrite };
enum SeekOrigin { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };

// Opens an existing file. Sharing modes have no meaning on this host.
FileHandle openFile(const std::string& path, FileAccess access);
// Creates a file, replacing an existing one, for reading and writing.
FileHandle createFile(const std::string& path);
// Creates a file that does not exist yet, for reading and writing; fails with
// kErrorAlreadyExists when something of that name exists (a file, a
// directory, a link).
FileHandle createNewFile(const std::string& path);
// Creates an empty file that is to replace the existing file `path`: in the
// same directory, under a new hidden name (stored in replacementPath, Windows
// form), with the existing file's permissions. Fails, without creating
// anything, where writing the existing file itself would fail (a directory, a
// file without write access).
FileHandle createReplacement(const std::string& path, std::string& replacementPath);
// Renames `from` to `to`, replacing an existing file `to` in one step.
bool moveFileReplacing(const std::string& from, const std::string& to);
bool deleteFile(const std::string& path);

// Reads up to count bytes; returns the number read (0 at the end), -1 on error.
int64_t readFile(FileHandle file, void* buffer, int64_t count);
// Writes count bytes; returns the number written, which is less than count only
// when the device is full (lastError 112) or on error (-1).
int64_t writeFile(FileHandle file, const void* buffer, int64_t count);
// Moves the file position; returns the new position, -1 on error.
int64_t seekFile(FileHandle file, int64_t offset, SeekOrigin origin);
void closeFile(FileHandle file);

// Sets the last-write (and access) time from a DOS date-time read as local
// time. Call it after the last byte is written.
bool setFileDosTime(FileHandle file, uint32_t dosDateTime);
// The last-write time of an open file as a local DOS date-time.
uint32_t getFileDosTime(FileHandle file);

}  // namespace platform
