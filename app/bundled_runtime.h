#pragma once
// The runtime a medium carries beside the program (runtime/: lib/, plugins/,
// fonts/). The libraries are found through the program's RPATH; the Qt
// plugins and the fonts are named here, before the application object is
// made, so that no environment variable has to be set by the user.
#include <string>

namespace startup {

// When `programFolder` (a host path) holds runtime/: Qt loads its plugins
// from runtime/plugins only (plugins of another Qt could not be loaded into
// this one), the environment variables that would load other code are
// dropped (app/code_environment.h), and fontconfig reads
// runtime/fonts/fonts.conf, which names the fonts in that folder. Returns
// true when a runtime was found.
bool useBundledRuntime(const std::string& programFolder);

// The folder of the running program's file (host path).
std::string runningProgramFolder();

}  // namespace startup
