// A stand-in for the setup program, packed as a medium's runtime by the
// launcher tests. It prints where it runs from and what the launcher left it:
//   folder=<the real folder of this program>
//   archive=<hex of the first 16 bytes of a one-file installer's archive>
// With PROBE_REPLACE set to the installer's path it first replaces that file
// by another one of the same name, as someone who can write its folder
// could: the archive must still be read from the installer that was checked.
// With PROBE_OVERWRITE set to it, it writes over the archive's first bytes
// in place instead, as the installer's owner could once the launcher no
// longer runs it: the archive must still read as it was checked.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

int main() {
  const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
  std::printf("folder=%s\n", folder.c_str());
  if (const char* replace = std::getenv("PROBE_REPLACE")) {
    const std::string other = std::string(replace) + ".other";
    std::ofstream(other) << std::string(1 << 16, 'X');
    std::rename(other.c_str(), replace);
  }
  std::ifstream archive(folder / ".archive");
  long long offset = 0, length = 0;
  std::string file;
  if (archive >> offset >> length) {
    archive.ignore(1);
    std::getline(archive, file);
    if (const char* overwrite = std::getenv("PROBE_OVERWRITE")) {
      const int out = open(overwrite, O_WRONLY);
      const bool written = out >= 0 && pwrite(out, std::string(16, 'X').data(), 16, off_t(offset)) == 16;
      std::printf("overwritten=%d\n", written ? 1 : 0);
      if (out >= 0) close(out);
    }
    unsigned char head[16] = {};
    const int fd = open(file.c_str(), O_RDONLY);
    const bool read = fd >= 0 && pread(fd, head, sizeof head, off_t(offset)) == ssize_t(sizeof head);
    std::printf("archive=");
    for (unsigned char c : head) std::printf("%02x", read ? c : 0);
    std::printf("\n");
  }
  return 0;
}
