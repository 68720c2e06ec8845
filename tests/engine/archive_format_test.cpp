// How continuation volumes are numbered and named, for the restore and for
// setupkit alike.
#include <gtest/gtest.h>

#include "engine/archive_format.h"

namespace {

TEST(ArchiveFormat, VolumeNamesAndNumbers) {
  const struct {
    const char* path;
    int number;
    const char* name;
  } names[] = {
      {"SETUP.BIN", 2, "SETUP.002"},
      {"C:\\MEDIA\\SETUP.002", 3, "C:\\MEDIA\\SETUP.003"},
      {"C:\\dir.x\\SETUP", 2, "C:\\dir.x\\SETUP.002"},
      {"/media/cd.rom/setup", 12, "/media/cd.rom/setup.012"},
      {"/media/cd/app.tar.bin", 999, "/media/cd/app.tar.999"},
  };
  for (const auto& n : names) EXPECT_EQ(archive_format::volumeFileName(n.path, n.number), n.name) << n.path;

  const struct {
    const char* entry;
    int number;
  } numbers[] = {{"NEXT:DISK002", 2}, {"NEXT:DISK999", 999}, {"NEXT:DISK000", 0},
                 {"NEXT:DISK0x2", 0}, {"NEXT:DISK02", 0},    {"NEXT:DISK002 and more", 2}};
  for (const auto& n : numbers) EXPECT_EQ(archive_format::volumeNumberOf(n.entry), n.number) << n.entry;
}

}  // namespace
