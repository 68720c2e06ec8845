// ICU's data library as a medium carries it, trimmed to what the setup
// program reaches: a Qt program sorts (in many locales) and maps case with it
// exactly as with the whole library.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>

#include "tests/support/temp_dir.h"
#include "tools/icu_data.h"

namespace fs = std::filesystem;

namespace {

#ifdef ICU_PROBE
// The system's ICU data library, by its soname (libicudata.so.72).
fs::path systemIcuData() {
  for (const char* folder : {"/usr/lib/x86_64-linux-gnu", "/lib/x86_64-linux-gnu", "/usr/lib64", "/usr/lib"}) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
      if (std::regex_match(e.path().filename().string(), std::regex(R"(libicudata\.so\.\d+)"))) return e.path();
  }
  return {};
}

std::string probeOutput(const std::string& libraryPath) {
  const std::string command =
      (libraryPath.empty() ? "" : "LD_LIBRARY_PATH='" + libraryPath + "' ") + "'" ICU_PROBE "' 2>&1";
  std::string text;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
    if (pclose(p) != 0) text += "\n(the probe failed)";
  }
  return text;
}

TEST(IcuData, TrimmedLibrarySortsAndMapsCaseAsTheWholeOne) {
  const fs::path whole = systemIcuData();
  if (whole.empty()) GTEST_SKIP() << "no ICU data library on this system";
  TempDir tmp;
  const fs::path copy = fs::path(tmp.file("lib")) / whole.filename();
  fs::create_directories(copy.parent_path());
  fs::copy_file(fs::canonical(whole), copy);
  const auto before = fs::file_size(copy);
  ASSERT_GT(setupkit::trimIcuData(copy.string()), 20'000'000) << "the trimmed services hold most of the file";
  EXPECT_EQ(fs::file_size(copy), before) << "the layout is kept";

  const std::string expected = probeOutput("");
  ASSERT_NE(expected.find("sv_SE: "), std::string::npos) << expected;
  EXPECT_EQ(probeOutput(copy.parent_path().string()), expected);
}
#endif

}  // namespace
