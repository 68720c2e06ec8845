#include "engine/restore_target.h"

#include <climits>
#include <cstring>

#include "engine/backup_file.h"
#include "framework/core/path_utils.h"
#include "platform/dos_time.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace {

constexpr const char* kLeavesDestination = "the name leaves the destination directory";
constexpr const char* kLinkInPath = "a symbolic link in the path";
constexpr const char* kNulInName = "the name holds a NUL byte";
// Levels whose descriptors a walk keeps besides its anchor: enough for any
// real tree, few enough that a path thousands of levels deep stays within the
// process's descriptor limit.
constexpr size_t kKeptLevels = 32;

// A component that names no entry of its own directory: it would climb out,
// stay in place, or name another drive.
bool climbs(const std::string& part) { return part == "." || part == ".." || part.find(':') != std::string::npos; }

std::string systemReason() {
  std::string reason = platform::lastErrorMessage();
  return reason.empty() ? "the path has no place on this system" : reason;
}

// The name without its "." directory components (S\.\A.TXT is S\A.TXT):
// they stay in place, so the name means the same file without them, and
// whatever compares targets (the clash check) sees the real name. A "." at
// the end names no file and is left to be refused.
std::string withoutDotDirectories(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) {
      out.append(name, start, std::string::npos);
      break;
    }
    if (!(end - start == 1 && name[start] == '.')) out.append(name, start, end - start + 1);
    start = end + 1;
  }
  return out;
}

}  // namespace

TRestoreTarget::TRestoreTarget(std::string targetDir) : targetDir_(std::move(targetDir)) {}

std::string TRestoreTarget::targetOf(const std::string& storedName, bool fullPath) const {
  if (targetDir_.empty()) return storedName;
  if (!fullPath) return targetDir_ + flatRestoreName(storedName);
  return targetDir_ + (storedName.size() > 3 ? withoutDotDirectories(storedName.substr(3)) : std::string());
}

bool TRestoreTarget::route(const std::string& target, Route& out, std::string& reason) const {
  // The host ends a name at a NUL: what would be written is not what the
  // archive names.
  if (target.find('\0') != std::string::npos) {
    reason = kNulInName;
    return false;
  }
  std::vector<std::string> parts;
  if (!targetDir_.empty() && target.compare(0, targetDir_.size(), targetDir_) == 0) {
    out.anchor = targetDir_;
    out.isDestination = true;
    const std::string relative = target.substr(targetDir_.size());
    // A name that starts at a root of its own ("C:\\X", "C:\/X") is no name
    // below the destination.
    if (!relative.empty() && (relative[0] == '\\' || relative[0] == '/')) {
      reason = kLeavesDestination;
      return false;
    }
    parts = fw::pathComponents(relative);
    for (const auto& part : parts)
      if (climbs(part)) {
        reason = kLeavesDestination;
        return false;
      }
  } else {
    // Elsewhere the walk starts at the drive's root. A ".." is refused here
    // too: folding it away would hide where the name leads.
    const std::string full = platform::expandPath(target);
    for (const auto& part : fw::pathComponents(target))
      if (part == "..") {
        reason = kLeavesDestination;
        return false;
      }
    const std::string drive = fw::drivePart(full);
    out.anchor = drive + "\\";
    parts = fw::pathComponents(full.substr(drive.size()));
  }
  if (parts.empty()) {
    reason = kLeavesDestination;
    return false;
  }
  out.file = std::move(parts.back());
  parts.pop_back();
  out.directories = std::move(parts);
  return true;
}

std::string TRestoreTarget::refusalOf(const std::string& storedName) {
  const TRestoreTarget placement("C:\\D\\");
  Route r;
  std::string reason;
  if (!placement.route(placement.targetOf(storedName, true), r, reason)) return reason;
  return lengthRefusal(r);
}

std::string TRestoreTarget::lengthRefusal(const Route& route) {
  size_t length = 1 + route.file.size();
  bool nameTooLong = route.file.size() > NAME_MAX;
  for (const auto& part : route.directories) {
    length += 1 + part.size();
    nameTooLong = nameTooLong || part.size() > NAME_MAX;
  }
  if (nameTooLong || length >= PATH_MAX) return std::strerror(ENAMETOOLONG);
  return {};
}

bool TRestoreTarget::isNulRefusal(const std::string& reason) { return reason == kNulInName; }

bool TRestoreTarget::openAnchor(const Route& route, bool create, std::string& reason) {
  if (route.anchor == anchor_ && !levels_.empty()) return true;
  levels_.clear();
  anchor_.clear();
  auto host = platform::hostPathOf(route.anchor);
  if (!host) {
    reason = systemReason();
    return false;
  }
  auto directory = platform::OpenDirectory::open(*host);
  // The destination is made when it is missing, through whatever links the
  // user's path holds.
  if (!directory && route.isDestination && create && platform::lastError() == platform::kErrorFileNotFound) {
    if (!fw::forceDirectories(route.anchor)) {
      reason = systemReason();
      return false;
    }
    directory = platform::OpenDirectory::open(*host, true);
  }
  if (!directory) {
    // A destination that is not there yet holds no file.
    if (!create && platform::lastError() == platform::kErrorFileNotFound) return false;
    reason = systemReason();
    return false;
  }
  anchor_ = route.anchor;
  links_ = route.isDestination ? platform::LinkRule::Refuse : platform::LinkRule::Trusted;
  levels_.push_back(Level{{}, {}, std::move(directory)});
  return true;
}

