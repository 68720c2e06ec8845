#include "tools/restore_plan.h"

#include <algorithm>
#include <map>

namespace setupkit {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string foldCase(std::string s) {
  for (char& c : s) c = lower(c);
  return s;
}

}  // namespace

RestorePlan planRestore(const std::string& archive, const TNeedDiskEvent& needDisk) {
  RestorePlan plan;
  TBackupFile backup(nullptr);
  // rmAll decides without looking at existing files; the handler declines
  // every entry anyway.
  backup.RestoreMode = rmAll;
  backup.OnNeedDisk = needDisk;
  backup.OnRestoreFile = TRestoreFileEvent([&](TObject*, std::string& target, int32_t, bool& doRestore) {
    plan.targets.push_back(target);
    doRestore = false;
  });
  try {
    backup.Restore(archive, "");
  } catch (const std::exception& e) {
    plan.damage = e.what();
    plan.damagedVolume = backup.Result().volume;
  }
  plan.complete = backup.FContinue;
  return plan;
}

std::vector<NameClash> findClashes(const std::vector<std::string>& storedNames,
                                   const std::vector<std::string>& targets) {
  std::map<std::string, size_t> byTarget;  // folded target -> index into clashes
  std::vector<NameClash> groups;
  for (size_t i = 0; i < targets.size() && i < storedNames.size(); ++i) {
    auto [it, fresh] = byTarget.emplace(foldCase(targets[i]), groups.size());
    if (fresh) groups.push_back({targets[i], {}});
    groups[it->second].storedNames.push_back(storedNames[i]);
  }
  std::vector<NameClash> clashes;
  for (auto& g : groups)
    if (g.storedNames.size() > 1) clashes.push_back(std::move(g));
  return clashes;
}

std::string commonDirectory(const std::vector<std::string>& paths) {
  if (paths.empty()) return {};
  auto directoryOf = [](const std::string& p) {
    auto slash = p.find_last_of('\\');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
  };
  // Kept with its trailing backslash while it shrinks, so that a prefix
  // always ends at a component boundary.
  std::string common = directoryOf(paths.front());
  for (const auto& p : paths) {
    std::string dir = directoryOf(p);
    size_t n = 0;
    while (n < common.size() && n < dir.size() && lower(common[n]) == lower(dir[n])) ++n;
    common = common.substr(0, n);
    common = directoryOf(common);
  }
  if (common.size() > 3 && common.back() == '\\') common.pop_back();
  return common;
}

}  // namespace setupkit
