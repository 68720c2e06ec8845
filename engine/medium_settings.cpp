#include "engine/medium_settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/ini.h"
#include "platform/paths.h"

namespace medium {

namespace {

std::string lowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  const passwd* entry = getpwuid(getuid());
  return entry && entry->pw_dir ? entry->pw_dir : "";
}

}  // namespace

std::string userDestination(const std::string& value) {
  if (value.empty() || value[0] != '~' || (value.size() > 1 && value[1] != '/' && value[1] != '\\')) return value;
  std::string host = homeFolder();
  if (host.empty()) return value;
  for (size_t i = 1; i < value.size(); ++i) host += value[i] == '\\' ? '/' : value[i];
  const std::optional<std::string> shown = platform::virtualPathOf(host);
  return shown ? *shown : value;
}

InstallPlace installPlace(const std::string& destDir, const std::string& userDestDir, const std::string& paths,
                          bool root) {
  InstallPlace place;
  place.destination = !root && !userDestDir.empty() ? userDestination(userDestDir) : destDir;
  place.tree = lowerCase(paths) == "tree";
  return place;
}

InstallPlace installPlaceOf(const std::string& setupIns) {
  auto value = [&](const char* key) { return platform::profileStringFromText("Setup", key, "", setupIns); };
  return installPlace(value("DestDir"), value("UserDestDir"), value("Paths"), geteuid() == 0);
}

}  // namespace medium
