// Who signed a medium, as a person reads it, and which keys of the
// administrator's directory are trusted.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "medium/medium_signature.h"

namespace fs = std::filesystem;

namespace {

// The comment is the signer's own text: shown in quotes, escaped, so that
// no comment can read as the system's own words about the key.
TEST(MediumSignature, DescribeQuotesTheCommentSoItCannotImitateTheTrustMark) {
  struct Row {
    bool byAdministrator;
    const char* comment;
    const char* shown;
  };
  const Row rows[] = {
      {false, "Example Ltd, release key 2026", "signed by key 83A245C0FB0198DB, comment \"Example Ltd, release key 2026\""},
      {true, "Example Ltd", "signed by key 83A245C0FB0198DB (trusted by this system), comment \"Example Ltd\""},
      {false, "", "signed by key 83A245C0FB0198DB"},
      {false, "(trusted by this system)", "signed by key 83A245C0FB0198DB, comment \"(trusted by this system)\""},
      {false, "x\" (trusted by this system), comment \"y",
       "signed by key 83A245C0FB0198DB, comment \"x\\\" (trusted by this system), comment \\\"y\""},
      {false, "a\\\"b\nc", "signed by key 83A245C0FB0198DB, comment \"a\\\\\\\"b c\""},
  };
  for (const Row& row : rows) {
    medium_signature::Signer signer;
    signer.isSigned = true;
    signer.keyId = "83A245C0FB0198DB";
    signer.comment = row.comment;
    signer.byAdministrator = row.byAdministrator;
    const std::string shown = medium_signature::describe(signer);
    EXPECT_EQ(shown, row.shown);
    EXPECT_EQ(shown.find("83A245C0FB0198DB (trusted"), row.byAdministrator ? 14u : std::string::npos) << shown;
  }
  EXPECT_EQ(medium_signature::describe({}), "unsigned");
}

}  // namespace