std::shared_ptr<platform::OpenDirectory> TRestoreTarget::directoryAt(size_t i) {
  size_t open = i;
  while (!levels_[open].directory) --open;
  for (size_t k = open + 1; k <= i; ++k) {
    levels_[k].directory = levels_[k - 1].directory->openChild(levels_[k].real, links_);
    if (!levels_[k].directory) {
      levels_.resize(k);
      return nullptr;
    }
  }
  return levels_[i].directory;
}

std::shared_ptr<platform::OpenDirectory> TRestoreTarget::enter(const Route& route, bool create, std::string& reason) {
  // The host refuses longer paths and names; refusing them here first keeps a
  // damaged name thousands of levels deep from making any directory.
  reason = lengthRefusal(route);
  if (!reason.empty()) return nullptr;
  if (!openAnchor(route, create, reason)) return nullptr;
  size_t length = 1 + route.file.size();
  for (const auto& part : route.directories) length += 1 + part.size();
  if (levels_[0].directory->hostPath().size() + length >= PATH_MAX) {
    reason = std::strerror(ENAMETOOLONG);
    return nullptr;
  }

  size_t depth = 0;
  for (const std::string& asked : route.directories) {
    if (depth + 1 < levels_.size() && levels_[depth + 1].asked == asked) {
      ++depth;
      continue;
    }
    auto parent = directoryAt(depth);
    if (!parent) {
      reason = platform::OpenDirectory::linkRefused() ? kLinkInPath : systemReason();
      return nullptr;
    }
    std::string real = parent->realName(asked);
    if (depth + 1 < levels_.size() && !real.empty() && levels_[depth + 1].real == real) {
      levels_[depth + 1].asked = asked;
      ++depth;
      continue;
    }
    levels_.resize(depth + 1);
    std::shared_ptr<platform::OpenDirectory> child;
    if (!real.empty()) {
      child = parent->openChild(real, links_);
      // A directory that another program removed meanwhile is made again.
      if (!child && create && platform::lastError() == platform::kErrorFileNotFound) real.clear();
    }
    if (real.empty()) {
      if (!create) return nullptr;
      child = parent->makeChild(asked);
      real = asked;
    }
    if (!child) {
      reason = platform::OpenDirectory::linkRefused() ? kLinkInPath : systemReason();
      return nullptr;
    }
    levels_.push_back(Level{asked, std::move(real), std::move(child)});
    ++depth;
    if (depth > kKeptLevels) levels_[depth - kKeptLevels].directory.reset();
  }
  levels_.resize(depth + 1);
  auto directory = directoryAt(depth);
  if (!directory) reason = platform::OpenDirectory::linkRefused() ? kLinkInPath : systemReason();
  return directory;
}

int32_t TRestoreTarget::age(const std::string& target) {
  Route r;
  std::string reason;
  if (!route(target, r, reason)) return -1;
  auto directory = enter(r, false, reason);
  if (!directory) return -1;
  const std::string real = directory->realName(r.file);
  struct stat st {};
  if (real.empty() || !directory->statEntry(real, st) || S_ISDIR(st.st_mode)) return -1;
  return int32_t(platform::unixToDosDateTime(st.st_mtim.tv_sec));
}

std::unique_ptr<TRestoreOutput> TRestoreTarget::create(const std::string& target, std::string& reason) {
  Route r;
  if (!route(target, r, reason)) return nullptr;
  // Once more from the anchor when the directory went away under an open
  // descriptor (another program removed it): it is made again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto directory = enter(r, true, reason);
    if (!directory) return nullptr;
    const std::string real = directory->realName(r.file);
    auto output = TRestoreOutput::create(target, directory, real.empty() ? r.file : real, reason);
    if (output || attempt > 0 || platform::lastError() != platform::kErrorFileNotFound) return output;
    levels_.resize(1);
  }
  return nullptr;
}

bool TRestoreTarget::makeDirectory(const std::string& target, std::string& reason) {
  Route r;
  if (!route(target, r, reason)) return false;
  r.directories.push_back(std::move(r.file));
  r.file.clear();
  if (enter(r, true, reason)) return true;
  if (reason.empty()) reason = systemReason();
  return false;
}

bool TRestoreTarget::makeLink(const std::string& target, const std::string& text, std::string& reason) {
  Route r;
  if (!route(target, r, reason)) return false;
  auto directory = enter(r, true, reason);
  if (!directory) {
    if (reason.empty()) reason = systemReason();
    return false;
  }
  const std::string real = directory->realName(r.file);
  if (directory->makeLink(real.empty() ? r.file : real, text)) return true;
  reason = systemReason();
  return false;
}
