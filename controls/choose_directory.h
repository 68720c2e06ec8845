#pragma once
// ChooseDirectory: lets the user pick a directory in the modal chooser.
#include <cstdint>
#include <string>

// Options of ChooseDirectory, as bits of a set.
enum TSelectDirOpt : uint32_t {
  EditableName = 1u << 0,  // the user may type a directory name
  CreateOnOK = 1u << 1,    // OK creates the chosen directory with its parents
  ConfirmNew = 1u << 2,    // with EditableName: OK on a missing directory asks first
};
using TSelectDirOpts = uint32_t;

// Shows the chooser on `Directory` (the process's current directory when it
// does not exist, is empty or is a network path) and returns true when it is
// closed with OK; `Directory` then holds the chosen directory. Cancel, Escape
// and the close box return false and leave `Directory` as it was. A non-zero
// HelpContext shows the Help button. The directory last opened stays the
// process's current directory. Raises EInOutError before any dialog is shown
// when the drive of `Directory` does not exist or cannot be entered, and
// "Unable to create directory" for CreateOnOK with an empty name.
bool ChooseDirectory(std::string& Directory, TSelectDirOpts Options, int HelpContext);
