#include "tools/restore_plan.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "framework/core/exceptions.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/mapped_file.h"

namespace setupkit {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string foldCase(std::string s) {
  for (char& c : s) c = lower(c);
  return s;
}

}  // namespace

// The bytes of a mapped volume as a stream.
class MappedStream : public TStream {
 public:
  void view(const platform::MappedFile& file) {
    file_ = &file;
    size_ = file.size();
    position_ = 0;
  }
  // A volume cut while it is read is damage, as one cut before it was
  // opened: the read fails instead of the process ending on SIGBUS.
  int64_t read(void* buffer, int64_t count) override {
    const int64_t n = std::clamp<int64_t>(size_ - position_, 0, count);
    if (n > 0 && !file_->copy(buffer, position_, size_t(n))) throw EReadError();
    position_ += n;
    return n;
  }
  int64_t write(const void*, int64_t) override { return 0; }
  int64_t seek(int64_t offset, SeekOrigin origin) override {
    const int64_t base = origin == platform::kSeekBegin ? 0 : origin == platform::kSeekCurrent ? position_ : size_;
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
  }

 private:
  const platform::MappedFile* file_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

RestorePlan planRestore(const std::string& archive, const TNeedDiskEvent& needDisk,
                        const std::function<std::string(int, const std::string&)>& locate) {
  RestorePlan plan;
  TBackupFile backup(nullptr);
  // rmAll decides without looking at existing files; the handler declines
  // every entry anyway.
  backup.RestoreMode = rmAll;
  // An interrupt ends the look as a cancelled disk prompt does.
  backup.CancelFlag = &platform::interruptFlag();
  backup.OnRestoreFile = TRestoreFileEvent([&](TObject*, std::string& target, int32_t, bool& doRestore) {
    plan.targets.push_back(target);
    doRestore = false;
  });
  // The volumes are read mapped into memory: stepping over the data blocks
  // then touches only the pages of the records and chunk lengths, and copies
  // nothing. The next volume is asked for as the restore asks for it.
  std::string volume = archive;
  std::unique_ptr<platform::MappedFile> mapped = platform::MappedFile::open(volume);
  MappedStream stream;
  const bool streamed = mapped != nullptr;
  if (streamed) {
    stream.view(*mapped);
    backup.FSourceStream = &stream;
    backup.OnNeedDisk = TNeedDiskEvent([&](TObject* sender, uint16_t disk, bool& cont) {
      std::string next;
      do {
        needDisk(sender, disk, cont);
        next = archive_format::volumeFileName(volume, disk);
        if (locate) next = locate(disk, next);
      } while (cont && !platform::fileExists(next));
      if (!cont) return;
      volume = next;
      mapped = platform::MappedFile::open(volume);
      if (mapped)
        stream.view(*mapped);
      else
        backup.FSourceStream = nullptr;  // read as missing data
    });
  } else {
    backup.OnNeedDisk = needDisk;
    backup.LocateVolume = locate;
  }
  try {
    backup.Restore(streamed ? kStreamArchiveName : archive, "");
  } catch (const std::exception& e) {
    plan.damage = e.what();
    plan.damagedVolume = streamed ? volume : backup.Result().volume;
    // A restore stays busy when its entries, not its header, could not be read.
    if (backup.FBusy) plan.damagedOffset = backup.Result().offset;
  }
  plan.complete = backup.FContinue;
  return plan;
}

std::vector<NameClash> findClashes(const std::vector<std::string>& storedNames,
                                   const std::vector<std::string>& targets) {
  // Each entry's group is the first entry of the same folded target; only
  // groups of more than one entry are collected, in archive order.
  const size_t n = std::min(targets.size(), storedNames.size());
  std::unordered_map<std::string, size_t> firstOf;
  firstOf.reserve(n);
  std::vector<size_t> first(n), count(n, 0);
  for (size_t i = 0; i < n; ++i) {
    first[i] = firstOf.emplace(foldCase(targets[i]), i).first->second;
    ++count[first[i]];
  }
  std::vector<NameClash> clashes;
  std::unordered_map<size_t, size_t> clashOf;  // first entry -> index into clashes
  for (size_t i = 0; i < n; ++i) {
    if (count[first[i]] < 2) continue;
    auto [it, fresh] = clashOf.emplace(first[i], clashes.size());
    if (fresh) clashes.push_back({targets[first[i]], {}});
    clashes[it->second].storedNames.push_back(storedNames[i]);
  }
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
