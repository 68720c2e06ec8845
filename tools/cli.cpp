#include "tools/cli.h"

#include <cctype>
#include <map>
#include <optional>

#include "tools/host_paths.h"

namespace setupkit {

namespace {

const std::map<std::string, Command> kCommands = {{"pack", Command::Pack},     {"medium", Command::Medium},
                                                  {"list", Command::List},     {"verify", Command::Verify},
                                                  {"restore", Command::Restore}};

// Walks the arguments of one command: options (with their values) and
// operands in any order; "--" ends the options.
class Arguments {
 public:
  Arguments(Command command, const std::vector<std::string>& args, size_t start)
      : command_(command), args_(args), at_(start) {}

  // The next option name ("--level"), or empty when the next is an operand
  // (collected) or the arguments are used up.
  std::optional<std::string> nextOption() {
    while (at_ < args_.size()) {
      const std::string& a = args_[at_++];
      if (!optionsEnded_ && a == "--") {
        optionsEnded_ = true;
      } else if (!optionsEnded_ && a.size() > 1 && a[0] == '-') {
        auto eq = a.find('=');
        if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
          inlineValue_ = a.substr(eq + 1);
          return a.substr(0, eq);
        }
        inlineValue_.reset();
        return a;
      } else {
        operands_.push_back(a);
      }
    }
    return std::nullopt;
  }

  std::string value(const std::string& option) {
    if (inlineValue_) {
      std::string v = *inlineValue_;
      inlineValue_.reset();
      return v;
    }
    if (at_ >= args_.size()) fail("option " + option + " needs a value");
    return args_[at_++];
  }

  void noValue(const std::string& option) {
    if (inlineValue_) fail("option " + option + " takes no value");
  }

  const std::vector<std::string>& operands() const { return operands_; }
  [[noreturn]] void fail(const std::string& message) const { throw UsageError(command_, message); }

 private:
  Command command_;
  const std::vector<std::string>& args_;
  size_t at_;
  bool optionsEnded_ = false;
  std::optional<std::string> inlineValue_;
  std::vector<std::string> operands_;
};

Level parseLevel(Arguments& a, const std::string& text) {
  if (text == "fastest") return Level::Fastest;
  if (text == "none") return Level::None;
  if (text == "default") return Level::Default;
  if (text == "max") return Level::Max;
  if (!text.empty() && text.size() <= 2 && text.find_first_not_of("0123456789") == std::string::npos &&
      std::stoi(text) <= kHighestLevel)
    return Level(std::stoi(text));
  a.fail("unknown level \"" + text + "\" (0 to 12, fastest, none, default or max)");
}

// A count of bytes, optionally with the binary suffix K, M or G.
int64_t parseBytes(Arguments& a, const std::string& option, const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && std::isdigit((unsigned char)text[digits])) ++digits;
  std::string suffix = text.substr(digits);
  int64_t scale = suffix.empty() ? 1
                  : suffix == "K" || suffix == "k" ? 1024
                  : suffix == "M" || suffix == "m" ? 1024 * 1024
                  : suffix == "G" || suffix == "g" ? int64_t(1024) * 1024 * 1024
                                                   : 0;
  if (digits == 0 || digits > 15 || scale == 0) a.fail("option " + option + " needs a number of bytes, not \"" + text + "\"");
  int64_t n = std::stoll(text.substr(0, digits)) * scale;
  if (n <= 0) a.fail("option " + option + " needs a positive number of bytes");
  return n;
}

unsigned parseThreads(Arguments& a, const std::string& text) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(text) < 1)
    a.fail("option --threads needs a number from 1 to 999, not \"" + text + "\"");
  return unsigned(std::stoi(text));
}

TRestoreMode parseMode(Arguments& a, const std::string& text) {
  static const std::map<std::string, TRestoreMode> kModes = {{"all", rmAll},
                                                             {"no-overwrite", rmNoOverwrite},
                                                             {"newer", rmNewer},
                                                             {"existing", rmExisting},
                                                             {"existing-newer", rmExistingNewer}};
  auto it = kModes.find(text);
  if (it == kModes.end()) a.fail("unknown mode \"" + text + "\" (all, no-overwrite, newer, existing, existing-newer)");
  return it->second;
}

