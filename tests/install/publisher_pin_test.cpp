// The publisher pinned by an earlier installation: a later medium into the
// same destination goes ahead without asking only when it is signed by the
// same key; otherwise the conflict names both keys.
#include <gtest/gtest.h>

#include "install/install_record.h"
#include "install/publisher_pin.h"
#include "medium/signature.h"
#include "tests/support/row_name.h"
#include "tests/support/temp_dir.h"

namespace {

// The pin of a medium signed by `key`: its public key line, as the medium
// check gives it.
std::string pinOfKey(const signature::SecretKey& key) {
  medium_signature::Signer signer;
  signer.isSigned = true;
  signer.publicKey = signature::base64Encode("Ed" + std::string(key.id.begin(), key.id.end()) +
                                             std::string(key.publicKey.begin(), key.publicKey.end()));
  return publisher_pin::pinOf(signer);
}

struct Keys {
  signature::SecretKey first = signature::generateKey();
  signature::SecretKey second = signature::generateKey();
  signature::SecretKey sameId = [this] {  // another key under the first key's id
    signature::SecretKey k = signature::generateKey();
    k.id = first.id;
    return k;
  }();
};

enum class Pin { None, First, FirstIdAlone, Second, SameId, Unsigned };

std::string pinText(const Keys& keys, Pin pin) {
  switch (pin) {
    case Pin::First: return pinOfKey(keys.first);
    case Pin::FirstIdAlone: return signature::keyIdText(keys.first.id);
    case Pin::Second: return pinOfKey(keys.second);
    case Pin::SameId: return pinOfKey(keys.sameId);
    default: return {};
  }
}

struct PinRow {
  const char* name;
  bool record;  // the destination holds a record
  Pin pinned;   // what the record pins
  Pin medium;   // how the new medium is signed
  bool conflict;
  const char* says;  // words the conflict text holds
};

class PublisherPin : public ::testing::TestWithParam<PinRow> {};
void PrintTo(const PinRow& row, std::ostream* os) { *os << row.name; }

TEST_P(PublisherPin, ConflictOrNone) {
  const PinRow& row = GetParam();
  static const Keys keys;
  TempDir tmp;
  if (row.record) {
    install_record::Record record;
    if (row.pinned != Pin::None) record.publisherKey = pinText(keys, row.pinned);
    tmp.write(install_record::kRecordName, install_record::toJson(record));
  }
  const std::string conflict = publisher_pin::conflict(tmp.path(), pinText(keys, row.medium));
  EXPECT_EQ(!conflict.empty(), row.conflict) << conflict;
  if (!row.conflict) return;
  EXPECT_NE(conflict.find(signature::keyIdText(keys.first.id)), std::string::npos) << conflict;
  EXPECT_NE(conflict.find(row.says), std::string::npos) << conflict;
  if (row.medium == Pin::Second) {
    EXPECT_NE(conflict.find(signature::keyIdText(keys.second.id)), std::string::npos) << conflict;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PublisherPin,
    ::testing::Values(
        PinRow{"NoneWithoutARecord", false, Pin::None, Pin::First, false, ""},
        PinRow{"NoneWhenTheRecordPinsNoKey", true, Pin::None, Pin::Second, false, ""},
        PinRow{"NoneForTheSameKey", true, Pin::First, Pin::First, false, ""},
        PinRow{"ConflictForAnotherKeyNamingBothIds", true, Pin::First, Pin::Second, true, "signed by another key"},
        PinRow{"ConflictForAnUnsignedMedium", true, Pin::First, Pin::Unsigned, true, "unsigned"},
        PinRow{"ConflictForAnotherKeyUnderTheSameId", true, Pin::First, Pin::SameId, true, "signed by another key"},
        PinRow{"NoneWhenAnIdAlonePinsTheSameKey", true, Pin::FirstIdAlone, Pin::First, false, ""},
        PinRow{"ConflictWhenAnIdAlonePinsAnotherKey", true, Pin::FirstIdAlone, Pin::Second, true, "another key"},
        PinRow{"ConflictWhenAnIdAloneMeetsAnUnsignedMedium", true, Pin::FirstIdAlone, Pin::Unsigned, true, "unsigned"}),
    ByRowName());

// The wizard gives the destination in Windows form, with its trailing
// backslash.
TEST(PublisherPinDestination, AWindowsFormDestinationIsFoundOnItsDrive) {
  TempDir tmp;
  ScopedDriveC drive(tmp.path());
  const signature::SecretKey key = signature::generateKey();
  install_record::Record record;
  record.publisherKey = pinOfKey(key);
  tmp.write("dest/" + std::string(install_record::kRecordName), install_record::toJson(record));
  EXPECT_NE(publisher_pin::conflict("C:\\dest\\", ""), "");
  EXPECT_EQ(publisher_pin::conflict("C:\\dest\\", pinOfKey(key)), "");
}

}  // namespace
