#include "tools/medium.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "common/host_paths.h"
#include "common/tool_error.h"
#include "medium/installer_file.h"
#include "medium/medium_attributes.h"
#include "medium/medium_signature.h"
#include "medium/runtime_pack.h"
#include "tools/disk_layout.h"
#include "tools/elf_file.h"
#include "tools/external_tool.h"
#include "tools/icu_data.h"
#include "tools/runtime_cache.h"
#include "tools/runtime_gather.h"

namespace fs = std::filesystem;

namespace setupkit {

namespace {

constexpr size_t kMaxValue = 2047;

std::string iniValue(const std::string& key, const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos)
    throw ToolError("The " + key + " value cannot hold a line break");
  if (value.size() > kMaxValue) throw ToolError("The " + key + " value is longer than 2047 characters");
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  if (!value.empty() && (blank(value.front()) || blank(value.back()) || quoted)) return "\"" + value + "\"";
  return value;
}

// A hidden name beside `target` for building it before it takes its name.
fs::path hiddenBeside(const fs::path& target, const char* suffix = ".tmp") {
  return target.parent_path() / ("." + target.filename().string() + suffix);
}

// Writes a file under a temporary name through `write`, gives it the
// permissions `perms` (unless none) and renames it into place.
void writeAtomically(const fs::path& target, const std::function<void(std::ofstream&)>& write,
                     fs::perms perms = fs::perms::none) {
  fs::path temporary = hiddenBeside(target);
  std::error_code ec;
  try {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    write(out);
    out.close();
    if (!out) throw ToolError("Cannot write " + target.string());
  } catch (...) {
    fs::remove(temporary, ec);
    throw;
  }
  if (perms != fs::perms::none) fs::permissions(temporary, perms, ec);
  if (!ec) fs::rename(temporary, target, ec);
  if (ec) {
    fs::remove(temporary, ec);
    throw ToolError("Cannot write " + target.string() + ": " + ec.message());
  }
}

void writeFileAtomically(const fs::path& target, const std::string& content) {
  writeAtomically(target, [&](std::ofstream& out) { out << content; });
}

bool haveStrip() {
  static const bool have = haveExternalTool("strip");
  return have;
}

// Copies a file through a temporary name beside the target; an ELF file is
// stripped on the way (strip-all for the program, strip-unneeded for shared
// objects) when strip is installed.
void copyFileInto(const fs::path& source, const fs::path& target, bool program, bool elf,
                  std::vector<std::string>& warnings) {
  fs::path temporary = hiddenBeside(target);
  std::error_code ec;
  fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, ec);
  if (!ec && elf) {
    if (!haveStrip()) {
      if (warnings.empty() || warnings.back().find("strip") == std::string::npos)
        warnings.push_back("strip is not installed: the binaries on the medium are not stripped");
    } else if (runExternalTool({"strip", program ? "--strip-all" : "--strip-unneeded", temporary.string()}) != 0) {
      warnings.push_back("strip failed on " + source.string() + ": copied as it is");
      fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, ec);
    }
  }
  if (!ec) fs::rename(temporary, target, ec);
  if (ec) {
    fs::remove(temporary, ec);
    throw ToolError("Cannot copy " + source.string() + " to " + target.string());
  }
}

// Writes the runtime folder `target` from the plan: built under a temporary
// name, then put in place of an older one. Returns its size in bytes.
int64_t installRuntime(const RuntimePlan& plan, const fs::path& target, std::vector<std::string>& warnings) {
  fs::path building = hiddenBeside(target);
  std::error_code ec;
  fs::remove_all(building, ec);
  int64_t bytes = 0;
  try {
    for (const RuntimeFile& file : plan.files) {
      fs::path to = building / file.target;
      fs::create_directories(to.parent_path(), ec);
      copyFileInto(file.source, to, false, file.elf, warnings);
      if (to.filename().string().rfind("libicudata.so", 0) == 0) trimIcuData(to.string());
      bytes += int64_t(fs::file_size(to));
    }
    if (fs::is_directory(building / "fonts", ec)) {
      writeFileAtomically(building / "fonts" / "fonts.conf", runtimeFontConfiguration());
      bytes += int64_t(runtimeFontConfiguration().size());
    }
  } catch (...) {
    fs::remove_all(building, ec);
    throw;
  }
  fs::remove_all(target, ec);
  fs::rename(building, target, ec);
  if (ec) throw ToolError("Cannot write " + target.string() + ": " + ec.message());
  return bytes;
}