// The options pack and medium share. True when `option` was one of them.
bool packOption(Arguments& a, const std::string& option, PackOptions& pack) {
  if (option == "--level") {
    pack.level = parseLevel(a, a.value(option));
  } else if (option == "--volume-size") {
    pack.volumeSize = parseBytes(a, option, a.value(option));
  } else if (option == "--header-text") {
    pack.headerText = a.value(option);
  } else if (option == "--no-file-list") {
    a.noValue(option);
    pack.fileList = false;
  } else if (option == "--threads") {
    pack.threads = parseThreads(a, a.value(option));
  } else {
    return false;
  }
  return true;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  if (args.empty()) throw UsageError(Command::None, "no command given");
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    line.help = true;
    return line;
  }
  if (args[0] == "--version") {
    line.version = true;
    return line;
  }
  auto found = kCommands.find(args[0]);
  if (found == kCommands.end()) throw UsageError(Command::None, "unknown command \"" + args[0] + "\"");
  line.command = found->second;
  Arguments a(line.command, args, 1);
  // A medium carries the setup program's runtime unless told otherwise.
  line.medium.runtime = MediumOptions::Runtime::Bundled;

  std::optional<std::string> output, title, app, dest;
  bool sawOutput = false;
  std::string layoutOption;  // the restore option that chose the layout
  auto chooseLayout = [&](const std::string& o, RestoreLayout layout) {
    a.noValue(o);
    if (!layoutOption.empty() && layoutOption != o) a.fail("options " + layoutOption + " and " + o + " exclude each other");
    layoutOption = o;
    line.restore.layout = layout;
  };
  while (auto option = a.nextOption()) {
    const std::string& o = *option;
    if (o == "--help" || o == "-h") {
      a.noValue(o);
      line.help = true;
      return line;
    }
    if (o == "--version") {
      a.noValue(o);
      line.version = true;
      return line;
    }
    switch (line.command) {
      case Command::Pack:
        if (o == "-o" || o == "--output") {
          output = a.value(o);
          sawOutput = true;
        } else if (!packOption(a, o, line.pack)) {
          a.fail("unknown option " + o);
        }
        break;
      case Command::Medium:
        if (o == "-o" || o == "--output") {
          output = a.value(o);
          sawOutput = true;
        } else if (o == "--title") {
          title = a.value(o);
        } else if (o == "--app") {
          app = a.value(o);
        } else if (o == "--dest") {
          dest = a.value(o);
        } else if (o == "--program") {
          line.medium.program = a.value(o);
        } else if (o == "--runtime") {
          std::string v = a.value(o);
          if (v == "bundled") line.medium.runtime = MediumOptions::Runtime::Bundled;
          else if (v == "system") line.medium.runtime = MediumOptions::Runtime::System;
          else a.fail("unknown runtime \"" + v + "\" (bundled or system)");
        } else if (o == "--disks") {
          a.noValue(o);
          line.medium.disks = true;
        } else if (o == "--image") {
          std::string v = a.value(o);
          if (v != "iso") a.fail("unknown image format \"" + v + "\" (iso)");
          line.medium.isoImages = true;
        } else if (o == "--single-file") {
          line.medium.singleFile = a.value(o);
        } else if (!packOption(a, o, line.medium.pack)) {
          a.fail("unknown option " + o);
        }
        break;
      case Command::List:
        if (o == "--json") {
          a.noValue(o);
          line.json = true;
        } else {
          a.fail("unknown option " + o);
        }
        break;
      case Command::Restore:
        if (o == "--full-path") {
          chooseLayout(o, RestoreLayout::Tree);
        } else if (o == "--flat") {
          chooseLayout(o, RestoreLayout::Flat);
        } else if (o == "--stored-paths") {
          chooseLayout(o, RestoreLayout::StoredPaths);
        } else if (o == "--mode") {
          line.restore.mode = parseMode(a, a.value(o));
          line.restore.modeGiven = true;
        } else if (o == "-v" || o == "--verbose") {
          a.noValue(o);
          line.restore.verbose = true;
        } else {
          a.fail("unknown option " + o);
        }
        break;
      default: a.fail("unknown option " + o);
    }
  }

  const auto& operands = a.operands();
  switch (line.command) {
    case Command::Pack:
      if (!sawOutput) a.fail("the archive is missing (-o ARCHIVE)");
      if (operands.empty()) a.fail("no SOURCE given");
      line.pack.archive = hostPathOfArgument(*output);
      for (const auto& s : operands) line.pack.sources.push_back(hostPathOfArgument(s));
      break;
    case Command::Medium:
      if (sawOutput == !line.medium.singleFile.empty())
        a.fail(sawOutput ? "give -o DIR or --single-file OUT, not both" : "the directory is missing (-o DIR)");
      if (!title || !app || !dest) a.fail("--title, --app and --dest are required");
      if (operands.empty()) a.fail("no SOURCE given");
      if (line.medium.isoImages && !line.medium.disks) a.fail("--image needs --disks");
      if (sawOutput) line.medium.directory = hostPathOfArgument(*output);
      if (!line.medium.singleFile.empty()) line.medium.singleFile = hostPathOfArgument(line.medium.singleFile);
      line.medium.title = *title;
      line.medium.app = *app;
      line.medium.destDir = *dest;
      for (const auto& s : operands) line.medium.pack.sources.push_back(hostPathOfArgument(s));
      break;
    case Command::List:
    case Command::Verify:
      if (operands.size() != 1) a.fail("give exactly one ARCHIVE");
      line.archive = hostPathOfArgument(operands[0]);
      break;
    case Command::Restore:
      if (operands.empty() || operands.size() > 2) a.fail("give ARCHIVE and optionally DEST");
      line.restore.archive = operands[0];
      if (operands.size() == 2) {
        if (line.restore.layout == RestoreLayout::StoredPaths) a.fail("--stored-paths takes no DEST");
        // "." and an empty DEST both mean the current directory.
        line.restore.dest = operands[1].empty() ? "." : operands[1];
      }
      break;
    case Command::None: break;
  }
  return line;
}

