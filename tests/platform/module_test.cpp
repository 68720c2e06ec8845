// The program's own path in Windows form.
#include "platform/module.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/paths.h"

TEST(ModuleFileName, IsTheRunningProgramInWindowsForm) {
  const std::string path = platform::moduleFileName();
  ASSERT_GE(path.size(), 3u);
  EXPECT_EQ(path.substr(1, 2), ":\\");
  EXPECT_EQ(path.find('/'), std::string::npos);
  EXPECT_EQ(platform::hostPathOf(path).value(), std::filesystem::read_symlink("/proc/self/exe").string());
}
