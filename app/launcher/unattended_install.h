#pragma once
// The installation with no one at the screen: the wizard's restore, run by
// the launcher itself, without a display, without the setup program and its
// runtime, and without asking anything.
#include <cstdio>

#include "app/launcher/launcher_medium.h"
#include "app/launcher/launcher_options.h"

namespace launcher {

// Installs the medium below options.dest as the wizard does: the same
// restore settings (flat, or the stored folders when SETUP.INS says
// Paths=Tree), the same safety rules below the destination, the same
// messages on standard error. Progress goes as the options say; JSON lines
// to `json`. Returns the exit status.
int installUnattended(const LauncherMedium& medium, const Options& options, std::FILE* json);

}  // namespace launcher