std::string usageText(Command command) {
  switch (command) {
    case Command::Pack:
      return "Usage: setupkit pack [options] -o ARCHIVE SOURCE...\n"
             "Packs files and directory trees into ARCHIVE and its continuation volumes.\n"
             "Each file is stored as C:\\ followed by its path relative to its SOURCE.\n"
             "  -o, --output ARCHIVE     the first volume to write\n"
             "  --level LEVEL            0 (stored) to 12, or none (0), fastest (1), default (6),\n"
             "                           max (12); without it 11\n"
             "  --volume-size BYTES      largest volume (suffix K, M or G allowed); default: one volume\n"
             "  --header-text TEXT       text stored in the archive header\n"
             "  --no-file-list           leave out the manifest of the files\n"
             "  --threads N              compression threads (default: every core)\n"
             "  --help                   show this text\n"
             "  --version                show the version\n";
    case Command::Medium:
      return "Usage: setupkit medium [options] (-o DIR | --single-file OUT) --title T --app A --dest D SOURCE...\n"
             "Makes a distribution medium in DIR: the setup launcher, the setup program with its\n"
             "runtime packed in runtime.pak, SETUP.INS, and SETUP.BIN with its volumes SETUP.002, ...\n"
             "  -o, --output DIR         the medium's directory (created when missing)\n"
             "  --single-file OUT        one executable file instead: the launcher with SETUP.INS,\n"
             "                           the packed runtime and the archive (one volume) appended\n"
             "  --title TEXT             product title\n"
             "  --app TEXT               application name\n"
             "  --dest DIR               proposed destination directory\n"
             "  --program PATH           the setup program to copy (default: the installed or built one)\n"
             "  --runtime MODE           bundled: the libraries, Qt plugins and fonts it needs are\n"
             "                           packed with it (default); system: the program alone\n"
             "  --disks                  one folder per disk, disk1/ (launcher, runtime.pak, SETUP.INS,\n"
             "                           SETUP.BIN), disk2/ (SETUP.002), ...; --volume-size is then\n"
             "                           a disk's capacity, counting every file on it\n"
             "  --image iso              with --disks: also DIR/diskN.iso, an ISO 9660 image of each\n"
             "  --level, --volume-size, --header-text, --no-file-list, --threads  as for pack\n"
             "  --help                   show this text\n"
             "  --version                show the version\n";
    case Command::List:
      return "Usage: setupkit list [--json] ARCHIVE\n"
             "Prints the header and every entry: kind, date, file size, stored size, chunks, name.\n"
             "  --json                   one JSON object per entry instead: kind, name, date (ISO 8601,\n"
             "                           local time), size, stored, chunks, volume\n"
             "  --help                   show this text\n"
             "  --version                show the version\n";
    case Command::Verify:
      return "Usage: setupkit verify ARCHIVE\n"
             "Decodes every entry and checks the zlib streams, TotalSize and the manifest.\n"
             "Exit status 0 only for a sound archive.\n"
             "  --help                   show this text\n"
             "  --version                show the version\n";
    case Command::Restore:
      return "Usage: setupkit restore [options] ARCHIVE [DEST]\n"
             "Restores every file of ARCHIVE below DEST (default: the current directory),\n"
             "keeping the directories stored in the archive. Quiet unless something fails.\n"
             "  --flat                   every file directly into DEST; refused when two entries\n"
             "                           would land on the same name, unless --mode is given\n"
             "  --stored-paths           every file to the path stored in the archive (no DEST)\n"
             "  --full-path              keep the stored directories below DEST (the default)\n"
             "  --mode MODE              all, no-overwrite, newer, existing, existing-newer (default all)\n"
             "  -v, --verbose            name each restored file\n"
             "  --help                   show this text\n"
             "  --version                show the version\n"
             "Exit status: 0 success, 1 error reported, 2 archive unreadable, 3 archive missing,\n"
             "4 cancelled, 5 refused before writing anything.\n";
    case Command::None: break;
  }
  return "Usage: setupkit COMMAND [options] ...\n"
         "Commands:\n"
         "  pack     write an archive from files and directories\n"
         "  medium   make a distribution medium (archive, SETUP.INS, setup program)\n"
         "  list     show what an archive holds\n"
         "  verify   check an archive\n"
         "  restore  recover an archive's files\n"
         "  --help                   show this text\n"
         "  --version                show the version\n"
         "Run setupkit COMMAND --help for the options of a command.\n";
}

std::string versionText() { return std::string("setupkit ") + SETUPKIT_VERSION + "\n"; }

}  // namespace setupkit
