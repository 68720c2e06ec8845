#pragma once
// The publisher pinned by the first installation: the install record of a
// destination keeps the public key of the signed medium that installed it
// (install_record::Record::publisherKey), and a later medium into the same
// destination that is signed by another key, or unsigned, goes ahead only
// when the person running it says so (the unattended install's
// --accept-new-publisher, a question in the wizard).
#include <string>

#include "medium/medium_signature.h"

namespace publisher_pin {

// What the record keeps for a medium: the signer's public key (minisign's
// base64 line, which holds the key id); empty for an unsigned medium.
std::string pinOf(const medium_signature::Signer& signer);

// The key id (16 hexadecimal digits) of a pin as the record keeps it: a
// public key line, or a key id alone (older records).
std::string keyIdOf(const std::string& pin);

// Empty when the medium whose pin (pinOf) is `pin` may install into
// `destination` (Windows form or host path) without asking; otherwise why
// not: the record there pins another key. Nothing is written.
std::string conflict(const std::string& destination, const std::string& pin);

}  // namespace publisher_pin
