#include "tools/medium.h"

#include <filesystem>
#include <fstream>

#include "tools/tool_error.h"

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

// Writes a file under a temporary name and renames it into place.
void writeFileAtomically(const fs::path& target, const std::string& content) {
  fs::path temporary = target.parent_path() / ("." + target.filename().string() + ".tmp");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temporary, ec);
      throw ToolError("Cannot write " + target.string());
    }
  }
  std::error_code ec;
  fs::rename(temporary, target, ec);
  if (ec) throw ToolError("Cannot write " + target.string() + ": " + ec.message());
}

}  // namespace

std::string setupConfigurationText(const std::string& title, const std::string& app, const std::string& destDir) {
  return "[Setup]\nTitle=" + iniValue("Title", title) + "\nApp=" + iniValue("App", app) +
         "\nDestDir=" + iniValue("DestDir", destDir) + "\n";
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

MediumResult makeMedium(const MediumOptions& options, const std::string& toolPath) {
  // Checked before anything is written.
  std::string configuration = setupConfigurationText(options.title, options.app, options.destDir);
  std::string program = options.program;
  std::error_code ec;
  if (!program.empty() && !fs::is_regular_file(program, ec)) throw ToolError("Program not found: " + program);
  if (program.empty()) program = findSetupProgram(toolPath);

  fs::path dir(options.directory);
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) throw ToolError("Cannot create the directory " + options.directory);

  MediumResult result;
  PackOptions pack = options.pack;
  pack.archive = (dir / "SETUP.BIN").string();
  result.pack = setupkit::pack(pack);

  fs::path ins = dir / "SETUP.INS";
  writeFileAtomically(ins, configuration);
  result.configuration = ins.string();

  if (!program.empty()) {
    fs::path target = dir / fs::path(program).filename();
    if (!fs::equivalent(program, target, ec)) {
      fs::path temporary = dir / ("." + target.filename().string() + ".tmp");
      fs::copy_file(program, temporary, fs::copy_options::overwrite_existing, ec);
      if (!ec) fs::rename(temporary, target, ec);
      if (ec) {
        fs::remove(temporary, ec);
        throw ToolError("Cannot copy the program " + program + " to " + target.string());
      }
    }
    result.program = target.string();
  }
  return result;
}

}  // namespace setupkit
