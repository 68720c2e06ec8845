#include "install/publisher_pin.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "framework/core/path_utils.h"
#include "install/install_record.h"
#include "install/record_store.h"
#include "platform/paths.h"

namespace publisher_pin {

namespace {

// The key id of a pinned key: its own (a key id alone, as an older record
// may hold) or the one inside the public key line.
std::string pinnedKeyId(const std::string& pin) {
  if (pin.size() == 16) return pin;
  const auto key = signature::parsePublicKey(pin);
  return key ? signature::keyIdText(key->id) : "(unreadable)";
}

}  // namespace

std::string keyIdOf(const std::string& pin) { return pinnedKeyId(pin); }

std::string pinOf(const medium_signature::Signer& signer) { return signer.isSigned ? signer.publicKey : std::string(); }

std::string conflict(const std::string& destination, const std::string& pin) {
  const std::string trimmed = fw::withoutTrailingBackslash(destination);
  const auto host = destination.empty() || destination[0] == '/' ? std::optional<std::string>(destination)
                                                                 : platform::hostPathOf(trimmed);
  if (!host) return {};
  const int dir = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return {};  // a new destination pins nothing yet
  // Only a record this process may act on pins anything: root's own, or a
  // copy no other user could have written.
  const record_store::Earlier earlier = record_store::loadEarlier(dir);
  close(dir);
  const install_record::Record& record = earlier.record;
  if (earlier.state != install_record::LoadState::Loaded || !record.publisherKey || record.publisherKey->empty())
    return {};
  const std::string& pinned = *record.publisherKey;
  // A pin of the key id alone (as an older record may hold) is matched by
  // the id; a pinned key by the whole key, since anyone can give a key of
  // their own the same id.
  if (!pin.empty() && (pinned == pin || (pinned.size() == 16 && pinned == pinnedKeyId(pin)))) return {};
  return *host + " was installed from a medium signed by key " + pinnedKeyId(pinned) + "; this medium is " +
         (pin.empty() ? std::string("unsigned") : "signed by another key, " + pinnedKeyId(pin));
}

}  // namespace publisher_pin
