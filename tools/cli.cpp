#include "tools/cli.h"

#include <cctype>
#include <filesystem>
#include <map>
#include <optional>

#include "common/host_paths.h"
#include "common/option_table.h"
#include "common/restore_modes.h"

namespace setupkit {

namespace {

const char kNoCommand[] = "no command given";

struct CommandName {
  const char* name;
  Command command;
  const char* summary;  // its line in the tool's help
};

const CommandName kCommands[] = {
    {"pack", Command::Pack, "write an archive from files and directories"},
    {"medium", Command::Medium, "make a distribution medium (archive, SETUP.INS, setup program)"},
    {"list", Command::List, "show what an archive holds"},
    {"verify", Command::Verify, "check an archive"},
    {"restore", Command::Restore, "recover an archive's files"},
    {"uninstall", Command::Uninstall, "remove an installation by its install record"},
    {"installed", Command::Installed, "list the installations this system and this user know"},
    {"key", Command::Key, "make a key pair for signing media (key new)"},
};

// One command line being read: where its options go, and what is checked
// only once the whole line is read.
class Line {
 public:
  explicit Line(Command command) { result.command = command; }

  CommandLine result;
  std::optional<std::string> output, title, app, dest;
  std::string layoutOption;  // the restore option that chose the layout

  [[noreturn]] void fail(const std::string& message) const { throw UsageError(result.command, message); }

  Level level(const std::string& text) const {
    if (text == "fastest") return Level::Fastest;
    if (text == "none") return Level::None;
    if (text == "default") return Level::Default;
    if (text == "max") return Level::Max;
    if (!text.empty() && text.size() <= 2 && text.find_first_not_of("0123456789") == std::string::npos &&
        std::stoi(text) <= kHighestLevel)
      return Level(std::stoi(text));
    // A slip of a key, or the start of a name ("fast").
    const std::vector<std::string> names = {"fastest", "none", "default", "max"};
    std::string hint = didYouMean(text, names);
    for (const auto& name : names)
      if (hint.empty() && text.size() >= 2 && name.compare(0, text.size(), text) == 0)
        hint = "; did you mean " + name + "?";
    fail("unknown level \"" + text + "\" (0 to 12, fastest, none, default or max)" + hint);
  }

  // A count of bytes, optionally with the binary suffix K, M or G.
  int64_t bytes(const std::string& option, const std::string& text) const {
    size_t digits = 0;
    while (digits < text.size() && std::isdigit((unsigned char)text[digits])) ++digits;
    std::string suffix = text.substr(digits);
    int64_t scale = suffix.empty()                   ? 1
                    : suffix == "K" || suffix == "k" ? 1024
                    : suffix == "M" || suffix == "m" ? int64_t(1024) * 1024
                    : suffix == "G" || suffix == "g" ? int64_t(1024) * 1024 * 1024
                                                     : 0;
    if (digits == 0 || digits > 15 || scale == 0)
      fail("option " + option + " needs a number of bytes, not \"" + text + "\"");
    int64_t n = std::stoll(text.substr(0, digits)) * scale;
    if (n <= 0) fail("option " + option + " needs a positive number of bytes");
    return n;
  }

  unsigned threads(const std::string& text) const {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(text) < 1)
      fail("option --threads needs a number from 1 to 999, not \"" + text + "\"");
    return unsigned(std::stoi(text));
  }

  TRestoreMode mode(const std::string& text) const {
    const auto mode = restoreModeNamed(text);
    if (!mode) fail(unknownRestoreMode(text));
    return *mode;
  }