// Writes the ISO 9660 image of one disk folder with xorriso (or genisoimage):
// Rock Ridge keeps the program executable, Joliet the long names.
void writeDiskImage(const fs::path& folder, const fs::path& image, const std::string& label) {
  std::string tool = haveExternalTool("xorriso") ? "xorriso" : haveExternalTool("genisoimage") ? "genisoimage" : "";
  if (tool.empty()) throw ToolError("Writing ISO images needs xorriso or genisoimage");
  fs::path temporary = hiddenBeside(image);
  fs::path log = hiddenBeside(image, ".log");
  std::vector<std::string> argv = {tool};
  if (tool == "xorriso") argv.insert(argv.end(), {"-as", "mkisofs"});
  argv.insert(argv.end(), {"-quiet", "-r", "-J", "-V", label, "-o", temporary.string(), folder.string()});
  int status = runExternalTool(argv, log.string());
  std::error_code ec;
  if (status == 0) fs::rename(temporary, image, ec);
  std::ifstream in(log);
  std::string message((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::remove(log, ec);
  if (status != 0 || ec) {
    fs::remove(temporary, ec);
    throw ToolError("Cannot write the image " + image.string() + " with " + tool + ": " + message);
  }
}

// Moves continuation volume N from disk 1 to disk N and removes what a
// former medium with more disks left behind.
std::vector<std::string> spreadOverDisks(const fs::path& dir, const std::vector<std::string>& volumes) {
  std::vector<std::string> folders;
  std::error_code ec;
  for (size_t i = 0; i < volumes.size(); ++i) {
    fs::path folder = dir / diskFolderName(int(i + 1));
    if (i > 0) {
      fs::create_directories(folder, ec);
      fs::path target = folder / fs::path(volumes[i]).filename();
      fs::rename(volumes[i], target, ec);
      if (ec) throw ToolError("Cannot move " + volumes[i] + " to " + target.string() + ": " + ec.message());
    }
    folders.push_back(folder.string());
  }
  for (int n = int(volumes.size()) + 1; fs::is_directory(dir / diskFolderName(n), ec); ++n) {
    fs::path folder = dir / diskFolderName(n);
    fs::remove(folder / ("SETUP." + volumeNumberText(n)), ec);
    fs::remove(dir / (diskFolderName(n) + ".iso"), ec);
    fs::remove(folder, ec);  // only when nothing else is in it
  }
  return folders;
}

}  // namespace

std::string setupConfigurationText(const std::string& title, const std::string& app, const std::string& destDir,
                                   int disks, bool tree, const std::string& userDest) {
  std::string text = "[Setup]\nTitle=" + iniValue("Title", title) + "\nApp=" + iniValue("App", app) +
                     "\nDestDir=" + iniValue("DestDir", destDir) + "\n";
  if (!userDest.empty()) text += "UserDestDir=" + iniValue("UserDestDir", userDest) + "\n";
  if (tree) text += "Paths=Tree\n";
  if (disks > 0) text += "Disks=" + std::to_string(disks) + "\n";
  return text;
}

namespace {

// The Version= and Publisher= lines of SETUP.INS, when given.
std::string productLines(const MediumOptions& options) {
  std::string text;
  if (!options.appVersion.empty()) text += "Version=" + iniValue("Version", options.appVersion) + "\n";
  if (!options.publisher.empty()) text += "Publisher=" + iniValue("Publisher", options.publisher) + "\n";
  return text;
}

}  // namespace

std::string defaultUserDestination(const std::string& destDir, const std::string& app) {
  std::string name =
      destDir.substr(destDir.find_last_of("\\/:") == std::string::npos ? 0 : destDir.find_last_of("\\/:") + 1);
  if (name.empty()) name = app;
  for (char& c : name)
    if (c == '/' || c == '\\' || c == ':') c = '_';
  return name.empty() ? "~/Application" : "~/" + name;
}

std::string findSetupProgram(const std::string& toolPath) {
  fs::path tool(toolPath);
  std::error_code ec;
  // Installed: PREFIX/bin/setupkit and PREFIX/lib/setupkit/setup. Built:
  // <build>/tools/setupkit and <build>/app/setup.
  const fs::path prefix = tool.parent_path().parent_path();
  for (const fs::path& candidate :
       {prefix / "lib" / "setupkit" / "setup", prefix / "app" / "setup", tool.parent_path() / "setup"})
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  return {};
}

std::string findUninstaller(const std::string& program) {
  fs::path folder = fs::path(program).parent_path();
  std::error_code ec;
  for (const fs::path& candidate : {folder / "setup-uninstall", folder / "uninstall" / "setup-uninstall"})
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  return {};
}

std::string menuSectionText(const menu_entry::Settings& menu) {
  if (!menu.present()) return {};
  if (std::string problem = menu_entry::problemOf(menu); !problem.empty()) throw ToolError(problem);
  std::string text = "[Menu]\nName=" + iniValue("Name", menu.name) + "\nExec=" + iniValue("Exec", menu.exec) + "\n";
  if (!menu.icon.empty()) text += "Icon=" + iniValue("Icon", menu.icon) + "\n";
  if (!menu.comment.empty()) text += "Comment=" + iniValue("Comment", menu.comment) + "\n";
  if (!menu.categories.empty()) text += "Categories=" + iniValue("Categories", menu.categories) + "\n";
  if (menu.terminal) text += "Terminal=true\n";
  if (!menu.fileTypes.empty())
    text += "FileTypes=" + iniValue("FileTypes", menu_entry::fileTypesValue(menu.fileTypes)) + "\n";
  return text;
}

std::string findLauncher(const std::string& program) {
  fs::path folder = fs::path(program).parent_path();
  std::error_code ec;
  for (const fs::path& candidate : {folder / "setup-launcher", folder / "launcher" / "setup-launcher"})
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  return {};
}

std::optional<std::string> unsafeSearchPathEntry(const std::string& elfFile) {
  for (const std::string& text : readElfDynamicInfo(elfFile).searchPaths) {
    size_t start = 0;
    for (;;) {
      size_t end = text.find(':', start);
      std::string entry = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (entry.empty() || (entry[0] != '/' && entry.rfind("$ORIGIN", 0) != 0 && entry.rfind("${ORIGIN}", 0) != 0))
        return entry;
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  return std::nullopt;
}

namespace {

// Refuses an ELF program that would load libraries from the current
// directory: an empty entry in its search path, or a relative one.
void refuseUnsafeSearchPath(const std::string& program) {
  if (program.empty() || !isElfFile(program)) return;
  if (auto entry = unsafeSearchPathEntry(program))
    throw ToolError(program + " looks for libraries in " +
                    (entry->empty() ? std::string("an empty entry of its search path (the current directory)")
                                    : "\"" + *entry + "\", a path relative to the current directory") +
                    ": link it with an absolute or $ORIGIN search path (" + kRuntimeRpath + ")");
}

// The zstd level of the packed runtime: 19, the smallest within the 8 MiB
// window (levels 20 to 22 gain nothing more there), at about a minute of
// packing for the Qt runtime on two cores. SETUPKIT_RUNTIME_LEVEL (1 to 19)
// trades size for packing time where many media are made (the tests); the
// launcher unpacks any level alike.
int runtimePackLevel() {
  const char* level = std::getenv("SETUPKIT_RUNTIME_LEVEL");
  const int value = level ? std::atoi(level) : 0;
  return value >= 1 && value <= 19 ? value : 19;
}

// The key of the packed runtime in the cache: everything the packed file
// follows from.
std::string runtimeCacheKey(const std::string& program, const std::string& uninstaller, const RuntimePlan* plan,
                            int level) {
  RuntimeCacheKey key;
  key.addText(std::string(runtime_pack::kMagic, runtime_pack::kMagicSize));
  key.addText("uninstall in a frame of its own");
  key.addText("x86 branch targets absolute");
  key.addText("level " + std::to_string(level));
  key.addText("setupkit " SETUPKIT_VERSION);
  key.addText(haveStrip() ? "stripped" : "not stripped");
  key.addFile(program, "setup");
  if (!uninstaller.empty()) key.addFile(uninstaller, "uninstall");
  if (plan) {
    for (const RuntimeFile& file : plan->files) {
      key.addFile(file.source, std::string(kRuntimeFolder) + "/" + file.target);
      key.addText(file.elf ? "elf" : "data");
    }
    key.addText(runtimeFontConfiguration());
  }
  return key.finish();
}

// Packs the setup program (as `setup`) and, with a plan, its runtime folder
// into `pack` (medium/runtime_pack.h), or copies the same packed runtime
// from the cache (tools/runtime_cache.h). Returns the bytes of the unpacked
// files.
int64_t packRuntime(const std::string& program, const std::string& uninstaller, const RuntimePlan* plan,
                    const fs::path& pack, std::vector<std::string>& warnings, bool& cached) {
  const int level = runtimePackLevel();
  const std::string cache = runtimeCacheFolder();
  const std::string key = cache.empty() ? std::string() : runtimeCacheKey(program, uninstaller, plan, level);
  if (!cache.empty()) {
    if (auto bytes = fetchCachedRuntime(cache, key, pack.string())) {
      if (isElfFile(program) && !haveStrip())
        warnings.push_back("strip is not installed: the binaries on the medium are not stripped");
      cached = true;
      return *bytes;
    }
  }
  fs::path stage = hiddenBeside(pack, ".stage");
  std::error_code ec;
  fs::remove_all(stage, ec);
  fs::create_directories(stage, ec);
  int64_t bytes = 0;
  const size_t warned = warnings.size();
  try {
    copyFileInto(program, stage / "setup", true, isElfFile(program), warnings);
    bytes += int64_t(fs::file_size(stage / "setup"));
    if (!uninstaller.empty()) {
      copyFileInto(uninstaller, stage / "uninstall", true, true, warnings);
      bytes += int64_t(fs::file_size(stage / "uninstall"));
    }
    if (plan) bytes += installRuntime(*plan, stage / kRuntimeFolder, warnings);
    const fs::path packed = hiddenBeside(pack, ".new");
    try {
      // The uninstaller in a frame of its own: an unattended install takes
      // it out without decoding the wizard's runtime.
      runtime_pack::pack(stage.string(), packed.string(), level, {"uninstall"});
    } catch (const std::runtime_error& e) {
      throw ToolError(e.what());
    }
    fs::rename(packed, pack, ec);
    if (ec) throw ToolError("Cannot write " + pack.string() + ": " + ec.message());
  } catch (...) {
    fs::remove_all(stage, ec);
    throw;
  }
  fs::remove_all(stage, ec);
  // A binary strip failed on was copied as it is: not what the key says.
  bool sound = true;
  for (size_t i = warned; i < warnings.size(); ++i)
    sound = sound && warnings[i].find("strip failed") == std::string::npos;
  if (sound) storeCachedRuntime(cache, key, pack.string());
  cached = false;
  return bytes;
}

// Appends the host file `from` to `out`, continuing the CRC-32, and adds
// its SHA-256 to `sums` under `name`.
int64_t appendFile(std::ofstream& out, const fs::path& from, uint32_t& crc, std::vector<medium_signature::Sum>& sums,
                   const char* name) {
  digest::Sha256 sha;
  std::ifstream in(from, std::ios::binary);
  if (!in) throw ToolError("Cannot read " + from.string());
  std::vector<char> buffer(1 << 20);
  int64_t total = 0;
  while (in) {
    in.read(buffer.data(), std::streamsize(buffer.size()));
    std::streamsize n = in.gcount();
    if (n <= 0) break;
    crc = installer::crc32Update(crc, buffer.data(), size_t(n));
    sha.update(buffer.data(), size_t(n));
    out.write(buffer.data(), n);
    total += n;
  }
  sums.push_back({name, sha.finish()});
  return total;
}

// Writes the one-file installer `target` from the folder medium `medium`,
// with a signature part when `signing` has a key.
int64_t writeSingleFile(const fs::path& medium, const fs::path& target, const Signing& signing) {
  installer::Parts parts;
  writeAtomically(
      target,
      [&](std::ofstream& out) {
        uint32_t crc = 0;
        std::vector<medium_signature::Sum> sums;
        parts.launcher = appendFile(out, medium / "setup", crc, sums, "setup");
        parts.configuration = appendFile(out, medium / "SETUP.INS", crc, sums, "SETUP.INS");
        parts.runtime = appendFile(out, medium / kRuntimePackName, crc, sums, kRuntimePackName);
        parts.archive = appendFile(out, medium / "SETUP.BIN", crc, sums, "SETUP.BIN");
        parts.attributes = appendFile(out, medium / medium::kAttributesFileName, crc, sums, "SETUP.ATR");
        if (signing.key) {
          const std::string part = medium_signature::signSums(*signing.key, sums, signing.comment).part();
          crc = installer::crc32Update(crc, part.data(), part.size());
          out << part;
          parts.signature = int64_t(part.size());
          parts.trailer = installer::kSignedTrailerSize;
        }
        out << installer::trailerBytes(parts, crc);
      },
      fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
          fs::perms::others_exec);
  return parts.total();
}

// Whether the payload keeps its tree, checked before anything is written: a
// tree when it has folders, unless a flat medium is asked for, which is
// refused when the flat install would overwrite one file with another.
// `attributesBytes` is the size the attributes file will have (its digests
// are of fixed length), which takes room on disk 1.
bool keepsTreeOf(const MediumOptions& options, const SourceScan& scan, std::vector<std::string>& warnings,
                 int64_t& attributesBytes) {
  medium::Attributes sized;
  for (const auto& file : scan.files) sized.files[file.storedName].size = file.size;
  for (const auto& link : scan.links) sized.links.push_back({link.storedName, link.target});
  sized.folders = scan.folders;
  attributesBytes = int64_t(medium::formatAttributes(sized).size());
  bool folders = !scan.folders.empty() || !scan.links.empty();
  for (const auto& file : scan.files) folders = folders || file.storedName.find('\\', 3) != std::string::npos;
  if (!options.flat) return folders;
  if (!scan.flatClashes.empty()) {
    std::string text = "A flat medium would install several files to the same file; nothing was written:";
    for (const auto& clash : scan.flatClashes) text += "\n  " + clash;
    throw Refusal(text + "\nMake the medium without --flat to keep the folders");
  }
  for (const auto& link : scan.links)
    warnings.push_back(link.hostPath + ": a flat medium's install makes no links; it will be missing");
  for (const auto& folder : scan.folders)
    warnings.push_back(folder + ": a flat medium's install makes no folders; it will be missing");
  return false;
}

// The menu entry's program and icon are files of the payload, under the
// names the installation gives them (below their folders when the tree is
// kept, bare names when flat); the icon is a PNG of a size the hicolor theme
// has, or an SVG, since the menu takes it from the icon theme by name.
void checkMenuFiles(const menu_entry::Settings& menu, const SourceScan& scan, bool tree) {
  if (!menu.present()) return;
  auto installedName = [tree](const std::string& stored) {
    std::string name = stored.size() > 3 ? stored.substr(3) : stored;
    for (char& c : name)
      if (c == '\\') c = '/';
    return tree ? name : name.substr(name.rfind('/') + 1);
  };
  auto find = [&](const std::string& wanted) -> const SourceFile* {
    std::string name = wanted;
    for (char& c : name)
      if (c == '\\') c = '/';
    for (const SourceFile& f : scan.files)
      if (installedName(f.storedName) == name) return &f;
    return nullptr;
  };
  const char* where =
      tree ? "a path below the destination as the tree installs it" : "a file name (the medium installs flat)";
  if (!menu.exec.empty() && !find(menu.exec))
    throw ToolError("--menu-exec " + menu.exec + " is no file of the payload (" + where + ")");
  if (menu.icon.empty()) return;
  const SourceFile* icon = find(menu.icon);
  if (!icon) throw ToolError("--menu-icon " + menu.icon + " is no file of the payload (" + where + ")");
  std::ifstream in(icon->hostPath, std::ios::binary);
  std::string head(4096, '\0');
  in.read(head.data(), std::streamsize(head.size()));
  head.resize(size_t(in.gcount()));
  int size = 0;
  if (menu_entry::iconKind(head, size).empty())
    throw ToolError(
        "--menu-icon " + menu.icon +
        " is neither a square PNG of 16, 22, 24, 32, 36, 48, 64, 72, 96, 128, 192, 256 or 512 pixels nor an SVG "
        "image, which the icon theme takes");
}

bool keepsTree(const MediumOptions& options, std::vector<std::string>& warnings, int64_t& attributesBytes) {
  const SourceScan scan = scanSources(options.pack.sources, options.pack.links);
  const bool tree = keepsTreeOf(options, scan, warnings, attributesBytes);
  checkMenuFiles(options.menu, scan, tree);
  return tree;
}

// Makes the folder medium in options.directory, a new folder of its own.
MediumResult buildFolderMedium(const MediumOptions& options, const std::string& toolPath) {
  // Checked before anything is written. With disks, the configuration is
  // measured with the longest count it can hold.
  if (!options.destDir.empty() && options.destDir[0] == '~')
    throw ToolError("DestDir is what root is proposed and takes \"~\" as it is: give a user's folder with --user-dest");
  const std::string userDest =
      options.userDest.empty() ? defaultUserDestination(options.destDir, options.app) : options.userDest;
  std::vector<std::string> treeWarnings;
  int64_t attributesBytes = 0;
  const bool tree = keepsTree(options, treeWarnings, attributesBytes);
  // Version and Publisher end the [Setup] section, before [Menu].
  const std::string menu = productLines(options) + menuSectionText(options.menu);
  std::string configuration =
      setupConfigurationText(options.title, options.app, options.destDir, options.disks ? 999 : 0, tree, userDest) +
      menu;
  if (options.isoImages && !options.disks) throw ToolError("Disk images need --disks");
  std::string program = options.program;
  std::error_code ec;
  if (!program.empty() && !fs::is_regular_file(program, ec)) throw ToolError("Program not found: " + program);
  if (program.empty()) program = findSetupProgram(toolPath);
  const bool bundled = options.runtime == MediumOptions::Runtime::Bundled && !program.empty();
  // One file always starts through the launcher; a folder medium with the
  // system's runtime carries the program itself.
  const bool launched = !program.empty() && (bundled || !options.singleFile.empty());
  std::string launcher = options.launcher;
  if (launched && launcher.empty()) launcher = findLauncher(program);
  if (launched && !fs::is_regular_file(launcher, ec))
    throw ToolError("The launcher setup-launcher is not found beside " + program +
                    " (build it, or give --runtime system)");
  refuseUnsafeSearchPath(program);
  if (launched) refuseUnsafeSearchPath(launcher);
  RuntimePlan plan;
  if (bundled) plan = gatherRuntime(program);
  // Every installation from the medium places the uninstaller in its
  // destination: packed with the runtime, or beside a bare medium's program.
  const std::string uninstaller = program.empty() ? std::string() : findUninstaller(program);

  fs::path dir(options.directory);
  fs::path first = options.disks ? dir / diskFolderName(1) : dir;
  fs::create_directories(first, ec);
  if (!fs::is_directory(first, ec)) throw ToolError("Cannot create the directory " + first.string());

  MediumResult result;
  result.warnings = plan.warnings;
  result.warnings.insert(result.warnings.end(), treeWarnings.begin(), treeWarnings.end());
  if (!program.empty() && uninstaller.empty())
    result.warnings.push_back(
        "no setup-uninstall beside the launcher: installations from this medium get no uninstaller");
  // The program and its runtime first: on disk 1 they take room from the
  // archive's first volume.
  int64_t disk1Files = int64_t(configuration.size()) + attributesBytes;
  // The signature files: a key, a signature and a line per file.
  if (options.signing.key) disk1Files += 4096;
  fs::path runtimePack = first / kRuntimePackName;
  if (!program.empty()) {
    fs::path target = first / fs::path(program).filename();
    const std::string& onMedium = launched ? launcher : program;
    if (!fs::equivalent(onMedium, target, ec))
      copyFileInto(onMedium, target, true, isElfFile(onMedium), result.warnings);
    result.program = target.string();
    disk1Files += int64_t(fs::file_size(target));
  }
  if (launched) {
    result.runtimeUnpacked = packRuntime(program, uninstaller, bundled ? &plan : nullptr, runtimePack, result.warnings,
                                         result.runtimeCached);
    result.runtimeBytes = int64_t(fs::file_size(runtimePack));
    if (bundled) {
      result.runtimeFiles = plan.files.size();
      result.oldestGlibc = plan.oldestGlibc;
    }
    disk1Files += result.runtimeBytes;
    fs::remove(first / "uninstall", ec);
  } else {
    fs::remove(runtimePack, ec);
    if (!uninstaller.empty()) {
      copyFileInto(uninstaller, first / "uninstall", true, true, result.warnings);
      disk1Files += int64_t(fs::file_size(first / "uninstall"));
    }
  }
  // A runtime folder left by an earlier medium would still be loaded by a
  // program started from the medium: the program looks there first.
  fs::remove_all(first / kRuntimeFolder, ec);

  PackOptions pack = options.pack;
  pack.archive = (first / "SETUP.BIN").string();
  pack.attributes = (first / medium::kAttributesFileName).string();
  pack.flatWarnings = false;  // checked above: a tree medium has no flat install
  if (options.disks && options.isoImages && pack.volumeSize > 0) {
    // Each image must fit the disk too: its own blocks come off the room
    // for the files (disk 1: the program, the runtime, SETUP.INS, SETUP.ATR
    // and the first volume; any other disk: its volume).
    const int disk1Count = 3 + (program.empty() ? 0 : 1) + (launched ? 1 : 0);
    disk1Files += imageOverhead(disk1Count);
    pack.volumeSize -= imageOverhead(1);
    if (pack.volumeSize < kMinimumFirstVolume)
      throw ToolError("The volume size " + std::to_string(options.pack.volumeSize) +
                      " cannot hold an ISO 9660 image's own blocks and a volume");
  }
  if (options.disks) pack.firstVolumeSize = firstVolumeCapacity(options.pack.volumeSize, disk1Files);
  result.pack = setupkit::pack(pack);

  if (options.disks) {
    result.disks = spreadOverDisks(dir, result.pack.volumes);
    for (size_t i = 1; i < result.pack.volumes.size(); ++i)
      result.pack.volumes[i] = (fs::path(result.disks[i]) / fs::path(result.pack.volumes[i]).filename()).string();
    configuration =
        setupConfigurationText(options.title, options.app, options.destDir, int(result.disks.size()), tree, userDest) +
        menu;
  }
  fs::path ins = first / "SETUP.INS";
  writeFileAtomically(ins, configuration);
  result.configuration = ins.string();

  // Each disk is signed on its own; a one-file installer signs its parts.
  const std::vector<std::string> folders = options.disks ? result.disks : std::vector<std::string>{first.string()};
  for (const std::string& folder : folders) {
    removeSignature(folder);
    if (options.signing.key && options.singleFile.empty()) signFolder(folder, options.signing);
  }

  for (size_t i = 0; i < result.disks.size(); ++i) {
    fs::path image = dir / (diskFolderName(int(i + 1)) + ".iso");
    if (!options.isoImages) {
      fs::remove(image, ec);  // an image of an earlier medium no longer matches its disk
      continue;
    }
    writeDiskImage(result.disks[i], image, diskImageLabel(options.title, int(i + 1)));
    result.images.push_back(image.string());
    const auto bytes = int64_t(fs::file_size(image, ec));
    if (options.pack.volumeSize > 0 && bytes > options.pack.volumeSize)
      throw ToolError("The image of disk " + std::to_string(i + 1) + " takes " + std::to_string(bytes) +
                      " bytes, over the disk's " + std::to_string(options.pack.volumeSize) +
                      "; give a larger --volume-size");
  }
  return result;
}

// Where a medium for `dir` is built before it is moved into place: a hidden
// folder beside it, or in it when its parent cannot be written (the root
// folder of a mounted stick). Made new and empty.
fs::path makeBuildingFolder(const fs::path& dir, bool& madeDir) {
  std::error_code ec;
  fs::path target = fs::absolute(dir, ec).lexically_normal();
  if (!target.has_filename()) target = target.parent_path();
  madeDir = false;
  if (target.has_filename()) {
    fs::path beside = hiddenBeside(target, ".building");
    fs::remove_all(beside, ec);
    if (fs::create_directory(beside, ec)) return beside;
  }
  madeDir = !fs::exists(target, ec);
  fs::create_directories(target, ec);
  fs::path inside = target / ".setupkit-building";
  fs::remove_all(inside, ec);
  if (!fs::create_directory(inside, ec)) throw ToolError("Cannot create the directory " + dir.string());
  return inside;
}

// Moves the medium built in `building` into `dir`, the configuration last,
// and removes what an earlier medium there left that no longer belongs:
// continuation volumes and disks past the new count, images not asked for,
// a packed runtime when there is none now, an unpacked runtime folder.
void publishMedium(const fs::path& building, const fs::path& dir, const MediumOptions& options, MediumResult& result) {
  std::error_code ec;
  std::vector<fs::path> files;
  for (fs::recursive_directory_iterator it(building, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), building));
  if (ec) throw ToolError("Cannot read " + building.string() + ": " + ec.message());
  auto rank = [](const fs::path& p) { return p.filename() == "SETUP.INS" ? 1 : p.extension() == ".iso" ? 2 : 0; };
  std::stable_sort(files.begin(), files.end(), [&](const fs::path& a, const fs::path& b) { return rank(a) < rank(b); });
  for (const fs::path& file : files) {
    const fs::path to = dir / file;
    fs::create_directories(to.parent_path(), ec);
    fs::rename(building / file, to, ec);
    if (ec)
      throw ToolError("Cannot move the new medium's " + file.string() + " to " + to.string() + ": " + ec.message());
  }
  const fs::path first = options.disks ? dir / diskFolderName(1) : dir;
  if (result.runtimeBytes == 0) fs::remove(first / kRuntimePackName, ec);
  // A runtime folder left by an earlier medium would still be loaded by a
  // program started from the medium: the program looks there first.
  fs::remove_all(first / kRuntimeFolder, ec);
  const int count = int(result.pack.volumes.size());
  // A signature of an earlier medium would not match this one's files.
  if (!options.signing.key || !options.singleFile.empty())
    for (int n = 1; n <= (options.disks ? count : 1); ++n)
      removeSignature((options.disks ? dir / diskFolderName(n) : dir).string());
  for (int n = count + 1; n <= 999; ++n) {
    const fs::path folder = options.disks ? dir / diskFolderName(n) : dir;
    const fs::path stale = folder / ("SETUP." + volumeNumberText(n));
    const bool had = fs::remove(stale, ec);
    if (had) result.pack.staleRemoved.push_back(stale.string());
    if (!options.disks) {
      if (!had) break;
      continue;
    }
    const bool image = fs::remove(dir / (diskFolderName(n) + ".iso"), ec);
    const bool folderThere = fs::is_directory(folder, ec);
    fs::remove(folder, ec);  // only when nothing else is in it
    if (!had && !image && !folderThere) break;
  }
  if (options.disks && !options.isoImages)
    for (int n = 1; n <= count; ++n) fs::remove(dir / (diskFolderName(n) + ".iso"), ec);
  // The result names the files where they are now.
  const std::string from = building.string();
  std::string to = dir.string();
  while (to.size() > 1 && to.back() == '/') to.pop_back();
  auto moved = [&](std::string& path) {
    if (path.compare(0, from.size(), from) == 0) path = to + path.substr(from.size());
  };
  for (auto* list : {&result.pack.volumes, &result.disks, &result.images})
    for (std::string& path : *list) moved(path);
  moved(result.pack.attributes);
  moved(result.configuration);
  moved(result.program);
}

// Builds the medium beside `options.directory` and moves it into place only
// when all of it is made: a failure leaves the folder as it was.
MediumResult makeFolderMedium(const MediumOptions& options, const std::string& toolPath) {
  bool madeDir = false;
  const fs::path dir(options.directory);
  const fs::path building = makeBuildingFolder(dir, madeDir);
  std::error_code ec;
  MediumResult result;
  try {
    MediumOptions inside = options;
    inside.directory = building.string();
    result = buildFolderMedium(inside, toolPath);
    fs::create_directories(dir, ec);
    publishMedium(building, dir, options, result);
  } catch (...) {
    fs::remove_all(building, ec);
    if (madeDir) fs::remove_all(dir, ec);
    throw;
  }
  fs::remove_all(building, ec);
  return result;
}

}  // namespace

MediumResult makeMedium(const MediumOptions& options, const std::string& toolPath) {
  if (options.singleFile.empty()) return makeFolderMedium(options, toolPath);
  if (options.disks || options.isoImages || options.pack.volumeSize > 0)
    throw ToolError("One file holds one volume: --single-file goes without --disks, --image and --volume-size");
  // The folder medium is made beside the file, then joined into it.
  const fs::path target(options.singleFile);
  MediumOptions folder = options;
  folder.directory = hiddenBeside(target, ".medium").string();
  std::error_code ec;
  fs::remove_all(folder.directory, ec);
  MediumResult result;
  try {
    std::string program = options.program.empty() ? findSetupProgram(toolPath) : options.program;
    if (program.empty()) throw ToolError("A one-file installer needs the setup program: build it, or give --program");
    result = buildFolderMedium(folder, toolPath);
    result.singleFileBytes = writeSingleFile(folder.directory, target, options.signing);
  } catch (...) {
    fs::remove_all(folder.directory, ec);
    throw;
  }
  fs::remove_all(folder.directory, ec);
  result.singleFile = target.string();
  // The detached signature of the whole file, for checking it by hand; an
  // earlier one would no longer match.
  fs::remove(target.string() + ".minisig", ec);
  if (options.signing.key) result.detachedSignature = signDetached(target.string(), options.signing);
  result.program = target.string();
  result.configuration.clear();
  result.pack.volumes = {target.string()};
  if (!result.pack.attributes.empty()) result.pack.attributes = target.string();
  return result;
}

}  // namespace setupkit
