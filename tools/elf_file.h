#pragma once
// elf_file: what the dynamic loader reads from a shared object or program:
// the libraries it needs, its search paths, and the C library versions its
// symbols are bound to.
#include <string>
#include <vector>

namespace setupkit {

struct ElfDynamicInfo {
  bool x86_64 = false;               // 64-bit x86-64 object
  std::vector<std::string> needed;   // DT_NEEDED, in order
  std::vector<std::string> rpath;    // DT_RPATH entries (split at ':')
  std::vector<std::string> runpath;  // DT_RUNPATH entries
  // DT_RPATH and DT_RUNPATH as written, empty entries kept (the loader
  // reads one as the current directory).
  std::vector<std::string> searchPaths;
  std::string soname;  // DT_SONAME, empty when none
  // Version names required from the C library's objects (libc.so.6,
  // libm.so.6, ...), e.g. "GLIBC_2.34".
  std::vector<std::string> glibcVersions;
  // The dynamic symbols it defines, and those it takes from others (weak
  // ones, which may stay unresolved, left out): each with the object its
  // version is required from, empty when unversioned.
  std::vector<std::string> exports;
  struct Import {
    std::string name, from;
  };
  std::vector<Import> imports;
};

// Reads the dynamic section of an ELF file. Raises ToolError when the file
// cannot be read or is not ELF.
ElfDynamicInfo readElfDynamicInfo(const std::string& path);

// True when the file starts with the ELF magic.
bool isElfFile(const std::string& path);

// The newer of two version names "GLIBC_2.x[.y]" (numeric comparison); an
// empty name is older than any other.
const std::string& newerGlibcVersion(const std::string& a, const std::string& b);

}  // namespace setupkit