  void chooseLayout(const std::string& option, RestoreLayout layout) {
    if (!layoutOption.empty() && layoutOption != option)
      fail("options " + layoutOption + " and " + option + " exclude each other");
    layoutOption = option;
    result.restore.layout = layout;
  }
};

using Apply = std::function<void(const std::string&)>;

// --help and --version, which every command takes; -h is --help unlisted.
void addCommonRows(std::vector<OptionRow>& rows, CommandLine& line) {
  Apply help = [&line](const std::string&) { line.help = true; };
  rows.push_back({.names = "--help", .help = "show this text", .apply = help, .ends = true});
  rows.push_back({.names = "--version",
                  .help = "show the version",
                  .apply = [&line](const std::string&) { line.version = true; },
                  .ends = true});
  rows.push_back({.names = "-h", .apply = help, .ends = true});
}

// The options pack and medium share; medium lists them on one line.
void addPackRows(std::vector<OptionRow>& rows, Line& l, PackOptions& pack, const std::string& sharedWith) {
  rows.push_back({"--level", "LEVEL",
                  "0 (stored) to 12, or none (0), fastest (1), default (6),\nmax (12); without it 11",
                  [&l, &pack](const std::string& v) { pack.level = l.level(v); }, sharedWith});
  rows.push_back({"--volume-size", "BYTES", "largest volume (suffix K, M or G allowed); default: one volume",
                  [&l, &pack](const std::string& v) { pack.volumeSize = l.bytes("--volume-size", v); }, sharedWith});
  rows.push_back({"--header-text", "TEXT", "text stored in the archive header",
                  [&pack](const std::string& v) { pack.headerText = v; }, sharedWith});
  rows.push_back({"--no-file-list", "", "leave out the manifest of the files",
                  [&pack](const std::string&) { pack.fileList = false; }, sharedWith});
  rows.push_back({"--threads", "N", "compression threads (default: every core)",
                  [&l, &pack](const std::string& v) { pack.threads = l.threads(v); }, sharedWith});
  rows.push_back({"--copy-outside-links", "",
                  "store a link that is absolute or leaves its tree as a copy\n"
                  "of the file it points to (default: refused)",
                  [&pack](const std::string&) { pack.links.copyOutsideLinks = true; }, sharedWith});
  rows.push_back({"--group-write", "", "keep group and other write permission of the files",
                  [&pack](const std::string&) { pack.groupWrite = true; }, sharedWith});
}

CommandTable packTable(Line& l) {
  CommandTable t{"pack",
                 "Usage: setupkit pack [options] -o ARCHIVE SOURCE...\n"
                 "Packs files and directory trees into ARCHIVE and its continuation volumes.\n"
                 "Each file is stored as C:\\ followed by its path relative to its SOURCE: several\n"
                 "directories are merged (pack -o A.BIN a b stores a/x and b/y as C:\\x and C:\\y);\n"
                 "a name one source holds as a file and another as a folder or link is refused.\n",
                 {},
                 ""};
  t.rows.push_back(
      {"-o,--output", "ARCHIVE", "the first volume to write", [&l](const std::string& v) { l.output = v; }});
  t.rows.push_back({"--attributes", "FILE",
                    "also write the attributes file: modes, sizes and SHA-256\n"
                    "of the files, links and empty folders",
                    [&l](const std::string& v) { l.result.pack.attributes = hostPathOfArgument(v); }});
  addPackRows(t.rows, l, l.result.pack, "");
  return t;
}

CommandTable mediumTable(Line& l) {
  MediumOptions& m = l.result.medium;
  CommandTable t{"medium",
                 "Usage: setupkit medium [options] (-o DIR | --single-file OUT) --title T --app A --dest D SOURCE...\n"
                 "Makes a distribution medium in DIR: the setup launcher, the setup program with its\n"
                 "runtime packed in runtime.pak, SETUP.INS, and SETUP.BIN with its volumes SETUP.002, ...\n"
                 "The sources are merged at the root of the destination, as for pack. The medium\n"
                 "is built beside DIR and moved in when whole: a failure leaves DIR as it was.\n"
                 "The packed runtime is kept in ~/.cache/setupkit/runtime for the next medium.\n",
                 {},
                 ""};
  t.rows.push_back({"-o,--output", "DIR", "the medium's directory (created when missing)",
                    [&l](const std::string& v) { l.output = v; }});
  t.rows.push_back({"--single-file", "OUT",
                    "one executable file instead: the launcher with SETUP.INS,\n"
                    "the packed runtime and the archive (one volume) appended",
                    [&m](const std::string& v) { m.singleFile = v; }});
  t.rows.push_back({"--title", "TEXT", "product title", [&l](const std::string& v) { l.title = v; }});
  t.rows.push_back({"--app", "TEXT", "application name", [&l](const std::string& v) { l.app = v; }});
  t.rows.push_back({"--dest", "DIR", "destination proposed to root", [&l](const std::string& v) { l.dest = v; }});
  t.rows.push_back({"--app-version", "VERSION",
                    "the version the medium installs (Version= of SETUP.INS): the\n"
                    "installation records it and compares it with the one installed",
                    [&m](const std::string& v) { m.appVersion = v; }});
  t.rows.push_back({"--publisher", "TEXT", "who publishes the application (Publisher= of SETUP.INS)",
                    [&m](const std::string& v) { m.publisher = v; }});
  t.rows.push_back({"--user-dest", "DIR",
                    "destination proposed to other users, ~ for their home\n"
                    "(default: ~/ and the last name of --dest)",
                    [&m](const std::string& v) { m.userDest = v; }});
  t.rows.push_back({"--flat", "",
                    "install every file straight into the destination; refused\n"
                    "when two files would land on one name (default: the folders\n"
                    "are kept when the payload has any)",
                    [&m](const std::string&) { m.flat = true; }});
  t.rows.push_back({"--program", "PATH", "the setup program to copy (default: the installed or built one)",
                    [&m](const std::string& v) { m.program = v; }});
  t.rows.push_back({"--runtime", "MODE",
                    "bundled: the libraries, Qt plugins and fonts it needs are\n"
                    "packed with it (default); system: the program alone",
                    [&l, &m](const std::string& v) {
                      if (v == "bundled")
                        m.runtime = MediumOptions::Runtime::Bundled;
                      else if (v == "system")
                        m.runtime = MediumOptions::Runtime::System;
                      else
                        l.fail("unknown runtime \"" + v + "\" (bundled or system)");
                    }});
  t.rows.push_back({"--disks", "",
                    "one folder per disk, disk1/ (launcher, runtime.pak, SETUP.INS,\n"
                    "SETUP.BIN), disk2/ (SETUP.002), ...; --volume-size is then\n"
                    "a disk's capacity, counting every file on it",
                    [&m](const std::string&) { m.disks = true; }});
  t.rows.push_back(
      {"--image", "iso", "with --disks: also DIR/diskN.iso, an ISO 9660 image of each", [&l, &m](const std::string& v) {
         if (v != "iso") l.fail("unknown image format \"" + v + "\" (iso)");
         m.isoImages = true;
       }});
  t.rows.push_back({"--menu-name", "TEXT", "a menu entry: its name ([Menu] of SETUP.INS)",
                    [&m](const std::string& v) { m.menu.name = v; }});
  t.rows.push_back({"--menu-exec", "PATH", "the entry's program, a path below the destination",
                    [&m](const std::string& v) { m.menu.exec = v; }});
  t.rows.push_back({"--menu-icon", "PATH", "the entry's icon, an image below the destination",
                    [&m](const std::string& v) { m.menu.icon = v; }});
  t.rows.push_back(
      {"--menu-comment", "TEXT", "the entry's tooltip", [&m](const std::string& v) { m.menu.comment = v; }});
  t.rows.push_back({"--menu-categories", "LIST", "the entry's menu categories (\"Office;Utility\")",
                    [&m](const std::string& v) { m.menu.categories = v; }});
  t.rows.push_back({"--menu-terminal", "", "the entry's program runs in a terminal",
                    [&m](const std::string&) { m.menu.terminal = true; }});
  t.rows.push_back({"--menu-mime", "TYPE=GLOB",
                    "a file type the entry's program opens, declared to the desktop\n"
                    "(\"application/x-demo-sheet=*.dsh\"; repeatable)",
                    [&l, &m](const std::string& v) {
                      menu_entry::FileType type;
                      std::string problem;
                      if (!menu_entry::parseFileType(v, type, problem)) l.fail(problem);
                      m.menu.fileTypes.push_back(type);
                    }});
  t.rows.push_back({"--sign", "SECRET-KEY",
                    "sign the medium: SETUP.SUM and SETUP.SUM.minisig in a folder,\n"
                    "a signature part and OUT.minisig for one file",
                    [&m](const std::string& v) { m.secretKey = hostPathOfArgument(v); }});
  t.rows.push_back({"--password-file", "FILE",
                    "with --sign: the key's password is FILE's first line\n(default: asked on the terminal)",
                    [&m](const std::string& v) { m.passwordFile = hostPathOfArgument(v); }});
  t.rows.push_back({"--sign-comment", "TEXT",
                    "with --sign: the trusted comment shown to whoever installs\n(default: the title and the day)",
                    [&m](const std::string& v) { m.signing.comment = v; }});
  addPackRows(t.rows, l, m.pack, "as for pack");
  return t;
}

CommandTable keyTable(Line& l) {
  KeyOptions& k = l.result.key;
  CommandTable t{"key",
                 "Usage: setupkit key new --public FILE --secret FILE [--password-file FILE | --no-password]\n"
                 "Makes an Ed25519 key pair for signing media, in minisign's formats.\n"
                 "The secret key is encrypted with a password asked twice on the terminal.\n",
                 {},
                 ""};
  t.rows.push_back(
      {"--public", "FILE", "the public key file to write", [&k](const std::string& v) { k.publicFile = v; }});
  t.rows.push_back({"--secret", "FILE", "the secret key file to write (mode 0600)",
                    [&k](const std::string& v) { k.secretFile = v; }});
  t.rows.push_back({"--password-file", "FILE", "the password is FILE's first line",
                    [&k](const std::string& v) { k.passwordFile = v; }});
  t.rows.push_back({"--no-password", "",
                    "leave the secret key unencrypted (for a build machine that\nkeeps it in its own secret store)",
                    [&k](const std::string&) { k.noPassword = true; }});
  return t;
}

// --media DIR, which list, verify and restore take.
void addMediaRow(std::vector<OptionRow>& rows, std::vector<std::string>& media) {
  rows.push_back(
      {"--media", "DIR",
       "a folder holding further volumes (repeatable); their disk's\nfolder beside disk1/ is looked in without it",
       [&media](const std::string& v) { media.push_back(v); }});
}

CommandTable listTable(Line& l) {
  CommandTable t{"list",
                 "Usage: setupkit list [--json] [--media DIR]... ARCHIVE\n"
                 "Prints the header and every entry: kind, date, file size, stored size, chunks, name.\n"
                 "For a medium's archive also its title, application, destinations, Paths and Disks.\n",
                 {},
                 ""};
  t.rows.push_back({"--json", "",
                    "one JSON object per entry instead: kind, name, date (ISO 8601,\n"
                    "local time), size, stored, chunks, volume, mode; links and\n"
                    "empty folders of the medium's attributes too, after a first\n"
                    "object of kind medium with the medium's settings",
                    [&l](const std::string&) { l.result.json = true; }});
  addMediaRow(t.rows, l.result.media);
  return t;
}

CommandTable verifyTable(Line& l) {
  CommandTable t{"verify",
                 "Usage: setupkit verify [--media DIR]... ARCHIVE\n"
                 "       setupkit verify --key PUBLIC-KEY MEDIUM\n"
                 "       setupkit verify [--json] DEST\n"
                 "Decodes every entry and checks the zlib streams, TotalSize, the manifest and the\n"
                 "names (each one a restore would refuse is named).\n"
                 "Exit status 0 only for a sound archive; 2 for a damaged one (a name holding a NUL\n"
                 "byte included), 5 when it is sound but holds names a restore refuses (climbing out\n"
                 "with .., starting at a root, too long for this system), 3 when it cannot be read.\n",
                 {},
                 "With --key, checks that the medium (a folder or a one-file installer) is signed by\n"
                 "that key and unchanged since: 0 when it is, 2 when a file or part was changed\n"
                 "(it is named), 5 when it is unsigned or signed by another key.\n"
                 "Given an installed folder DEST (one that is no medium), compares it with its install\n"
                 "record: every missing or changed file (size, SHA-256, mode), link and folder is\n"
                 "named; 0 when it is as installed, 2 when anything differs, 3 when nothing is\n"
                 "installed there.\n"};
  addMediaRow(t.rows, l.result.media);
  t.rows.push_back({"--json", "", "with DEST: one JSON object per difference, then one\nwith the outcome",
                    [&l](const std::string&) { l.result.json = true; }});
  t.rows.push_back({"--key", "PUBLIC-KEY", "check the publisher's signature with this public key",
                    [&l](const std::string& v) { l.result.verifyKey = hostPathOfArgument(v); }});
  return t;
}

CommandTable restoreTable(Line& l) {
  RestoreOptions& r = l.result.restore;
  CommandTable t{"restore",
                 "Usage: setupkit restore [options] ARCHIVE [DEST]\n"
                 "Restores every file of ARCHIVE below DEST (default: the current directory),\n"
                 "keeping the directories stored in the archive. Quiet unless something fails.\n",
                 {},
                 "A restore that would write several entries to one file is refused unless --mode\n"
                 "is given. Unless --mode is given, the archive's records are read through every\n"
                 "volume before anything is written: damage in them, or a missing volume (it is\n"
                 "named), ends the restore with nothing written. Damage in a file's compressed data\n"
                 "shows only while that file is written; the files before it stay.\n"
                 "Exit status: 0 success, 1 a file could not be written, 2 archive damaged or no archive,\n"
                 "3 archive missing or not readable, 4 cancelled, 5 refused before writing anything.\n"};
  t.rows.push_back({"--flat", "",
                    "every file directly into DEST; refused when two entries\n"
                    "would land on the same name, unless --mode is given",
                    [&l](const std::string&) { l.chooseLayout("--flat", RestoreLayout::Flat); }});
  t.rows.push_back({"--stored-paths", "", "every file to the path stored in the archive (no DEST)",
                    [&l](const std::string&) { l.chooseLayout("--stored-paths", RestoreLayout::StoredPaths); }});
  t.rows.push_back({"--full-path", "", "keep the stored directories below DEST (the default)",
                    [&l](const std::string&) { l.chooseLayout("--full-path", RestoreLayout::Tree); }});
  t.rows.push_back(
      {"--mode", "MODE", std::string(kRestoreModeNames) + " (default all)", [&l, &r](const std::string& v) {
         r.mode = l.mode(v);
         r.modeGiven = true;
       }});
  t.rows.push_back({"-v,--verbose", "", "name each restored file", [&r](const std::string&) { r.verbose = true; }});
  addMediaRow(t.rows, r.media);
  t.rows.push_back({"--record", "",
                    "keep an install record in DEST, as an installation does\n"
                    "(with the menu entry of a SETUP.INS beside ARCHIVE)",
                    [&r](const std::string&) { r.record = true; }});
  t.rows.push_back({"--accept-new-publisher", "",
                    "with --record: install even where an earlier installation came\n"
                    "from a medium signed by another key (or this medium is unsigned)",
                    [&r](const std::string&) { r.acceptNewPublisher = true; }});
  t.rows.push_back({"--allow-downgrade", "",
                    "with --record: install an older version over a newer one\n"
                    "of the same product (refused otherwise)",
                    [&r](const std::string&) { r.allowDowngrade = true; }});
  return t;
}

CommandTable uninstallTable(Line& l) {
  UninstallOptions& u = l.result.uninstall;
  CommandTable t{"uninstall",
                 "Usage: setupkit uninstall [options] DEST\n"
                 "Removes the installation in DEST by its install record: every file it wrote that is\n"
                 "unchanged since, the folders it made once empty, its menu entries, the record and\n"
                 "DEST/uninstall. Asks first on a terminal.\n",
                 {},
                 "Exit status: 0 done, 1 not everything could be removed, 2 damaged record,\n"
                 "3 nothing installed in DEST, 4 cancelled, 5 refused (a record naming anything outside\n"
                 "DEST, or no terminal to ask without --unattended).\n"};
  t.rows.push_back({"--unattended", "", "remove without asking", [&u](const std::string&) { u.unattended = true; }});
  t.rows.push_back({"--json", "", "one JSON object per line: each removed or kept item, then\nthe outcome",
                    [&u](const std::string&) { u.json = true; }});
  return t;
}

CommandTable installedTable(Line& l) {
  InstalledOptions& o = l.result.installed;
  CommandTable t{"installed",
                 "Usage: setupkit installed [--json] [--prune]\n"
                 "Lists the installations this system (root's install records) and this user (the\n"
                 "user's own) know: scope, application, version, destination, the publisher's key id,\n"
                 "state (complete, incomplete, gone when the folder is no longer there, damaged) and\n"
                 "when it was installed.\n",
                 {},
                 ""};
  t.rows.push_back({"--json", "",
                    "one JSON object per installation: scope, state, application,\n"
                    "version, title, publisher, destination, publisher_key_id,\n"
                    "complete, installed, record",
                    [&o](const std::string&) { o.json = true; }});
  t.rows.push_back({"--prune", "",
                    "remove the records whose folder is gone, of this process's\n"
                    "own store only (root's by root, a user's by that user)",
                    [&o](const std::string&) { o.prune = true; }});
  return t;
}

// The whole tool: its commands, --help and --version.
CommandTable toolTable(Line&) {
  std::string heading = "Usage: setupkit COMMAND [options] ...\nCommands:\n";
  for (const auto& c : kCommands)
    heading += "  " + std::string(c.name).append(11 - std::string(c.name).size(), ' ') + c.summary + "\n";
  return {"", heading, {}, "Run setupkit COMMAND --help for the options of a command.\n"};
}

CommandTable tableOf(Line& l) {
  CommandTable t;
  switch (l.result.command) {
    case Command::Pack: t = packTable(l); break;
    case Command::Medium: t = mediumTable(l); break;
    case Command::List: t = listTable(l); break;
    case Command::Verify: t = verifyTable(l); break;
    case Command::Restore: t = restoreTable(l); break;
    case Command::Uninstall: t = uninstallTable(l); break;
    case Command::Installed: t = installedTable(l); break;
    case Command::Key: t = keyTable(l); break;
    case Command::None: t = toolTable(l); break;
  }
  addCommonRows(t.rows, l.result);
  return t;
}

// The checks and conversions that need the whole line.
void finish(Line& l, const std::vector<std::string>& operands) {
  CommandLine& line = l.result;
  switch (line.command) {
    case Command::Pack:
      if (!l.output) l.fail("the archive is missing (-o ARCHIVE)");
      if (operands.empty()) l.fail("no SOURCE given");
      line.pack.archive = hostPathOfArgument(*l.output);
      for (const auto& s : operands) line.pack.sources.push_back(hostPathOfArgument(s));
      break;
    case Command::Medium:
      if (l.output.has_value() == !line.medium.singleFile.empty())
        l.fail(l.output ? "give -o DIR or --single-file OUT, not both" : "the directory is missing (-o DIR)");
      if (!l.title || !l.app || !l.dest) l.fail("--title, --app and --dest are required");
      if (operands.empty()) l.fail("no SOURCE given");
      if (line.medium.isoImages && !line.medium.disks) l.fail("--image needs --disks");
      if (line.medium.disks && !line.medium.singleFile.empty())
        l.fail("--disks makes a folder medium (-o DIR), not --single-file");
      if (l.output) line.medium.directory = hostPathOfArgument(*l.output);
      if (!line.medium.singleFile.empty()) line.medium.singleFile = hostPathOfArgument(line.medium.singleFile);
      line.medium.title = *l.title;
      line.medium.app = *l.app;
      line.medium.destDir = *l.dest;
      if (line.medium.secretKey.empty() && (!line.medium.passwordFile.empty() || !line.medium.signing.comment.empty()))
        l.fail("--password-file and --sign-comment go with --sign");
      for (const auto& s : operands) line.medium.pack.sources.push_back(hostPathOfArgument(s));
      break;
    case Command::Key:
      if (operands.size() != 1 || operands[0] != "new") l.fail("the only key command is: key new");
      if (line.key.publicFile.empty() || line.key.secretFile.empty()) l.fail("--public and --secret are required");
      if (line.key.noPassword && !line.key.passwordFile.empty())
        l.fail("give --password-file or --no-password, not both");
      line.key.publicFile = hostPathOfArgument(line.key.publicFile);
      line.key.secretFile = hostPathOfArgument(line.key.secretFile);
      if (!line.key.passwordFile.empty()) line.key.passwordFile = hostPathOfArgument(line.key.passwordFile);
      break;
    case Command::Verify:
      if (!line.verifyKey.empty()) {
        if (operands.size() != 1) l.fail("give exactly one MEDIUM");
        line.signedMedium = hostPathOfArgument(operands[0]);
        break;
      }
      if (operands.size() == 1) {
        // A folder that holds no medium is an installation to compare with
        // its record.
        const std::string host = hostPathOfArgument(operands[0]);
        std::error_code ec;
        if (std::filesystem::is_directory(host, ec) && archiveInFolder(host) == host) {
          if (!line.media.empty()) l.fail("--media goes with an ARCHIVE, not an installed folder");
          line.installation.dest = host;
          line.installation.json = line.json;
          break;
        }
      }
      if (line.json) l.fail("--json goes with an installed folder DEST");
      [[fallthrough]];
    case Command::List:
      if (operands.size() != 1) l.fail("give exactly one ARCHIVE");
      line.archive = archiveInFolder(hostPathOfArgument(operands[0]));
      break;
    case Command::Restore:
      if (operands.empty() || operands.size() > 2) l.fail("give ARCHIVE and optionally DEST");
      if (line.restore.acceptNewPublisher && !line.restore.record) l.fail("--accept-new-publisher goes with --record");
      if (line.restore.allowDowngrade && !line.restore.record) l.fail("--allow-downgrade goes with --record");
      // Paths the restore takes in Windows form: a backslash in a host name
      // would name another file or folder.
      for (const std::string& path : operands)
        if (std::string problem = hostPathProblem(path); !problem.empty()) l.fail(problem);
      for (const std::string& folder : line.restore.media)
        if (std::string problem = hostPathProblem(folder); !problem.empty()) l.fail(problem);
      line.restore.archive = isWindowsFormPath(operands[0]) ? operands[0] : archiveInFolder(operands[0]);
      if (operands.size() == 2) {
        if (line.restore.layout == RestoreLayout::StoredPaths) l.fail("--stored-paths takes no DEST");
        // "." and an empty DEST both mean the current directory.
        line.restore.dest = operands[1].empty() ? "." : operands[1];
      }
      break;
    case Command::Uninstall:
      if (operands.size() != 1) l.fail("give exactly one DEST");
      line.uninstall.dest = hostPathOfArgument(operands[0]);
      break;
    case Command::Installed:
      if (!operands.empty()) l.fail("unexpected argument \"" + operands.front() + "\"");
      break;
    case Command::None: break;
  }
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError(Command::None, kNoCommand);
  Line l(Command::None);
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    l.result.help = true;
    return l.result;
  }
  if (args[0] == "--version") {
    l.result.version = true;
    return l.result;
  }
  std::vector<std::string> known = {"--help", "--version"};
  for (const auto& c : kCommands) {
    known.push_back(c.name);
    if (args[0] == c.name) l.result.command = c.command;
  }
  if (l.result.command == Command::None)
    throw UsageError(Command::None, "unknown command \"" + args[0] + "\"" + didYouMean(args[0], known));

  // A medium carries the setup program's runtime unless told otherwise.
  l.result.medium.runtime = MediumOptions::Runtime::Bundled;
  const CommandTable table = tableOf(l);
  auto operands = parseOptions(table, std::vector<std::string>(args.begin() + 1, args.end()),
                               [&l](const std::string& message) { l.fail(message); });
  if (!l.result.help && !l.result.version) finish(l, operands);
  return l.result;
}

std::string usageText(Command command) {
  Line l(command);
  return helpText(tableOf(l));
}

std::string usageErrorText(const UsageError& error) {
  std::string text = "setupkit: " + std::string(error.what()) + "\n";
  const std::string usage = usageText(error.command);
  // Without a command the user needs the list of commands; otherwise the
  // usage line and where the rest is.
  if (error.command == Command::None && std::string(error.what()) == kNoCommand) return text + usage;
  text += usage.substr(0, usage.find('\n') + 1);
  for (const auto& c : kCommands)
    if (c.command == error.command) return text + "Run setupkit " + c.name + " --help for its options.\n";
  return text + "Run setupkit --help for the commands.\n";
}

std::string versionText() { return std::string("setupkit ") + SETUPKIT_VERSION + "\n"; }

}  // namespace setupkit
