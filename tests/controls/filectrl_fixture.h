#pragma once
// A drive table over a scratch directory for the list controls and the
// chooser:
//   C:  fixed, no label         Windows\System (sub-directories color, Drivers,
//                               Zeta, hidden .cache; files A.exe, b.dll, c.txt,
//                               hidden .secret, a pipe), Windows\win.ini,
//                               Program Files\Common Files
//   A:  removable, no medium
//   B:  removable with a medium and a label (which the drive box never reads)
//   D:  fixed, label "Data"     docs\letters
//   E:  CD-ROM, label "SETUP_CD", case-preserving names
//   M:  network drive without a connection name, label "Lost"
//   N:  network drive \\server\share
//   R:  RAM disk
// C:\ is the current directory at the start.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "controls/glyphs.h"
#include "platform/current_dir.h"
#include "platform/drives.h"
#include "tests/support/temp_dir.h"

class FileCtrlFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d :
         {"c/Windows/System/color", "c/Windows/System/Drivers", "c/Windows/System/Zeta", "c/Windows/System/.cache",
          "c/Program Files/Common Files", "a", "b", "d/docs/letters", "e", "m", "n/shared", "r"})
      std::filesystem::create_directories(tmp.file(d));
    for (const char* f : {"c/Windows/System/A.exe", "c/Windows/System/b.dll", "c/Windows/System/c.txt",
                          "c/Windows/System/.secret", "c/Windows/win.ini"})
      tmp.write(f, "x");
    mkfifo(tmp.file("c/Windows/System/pipe").c_str(), 0644);
    table = std::make_unique<ScopedDriveTable>(std::vector<platform::Drive>{
        drive('C', "c", platform::kDriveFixed, ""),
        drive('A', "a", platform::kDriveRemovable, "FLOPPY", "", false),
        drive('B', "b", platform::kDriveRemovable, "BOOTDISK"),
        drive('D', "d", platform::kDriveFixed, "Data"),
        drive('E', "e", platform::kDriveCdRom, "SETUP_CD", "", true, platform::kFsCasePreserved),
        drive('M', "m", platform::kDriveRemote, "Lost"),
        drive('N', "n", platform::kDriveRemote, "", "\\\\server\\share"),
        drive('R', "r", platform::kDriveRamDisk, ""),
    });
  }

  // A drive whose root is a directory below the scratch directory.
  platform::Drive drive(char letter, const char* dir, uint32_t type, const char* label, const char* remote = "",
                        bool medium = true,
                        uint32_t flags = platform::kFsCaseSensitive | platform::kFsCasePreserved) const {
    return testDrive(letter, tmp.file(dir), type, label, remote, medium, flags);
  }

  // Enters a directory, failing the test when that is not possible.
  static void enter(const std::string& dir) { ASSERT_TRUE(platform::setCurrentDirectory(dir)) << dir; }

  // Every pixel of the stored glyph is at (x, y) in the image; its transparent
  // ones (the colour of its bottom-left pixel) show the background.
  static void expectGlyphAt(const QImage& image, TGlyph glyph, int x, int y, QColor background) {
    const QImage stored = glyphImage(glyph).convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = stored.pixel(0, stored.height() - 1);
    for (int gy = 0; gy < stored.height(); ++gy)
      for (int gx = 0; gx < stored.width(); ++gx) {
        const QRgb want = stored.pixel(gx, gy) == transparent ? background.rgb() : stored.pixel(gx, gy);
        ASSERT_EQ(image.pixel(x + gx, y + gy), want) << glyphName(glyph) << " pixel " << gx << "," << gy;
      }
  }

  TempDir tmp;
  std::unique_ptr<ScopedDriveTable> table;
};
