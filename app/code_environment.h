#pragma once
// Environment variables that make a process load code: plugin and module
// folders, plugin names, preloaded libraries. Installers are run as root
// through su, sudo -E and pkexec, which keep much of a user's environment; a
// program that carries its own runtime loads only what it carries, so it
// drops these variables before its libraries read them.
#include <string>
#include <vector>

namespace startup {

// Whether the variable `name` names code to load or a folder to load it from
// (QT_PLUGIN_PATH, QT_WAYLAND_SHELL_INTEGRATION, GTK_MODULES, LD_PRELOAD, ...).
bool loadsCode(const std::string& name);

// Removes every such variable from this process's environment (so neither
// Qt nor a child process sees it). Returns the names removed.
std::vector<std::string> dropCodeLoadingEnvironment();

}  // namespace startup
