#pragma once
// medium: a whole distribution medium in one directory: the archive SETUP.BIN
// with its volumes, the configuration SETUP.INS, and the setup program.
#include <string>

#include "tools/pack.h"

namespace setupkit {

struct MediumOptions {
  PackOptions pack;        // everything but the archive, which is DIR/SETUP.BIN
  std::string directory;   // host path, created when missing
  std::string title;       // [Setup] Title
  std::string app;         // [Setup] App
  std::string destDir;     // [Setup] DestDir
  std::string program;     // the setup program to copy; empty: look for the built one
};

struct MediumResult {
  PackResult pack;
  std::string configuration;  // host path of SETUP.INS
  std::string program;        // host path of the copied program; empty when none was found
};

// Makes the medium. The program is the one named, or else the `setup`
// program installed or built with `toolPath` (this tool's own file); without
// one the medium is made without it. Raises ToolError for a value SETUP.INS
// cannot carry (a line break, more than 2047 characters), a named program
// that does not exist, and every failure of pack.
MediumResult makeMedium(const MediumOptions& options, const std::string& toolPath);

// The text of SETUP.INS. A value with blanks at either end, or enclosed in
// quotation marks, is written in double quotation marks, so that reading it
// back (blanks trimmed, one pair of quotes removed) gives it unchanged.
std::string setupConfigurationText(const std::string& title, const std::string& app, const std::string& destDir);

// The setup program that belongs with this tool: PREFIX/lib/setupkit/setup
// for an installed PREFIX/bin/setupkit, <build>/app/setup for the tool
// <build>/tools/setupkit, or `setup` in the tool's own directory.
std::string findSetupProgram(const std::string& toolPath);

}  // namespace setupkit
