// Who signed a medium, as a person reads it, and which keys of the
// administrator's directory are trusted.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "medium/medium_signature.h"

namespace fs = std::filesystem;

namespace {

// The comment is the signer's own text: shown in quotes, escaped, so that
// no comment can read as the system's own words about the key.
TEST(SignerAndTrustedKeys, DescribeQuotesTheCommentSoItCannotImitateTheTrustMark) {
  struct Row {
    bool byAdministrator;
    const char* comment;
    const char* shown;
  };
  const Row rows[] = {
      {false, "Example Ltd, release key 2026",
       "signed by key 83A245C0FB0198DB, comment \"Example Ltd, release key 2026\""},
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

constexpr uid_t kOtherUser = 65534;

struct KeyFolder {
  std::string root;
  KeyFolder() {
    char name[] = "/tmp/trusted-keys-test-XXXXXX";
    root = mkdtemp(name);
    chmod(root.c_str(), 0755);
  }
  ~KeyFolder() { fs::remove_all(root); }
  std::string path(const std::string& name) const { return root + "/" + name; }
  // A public key file of a new key; returns its key ID.
  std::string key(const std::string& name, unsigned mode = 0644) const {
    fs::create_directories(fs::path(path(name)).parent_path());
    const auto key = signature::publicKeyOf(signature::generateKey());
    std::ofstream(path(name)) << signature::publicKeyText(key);
    chmod(path(name).c_str(), mode);
    return signature::keyIdText(key.id);
  }
  void own(const std::string& name, uid_t uid) const { EXPECT_EQ(lchown(path(name).c_str(), uid, uid), 0) << name; }
};

// A key is trusted only when no one but root could have put it there or
// changed it: the file (a link's target) and every folder above it belong
// to root and no one else can write them. Every other file is named with
// why, and still makes the check stricter, never looser.
TEST(SignerAndTrustedKeys, OnlyKeysNoOneButRootCanChangeAreTrusted) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to own files as another user";
  signature::initialiseSodium();
  KeyFolder f;
  fs::create_directories(f.path("keys"));
  chmod(f.path("keys").c_str(), 0755);
  const std::string good = f.key("keys/good.pub");
  f.key("keys/users.pub");
  f.own("keys/users.pub", kOtherUser);
  f.key("keys/writable.pub", 0666);
  f.key("keys/group-writable.pub", 0664);
  // Links: to root's key in root's folder, to a user's key, to root's key
  // in a folder a user owns.
  const std::string linked = f.key("roots/linked.pub");
  fs::create_symlink(f.path("roots/linked.pub"), f.path("keys/link-to-roots.pub"));
  f.key("home/users.pub");
  f.own("home", kOtherUser);
  f.own("home/users.pub", kOtherUser);
  fs::create_symlink(f.path("home/users.pub"), f.path("keys/link-to-users.pub"));
  f.key("home/roots-in-users-folder.pub");
  fs::create_symlink(f.path("home/roots-in-users-folder.pub"), f.path("keys/link-into-users-folder.pub"));
  // A link the user owns in root's folder is root's choice of target.
  fs::create_symlink(f.path("roots/linked.pub"), f.path("keys/users-link.pub"));
  f.own("keys/users-link.pub", kOtherUser);

  const medium_signature::TrustedKeys trusted = medium_signature::readTrustedKeys(f.path("keys"));
  std::set<std::string> ids;
  for (const auto& key : trusted.keys) ids.insert(signature::keyIdText(key.id));
  EXPECT_EQ(ids, (std::set<std::string>{good, linked}));
  struct Row {
    const char* name;
    const char* why;
  };
  const Row ignored[] = {
      {"group-writable.pub", "others can write"},    {"link-into-users-folder.pub", "belongs to uid 65534"},
      {"link-to-users.pub", "belongs to uid 65534"}, {"users.pub", "belongs to uid 65534"},
      {"writable.pub", "others can write"},
  };
  ASSERT_EQ(trusted.ignored.size(), std::size(ignored));
  for (size_t i = 0; i < std::size(ignored); ++i) {
    EXPECT_EQ(trusted.ignored[i].path, f.path("keys/") + ignored[i].name);
    EXPECT_NE(trusted.ignored[i].why.find(ignored[i].why), std::string::npos) << trusted.ignored[i].why;
  }
  EXPECT_TRUE(trusted.enforced());

  // A folder above the keys that a user owns: no key of it is trusted, and
  // trust is still enforced.
  f.own("keys", kOtherUser);
  const medium_signature::TrustedKeys inUsersFolder = medium_signature::readTrustedKeys(f.path("keys"));
  EXPECT_TRUE(inUsersFolder.keys.empty());
  EXPECT_TRUE(inUsersFolder.enforced());
  for (const auto& file : inUsersFolder.ignored)
    EXPECT_NE(file.why.find("belongs to uid 65534"), std::string::npos) << file.path << ": " << file.why;
}

}  // namespace
