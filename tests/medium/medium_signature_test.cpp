// The signed file set of a folder medium: a medium whose listed files are
// unchanged passes and tells who signed it; a changed, missing or added
// medium file is named; the administrator's trusted keys and a key given
// from outside decide whose signature counts.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/exit_status.h"
#include "medium/medium_signature.h"
#include "medium/signature.h"
#include "tests/support/row_name.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace ms = medium_signature;

digest::Sha256Digest sha256Of(const std::string& text) {
  digest::Sha256 sha;
  sha.update(text.data(), text.size());
  return sha.finish();
}

// A folder medium signed by `key` as the publisher's tool signs it: every
// file listed in SETUP.SUM, its signature and the public key beside it.
struct SignedMedium {
  TempDir tmp;
  const std::string folder = tmp.file("medium");
  const std::string trusted = tmp.file("trusted");
  signature::SecretKey key = signature::generateKey();
  signature::SecretKey other = signature::generateKey();

  SignedMedium() {
    std::vector<ms::Sum> sums;
    auto add = [&](const std::string& name, const std::string& content) {
      write(name, content);
      sums.push_back({name, sha256Of(content)});
    };
    for (const char* name : {"setup", "SETUP.INS", "SETUP.BIN", "SETUP.ATR", "runtime.pak", "readme.txt"})
      add(name, std::string("the bytes of ") + name);
    add(ms::kPublicKey, signature::publicKeyText(signature::publicKeyOf(key)));
    const ms::SignedList list = ms::signSums(key, sums, "Example Ltd, release key");
    write(ms::kSums, list.sums);
    write(ms::kSumsSignature, list.signature);
    fs::create_directories(trusted);
  }

  void write(const std::string& name, const std::string& content) { tmp.write("medium/" + name, content); }
  void remove(const std::string& name) { fs::remove(folder + "/" + name); }
  void trust(const signature::SecretKey& k, const std::string& as) {
    tmp.write("trusted/" + as, signature::publicKeyText(signature::publicKeyOf(k)));
  }
};

enum class Outside { None, Own, Other };

struct SignatureRow {
  const char* name;
  std::function<void(SignedMedium&)> change;
  Outside outside;
  int status;
  const char* says;  // words the problem holds; empty when it passes
};

class MediumSignature : public ::testing::TestWithParam<SignatureRow> {};
void PrintTo(const SignatureRow& row, std::ostream* os) { *os << row.name; }

TEST_P(MediumSignature, CheckFolder) {
  const SignatureRow& row = GetParam();
  SignedMedium medium;
  if (row.change) row.change(medium);
  const signature::PublicKey own = signature::publicKeyOf(medium.key), other = signature::publicKeyOf(medium.other);
  const signature::PublicKey* outside = row.outside == Outside::Own     ? &own
                                        : row.outside == Outside::Other ? &other
                                                                        : nullptr;
  const ms::Result result = ms::checkFolder(medium.folder, ms::readTrustedKeys(medium.trusted), outside);
  EXPECT_EQ(result.status, row.status) << result.problem;
  EXPECT_NE(result.problem.find(row.says), std::string::npos) << result.problem;
  if (row.status == 0 && result.signer.isSigned) {
    EXPECT_EQ(result.signer.keyId, signature::keyIdText(medium.key.id));
    EXPECT_EQ(result.signer.comment, "Example Ltd, release key");
    EXPECT_FALSE(result.signer.publicKey.empty()) << "the key to pin";
  }
}

void unsign(SignedMedium& m) {
  for (const char* name : {ms::kSums, ms::kSumsSignature, ms::kPublicKey}) m.remove(name);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MediumSignature,
    ::testing::Values(
        SignatureRow{"PassesWhenEveryListedFileIsUnchanged", nullptr, Outside::None, 0, ""},
        SignatureRow{"PassesWithAnAddedFileTheMediumNeverReads", [](SignedMedium& m) { m.write("notes.txt", "mine"); },
                     Outside::None, 0, ""},
        SignatureRow{"DamagedNamingAChangedArchive", [](SignedMedium& m) { m.write("SETUP.BIN", "other"); },
                     Outside::None, setupkit::kExitDamaged, "SETUP.BIN was changed"},
        SignatureRow{"MissingNamingAListedFileThatIsGone", [](SignedMedium& m) { m.remove("runtime.pak"); },
                     Outside::None, setupkit::kExitMissing, "runtime.pak is missing"},
        SignatureRow{"DamagedNamingAnAddedVolume", [](SignedMedium& m) { m.write("SETUP.002", "more"); }, Outside::None,
                     setupkit::kExitDamaged, "SETUP.002 is not among the files signed"},
        SignatureRow{"DamagedNamingAnAddedUninstaller", [](SignedMedium& m) { m.write("uninstall", "#!/bin/sh"); },
                     Outside::None, setupkit::kExitDamaged, "uninstall is not among the files signed"},
        SignatureRow{"DamagedWhenTheListIsChanged",
                     [](SignedMedium& m) {
                       m.write(ms::kSums, m.tmp.read("medium/SETUP.SUM") + std::string(64, '0') + "  x\n");
                     },
                     Outside::None, setupkit::kExitDamaged, "SETUP.SUM"},
        SignatureRow{
            "DamagedWhenTheMediumCarriesAnotherKey",
            [](SignedMedium& m) { m.write(ms::kPublicKey, signature::publicKeyText(signature::publicKeyOf(m.other))); },
            Outside::None, setupkit::kExitDamaged, "SETUP.SUM: "},
        SignatureRow{"PassesAnUnsignedMediumWhenNothingAsksForASignature", unsign, Outside::None, 0, ""},
        SignatureRow{"PassesWhenTheTrustedKeysHoldItsKey", [](SignedMedium& m) { m.trust(m.key, "release.pub"); },
                     Outside::None, 0, ""},
        SignatureRow{"RefusedWhenTheTrustedKeysHoldOnlyAnotherKey",
                     [](SignedMedium& m) { m.trust(m.other, "other.pub"); }, Outside::None, setupkit::kExitRefused,
                     "not among the keys this system trusts"},
        SignatureRow{"RefusedWhenTheTrustedKeysHoldOnlyAFileThatIsNoKey",
                     [](SignedMedium& m) { m.tmp.write("trusted/junk", "no key"); }, Outside::None,
                     setupkit::kExitRefused, "not among the keys this system trusts"},
        SignatureRow{"RefusedUnsignedWhenTheTrustedKeysAreSet",
                     [](SignedMedium& m) {
                       unsign(m);
                       m.trust(m.key, "release.pub");
                     },
                     Outside::None, setupkit::kExitRefused, "it is unsigned"},
        SignatureRow{"PassesWhenSignedByTheOutsideKey", nullptr, Outside::Own, 0, ""},
        SignatureRow{"RefusedWhenSignedByAnotherThanTheOutsideKey", nullptr, Outside::Other, setupkit::kExitRefused,
                     "not by key"},
        SignatureRow{"RefusedUnsignedWhenAnOutsideKeyIsGiven", unsign, Outside::Own, setupkit::kExitRefused,
                     "it is unsigned"}),
    ByRowName());

}  // namespace
