#include "engine/memory_target.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/dos_time.h"
#include "platform/errors.h"

namespace {

std::string folded(const std::string& name) {
  std::string out(name);
  for (char& c : out) c = char(std::tolower((unsigned char)c));
  return out;
}

std::string systemText(int code) {
  errno = code;
  platform::failFromErrno();
  return std::strerror(code);
}

// A file written into an anonymous memory file. Completing it records its
// size and date in the tree; discarding a new one takes it out again, an old
// version stays as it was.
class MemoryOutput : public TRestoreOutput {
 public:
  MemoryOutput(const std::string& path, int fd, TMemoryFiles::Node& parent, std::string key, bool isNew)
      : parent_(parent), key_(std::move(key)), isNew_(isNew) {
    stream_ = std::make_unique<TFileStream>(path, platform::FileHandle{fd});
  }
  ~MemoryOutput() override {
    if (!completed_) discard();
  }

  bool complete(TFileStream* stamped, uint32_t fileDate) override {
    TMemoryFiles::Node& node = *parent_.children.at(key_);
    node.size = stream_->size();
    node.date = stamped ? int32_t(fileDate) : int32_t(platform::unixToDosDateTime(time(nullptr)));
    stream_.reset();
    completed_ = true;
    return true;
  }
  void discard() override {
    stream_.reset();
    if (isNew_) parent_.children.erase(key_);
    completed_ = true;
  }

 private:
  TMemoryFiles::Node& parent_;
  std::string key_;
  bool isNew_;
};

}  // namespace

TMemoryRestoreTarget::TMemoryRestoreTarget(std::string targetDir, TMemoryFiles& files)
    : TRestoreTarget(std::move(targetDir)), files_(files) {}

TMemoryFiles::Node* TMemoryRestoreTarget::parentOf(const Route& route, bool create, std::string& reason) {
  reason = lengthRefusal(route);
  if (!reason.empty()) return nullptr;
  auto root = files_.roots.find(route.anchor);
  if (root == files_.roots.end()) {
    if (!create) return nullptr;
    root = files_.roots.emplace(route.anchor, TMemoryFiles::Node()).first;
    root->second.directory = true;
    root->second.name = route.anchor;
  }
  TMemoryFiles::Node* node = &root->second;
  for (const std::string& name : route.directories) {
    auto& child = node->children[folded(name)];
    if (!child) {
      if (!create) {
        node->children.erase(folded(name));
        return nullptr;
      }
      child = std::make_unique<TMemoryFiles::Node>();
      child->directory = true;
      child->name = name;
    } else if (!child->directory) {
      reason = systemText(ENOTDIR);
      return nullptr;
    }
    node = child.get();
  }
  return node;
}

int32_t TMemoryRestoreTarget::age(const std::string& target) {
  Route r;
  std::string reason;
  if (!route(target, r, reason)) return -1;
  TMemoryFiles::Node* parent = parentOf(r, false, reason);
  if (!parent) return -1;
  auto file = parent->children.find(folded(r.file));
  return file == parent->children.end() || file->second->directory ? -1 : file->second->date;
}

std::unique_ptr<TRestoreOutput> TMemoryRestoreTarget::create(const std::string& target, std::string& reason) {
  Route r;
  if (!route(target, r, reason)) return nullptr;
  TMemoryFiles::Node* parent = parentOf(r, true, reason);
  if (!parent) return nullptr;
  const std::string key = folded(r.file);
  auto& file = parent->children[key];
  const bool isNew = !file;
  if (isNew) {
    file = std::make_unique<TMemoryFiles::Node>();
    file->name = r.file;
  } else if (file->directory) {
    reason = systemText(EISDIR);
    return nullptr;
  }
  const int fd = memfd_create("restore", MFD_CLOEXEC);
  if (fd < 0) {
    reason = systemText(errno);
    if (isNew) parent->children.erase(key);
    return nullptr;
  }
  return std::make_unique<MemoryOutput>(target, fd, *parent, key, isNew);
}
