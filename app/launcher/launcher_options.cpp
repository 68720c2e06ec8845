#include "app/launcher/launcher_options.h"

#include <map>

#include "common/option_table.h"
#include "common/restore_modes.h"

namespace launcher {

namespace {

constexpr const char* kActionOptions = "--unattended, --check or --list";

struct Line {
  Options options;
  std::string actionOption;  // the option that chose the action
  bool modeGiven = false;

  [[noreturn]] static void fail(const std::string& message) { throw UsageError(message); }

  void choose(const std::string& option, Action action) {
    if (!actionOption.empty() && actionOption != option)
      fail("options " + actionOption + " and " + option + " exclude each other");
    actionOption = option;
    options.action = action;
  }
};

setupkit::CommandTable table(Line& l, const std::string& program) {
  using setupkit::OptionRow;
  setupkit::CommandTable t{
      "",
      "Usage: " + program +
          "                      the setup wizard (needs a display)\n"
          "       " +
          program +
          " --unattended [--dest DIR] [--media DIR]... [--mode MODE] [--json]\n"
          "       " +
          program +
          " --check [--media DIR]...\n"
          "       " +
          program +
          " --list [--dest DIR] [--media DIR]...\n"
          "Installs the software of this medium. With options it needs no display and asks nothing.\n",
      {},
      "Further volumes are looked for beside the first, in the folder of their disk beside\n"
      "disk1/, and in each --media folder. A volume that is not there ends the installation.\n"
      "A signed medium is checked before anything is unpacked or written; who signed it is\n"
      "shown by --check and the installation.\n"
      "Exit status: 0 installed (or sound), 1 a file could not be written, 2 the medium is\n"
      "damaged or was changed after signing, 3 the archive is missing, 4 cancelled or a\n"
      "volume missing, 5 refused (a publisher this system does not trust, another publisher's\n"
      "installation, an older version over a newer one), 64 wrong command line.\n"};
  auto& o = l.options;
  t.rows.push_back({"--unattended", "",
                    "install without a display and without asking; without --dest\n"
                    "into the installation of this product the system (or user)\n"
                    "knows, else where SETUP.INS proposes",
                    [&l](const std::string&) { l.choose("--unattended", Action::Install); }});
  t.rows.push_back({"--dest", "DIR",
                    "the destination: a host path (/opt/app) or the Windows form\nthe wizard shows (C:\\APP)",
                    [&o](const std::string& v) { o.dest = v; }});
  t.rows.push_back({"--media", "DIR", "a folder holding further volumes (repeatable)",
                    [&o](const std::string& v) { o.media.push_back(v); }});
  t.rows.push_back({"--mode", "MODE",
                    "all (default), no-overwrite, newer, existing or existing-newer:\nwhich files are written over",
                    [&l](const std::string& v) {
                      const auto mode = setupkit::restoreModeNamed(v);
                      if (!mode) l.fail(setupkit::unknownRestoreMode(v));
                      l.options.mode = *mode;
                      l.modeGiven = true;
                    }});
  t.rows.push_back({"--json", "", "progress as one JSON object per line on standard output",
                    [&o](const std::string&) { o.json = true; }});
  t.rows.push_back({"--quiet", "", "no progress line on a terminal", [&o](const std::string&) { o.quiet = true; }});
  t.rows.push_back({"--accept-new-publisher", "",
                    "install even where an earlier installation came from a medium\n"
                    "signed by another key (or this medium is unsigned)",
                    [&o](const std::string&) { o.acceptNewPublisher = true; }});
  t.rows.push_back({"--allow-downgrade", "", "install even where the same product is installed in a newer\nversion",
                    [&o](const std::string&) { o.allowDowngrade = true; }});
  t.rows.push_back({"--check", "", "check the medium's integrity without installing",
                    [&l](const std::string&) { l.choose("--check", Action::Check); }});
  t.rows.push_back({"--list", "", "show the files that would be installed",
                    [&l](const std::string&) { l.choose("--list", Action::List); }});
  t.rows.push_back(
      {"--help", "", "show this text", [&l](const std::string&) { l.options.action = Action::Help; }, "", true});
  t.rows.push_back({"--version", "", "show the version",
                    [&l](const std::string&) { l.options.action = Action::Version; }, "", true});
  return t;
}

}  // namespace

Options parseOptions(const std::vector<std::string>& args) {
  Line l;
  if (args.empty()) return l.options;
  const auto operands = setupkit::parseOptions(table(l, "setup"), args, [](const std::string& m) { Line::fail(m); });
  Options& o = l.options;
  if (o.action == Action::Help || o.action == Action::Version) return o;
  if (!operands.empty()) l.fail("unexpected argument \"" + operands.front() + "\"");
  if (o.action == Action::Wizard) l.fail("give " + std::string(kActionOptions) + " (the wizard takes no options)");
  if (o.action == Action::Check && !o.dest.empty()) l.fail("--check takes no --dest");
  if (o.action != Action::Install && o.acceptNewPublisher) l.fail("--accept-new-publisher goes with --unattended");
  if (o.action != Action::Install && o.allowDowngrade) l.fail("--allow-downgrade goes with --unattended");
  if (o.action != Action::Install && (l.modeGiven || o.json))
    l.fail(std::string(l.modeGiven ? "--mode" : "--json") + " goes with --unattended");
  return o;
}

std::string helpText(const std::string& program) {
  Line l;
  return setupkit::helpText(table(l, program));
}

}  // namespace launcher
