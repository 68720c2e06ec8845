#pragma once
// Looking at the medium without installing: --check decodes every file's
// data across the volumes (a one-file installer's checksum is checked when it
// is opened); --list names the files an installation would write.
#include "app/launcher/launcher_medium.h"
#include "app/launcher/launcher_options.h"

namespace launcher {

// Both return the exit status: 0 sound, 2 damaged, 3 the archive missing,
// 4 a volume missing.
int checkMedium(const LauncherMedium& medium, const Options& options);
int listMedium(const LauncherMedium& medium, const Options& options);

}  // namespace launcher
