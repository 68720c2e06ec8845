#pragma once
// Signing a medium as it is made (setupkit medium --sign): a folder gets
// SETUP.PUB, SETUP.SUM and SETUP.SUM.minisig (medium/medium_signature.h); a
// one-file installer gets its signature part, written by medium.cpp with
// the sums of its parts, and a detached OUT.minisig of the whole file for
// checking by hand.
#include <memory>
#include <string>

#include "medium/signature.h"

namespace setupkit {

struct Signing {
  std::shared_ptr<const signature::SecretKey> key;  // null: unsigned
  std::string comment;                              // the trusted comment
};

// Signs every plain file of the folder (each disk folder of a medium on
// its own).
void signFolder(const std::string& folder, const Signing& signing);

// Removes the signature files of an earlier medium in the folder: they
// would no longer match.
void removeSignature(const std::string& folder);

// Writes FILE.minisig, the signature of the whole file.
std::string signDetached(const std::string& file, const Signing& signing);

// The trusted comment when none is given: the product and the day.
std::string defaultTrustedComment(const std::string& title);

}  // namespace setupkit
