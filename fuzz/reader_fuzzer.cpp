// Fuzzes setupkit's archive reader, which list and verify stand on: arbitrary
// bytes, cut into a first volume and a continuation, are read and verified.
// Besides the sanitizers' checks, every run must end (a volume that names
// itself or an earlier one must not be read again and again), and an archive
// the reader found damaged is never called sound.
//
// The first two input bytes give where the first volume ends in the rest;
// what follows that point is the second volume, SETUP.002 (none when empty).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/archive_reader.h"
#include "tools/inspect.h"

namespace fs = std::filesystem;

namespace {

const fs::path& scratch() {
  static const fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "reader-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) abort();
    return fs::path(pattern);
  }();
  return dir;
}

void writeVolume(const fs::path& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size && std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 70000) return 0;
  const size_t split = std::min(size - 2, size_t(data[0] | data[1] << 8));
  data += 2;
  size -= 2;
  const fs::path first = scratch() / "SETUP.BIN", second = scratch() / "SETUP.002";
  writeVolume(first, data, split);
  std::error_code ec;
  fs::remove(second, ec);
  if (split < size) writeVolume(second, data + split, size - split);

  const setupkit::ArchiveInfo info = setupkit::readArchive(first.string());
  if (info.volumes.empty() || info.volumes.size() > 2) abort();
  const setupkit::VerifyReport report = setupkit::verifyArchive(info);
  if (!info.problems.empty() && report.sound()) abort();
  return 0;
}
