// Resolving typed and given paths against the current directories.
#include <gtest/gtest.h>

#include <string>

#include "controls/resolve_entered_path.h"
#include "framework/core/exceptions.h"
#include "platform/current_dir.h"
#include "tests/controls/filectrl_fixture.h"
#include "tests/support/expect_message.h"

namespace {

class ResolvePath : public FileCtrlFixture {};

TEST_F(ResolvePath, FormsOfPaths) {
  struct Row {
    const char* input;
    char drive;
    const char* dir;
    const char* file;
  } rows[] = {
      {"System", 'C', "\\Windows\\System", ""},                 // relative
      {"[System]", 'C', "\\Windows\\System", ""},               // bracketed, as the file list shows directories
      {"\\Program Files", 'C', "\\Program Files", ""},          // rooted
      {"D:letters", 'D', "\\docs\\letters", ""},                // drive-relative, from D's current directory
      {"D:", 'D', "\\docs", ""},                                // D's current directory
      {"C:\\Windows\\win.ini", 'C', "\\Windows", "win.ini"},    // an existing file stays the file part
      {"C:\\Windows\\*.ini", 'C', "\\Windows", "*.ini"},        // a mask too
      {"C:\\Windows\\System\\", 'C', "\\Windows\\System", ""},  // trailing backslash
      {"C:\\", 'C', "\\", ""},
      {"c:\\windows\\system", 'c', "\\windows\\system", ""},  // the text as typed
      {"", 'C', "\\Windows", ""},                             // the current directory
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.input);
    enter("D:\\docs");
    enter("C:\\Windows");
    const TResolvedPath r = ResolveEnteredPath(row.input);
    EXPECT_EQ(r.Drive, row.drive);
    EXPECT_EQ(r.DirPart, row.dir);
    EXPECT_EQ(r.FilePart, row.file);
    EXPECT_EQ(platform::getCurrentDirectory(), "C:\\Windows");  // put back
  }
}

TEST_F(ResolvePath, NetworkPathsHaveNoDriveLetter) {
  // The share cannot be entered here, so its name is resolved against the
  // current drive; the result still carries the share in front.
  enter("C:\\Windows");
  TResolvedPath r = ResolveEnteredPath("\\\\server\\share\\Windows");
  EXPECT_EQ(r.Drive, 0);
  EXPECT_EQ(r.DirPart, "\\\\server\\share\\Windows");
}

TEST_F(ResolvePath, MissingDirectoriesRaiseAndPutTheCurrentDirectoryBack) {
  enter("C:\\Windows");
  EXPECT_THROW_MESSAGE(ResolveEnteredPath("C:\\Windows\\Missing"), EInOutError, "File not found");
  EXPECT_EQ(platform::getCurrentDirectory(), "C:\\Windows");
  EXPECT_THROW_MESSAGE(ResolveEnteredPath("C:\\Nope\\Deeper"), EInOutError, "File not found");
  EXPECT_EQ(platform::getCurrentDirectory(), "C:\\Windows");
}

}  // namespace
