#pragma once
// A refusal shown in a window. Started by a double click there is no
// terminal to read the launcher's message on standard error, so a refusal
// before the wizard (an installer cut short or damaged, a medium changed
// after signing or refused by the trusted keys, a system the wizard cannot
// run on) would look like nothing happening at all.
//
// The window cannot be the wizard's: the packed runtime is exactly what
// failed its checks, or what cannot run here. It is the message box of a
// dialog program the system has (zenity, kdialog, xmessage), found in the
// system's own folders only, never along PATH (a root installer may carry a
// user's), run with the environment less what would make it load other code.
#include <string>
#include <vector>

namespace launcher {

// A refusal: what happened, and what the person can do about it.
struct Refusal {
  std::string what;  // "/home/ann/setup.run is cut short: ..."
  std::string todo;  // "Download it again, then start it again."
};

// Whether refusals go into a window: a display (DISPLAY or WAYLAND_DISPLAY
// set) and no terminal (neither standard input nor standard error is one).
bool refusalsInWindow();

// The dialog program and its arguments that show `text` with the window
// title `title` as an error on this session; empty when the system has none
// that can. `exists` tells whether a system path is a program to run (it is
// replaced in tests).
std::vector<std::string> dialogCommand(const std::string& title, const std::string& text,
                                       bool (*exists)(const std::string& path) = nullptr);

// Says the refusal on standard error and, when refusalsInWindow(), in a
// window, whose closing it waits for.
void tellRefusal(const Refusal& refusal);

}  // namespace launcher
