#pragma once
// The launcher started with options: it installs, checks or lists the medium
// itself, with the engine it carries, and never starts the setup program.
#include <string>
#include <vector>

namespace launcher {

// Runs the command line (the arguments after the program name); returns the
// exit status.
int runCommandLine(const std::string& program, const std::vector<std::string>& args);

// Empty when the setup program can run on this system; otherwise the one
// line that says what it needs and how to install without it.
std::string wizardCannotRun();

}  // namespace launcher
