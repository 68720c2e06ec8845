#include "app/bundled_runtime.h"

#include "app/code_environment.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace startup {

bool useBundledRuntime(const std::string& programFolder) {
  const fs::path runtime = fs::path(programFolder) / "runtime";
  std::error_code ec;
  if (!fs::is_directory(runtime, ec)) return false;
  // Only what the runtime carries is loaded: Qt's plugin folders, plugin
  // names and the loader's variables of the user's environment are dropped.
  dropCodeLoadingEnvironment();
  if (fs::is_directory(runtime / "plugins", ec))
    QCoreApplication::setLibraryPaths({QString::fromStdString((runtime / "plugins").string())});
  const fs::path fonts = runtime / "fonts" / "fonts.conf";
  if (fs::is_regular_file(fonts, ec)) setenv("FONTCONFIG_FILE", fonts.c_str(), 1);
  return true;
}

std::string runningProgramFolder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.parent_path().string();
}

}  // namespace startup
