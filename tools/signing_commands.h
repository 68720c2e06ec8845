#pragma once
// The commands around signing: key new, verify --key, and reading the
// secret key for medium --sign before anything is made.
#include <ostream>

#include "tools/cli.h"

namespace setupkit {

// Writes the key pair; returns the exit status. Raises ToolError.
int makeKeyPair(const KeyOptions& options, std::ostream& out);

// Checks a medium folder or one-file installer against the public key file;
// prints who signed it or why not; returns the exit status.
int verifySignedMedium(const std::string& publicKeyFile, const std::string& medium, std::ostream& out,
                       std::ostream& err);

// Reads the secret key named by --sign (asking its password) into the
// options, and sets the default trusted comment. Raises ToolError.
void readSigningKey(MediumOptions& options);

}  // namespace setupkit
