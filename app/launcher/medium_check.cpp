#include "app/launcher/medium_check.h"

#include <cstdio>
#include <functional>
#include <memory>

#include "common/exit_status.h"
#include "common/host_paths.h"
#include "common/printable.h"
#include "common/tool_error.h"
#include "engine/backup_file.h"
#include "engine/record_reader.h"
#include "engine/restore_target.h"
#include "framework/core/buffered_read_stream.h"
#include "framework/core/path_utils.h"
#include "medium/medium_attributes.h"
#include "medium/volume_search.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace launcher {

namespace {

using setupkit::printable;

// Counts the decoded bytes and keeps none.
class TDiscardStream : public TStream {
 public:
  int64_t read(void*, int64_t) override { return 0; }
  int64_t write(const void*, int64_t count) override {
    size_ += count;
    return count;
  }
  int64_t seek(int64_t, SeekOrigin) override { return size_; }

 private:
  int64_t size_ = 0;
};

struct Walk {
  int status = setupkit::kExitOk;
  std::string problem;
  int files = 0, volumes = 1;
};

// Reads the archive's records across its volumes. Each file entry's data is
// decoded (`decode`) or stepped over; `onFile` gets its stored name.
Walk walkArchive(const LauncherMedium& medium, const Options& options, bool decode,
                 const std::function<void(const std::string&)>& onFile) {
  Walk walk;
  std::vector<std::string> folders;
  for (const auto& f : options.media) folders.push_back(setupkit::windowsPathOfArgument(f));
  TVolumeSearch search(medium.archive, folders);
  std::string volumeName = medium.archive;
  if (!platform::fileExists(volumeName))
    return {setupkit::kExitMissing, "The archive \"" + printable(shownVolume(medium, volumeName)) + "\" was not found"};
  TBackupFile backup(nullptr);
  backup.FContinue = true;  // nothing stops the reading but damage
  TDiscardStream sink;
  try {
    auto file = std::make_unique<TFileStream>(volumeName, fmOpenRead | fmShareDenyNone);
    auto reader = std::make_unique<TBufferedReadStream>(*file);
    archive_format::StreamSource source(*reader);
    archive_format::RecordReader<archive_format::StreamSource>(source).header();
    auto block = [&] {
      if (!backup.ReadDataBlock(*reader, decode ? &sink : nullptr, decode))
        throw Exception(TBackupFile::errorMessage(backup.FErrorCode == 0 ? 6 : backup.FErrorCode));
    };
    for (int current = 1;;) {
      archive_format::StreamSource records(*reader);
      archive_format::RecordReader reading(records);
      const archive_format::Record record = reading.next();
      using Kind = archive_format::Record::Kind;
      if (record.kind == Kind::End) break;
      if (record.kind == Kind::Filler) continue;
      if (record.kind == Kind::VolumeChange) {
        if (!archive_format::volumeFollows(current, record.nextVolume)) throw Exception("Invalid archive type");
        current = record.nextVolume;
        auto found = search.find(current);
        if (!found) {
          std::string looked;
          for (const auto& place : search.candidates(current)) looked += "\n  " + printable(hostOf(place));
          return {setupkit::kExitCancelled,
                  "volume " + std::to_string(current) + " (" + fw::fileNamePart(search.candidates(current).front()) +
                      ") is missing (name the folder that holds it with --media DIR); looked for:" + looked};
        }
        volumeName = *found;
        reader.reset();
        file = std::make_unique<TFileStream>(volumeName, fmOpenRead | fmShareDenyNone);
        reader = std::make_unique<TBufferedReadStream>(*file);
        ++walk.volumes;
        block();  // the rest of the last file's data
        continue;
      }
      reading.fileDate();
      if (record.kind == Kind::File) {
        ++walk.files;
        onFile(record.name);
      }
      block();
    }
  } catch (const std::exception& e) {
    return {setupkit::kExitDamaged, "cannot read " + printable(shownVolume(medium, volumeName)) + ": " + e.what()};
  }
  return walk;
}

}  // namespace

int checkMedium(const LauncherMedium& medium, const Options& options) {
  // The attributes first: an installation would refuse the medium for them.
  const auto archive = platform::hostPathOf(medium.archive);
  const ::medium::Loaded attributes = archive ? ::medium::loadForArchive(*archive) : ::medium::Loaded();
  if (attributes.state == ::medium::Loaded::State::Damaged) {
    std::fprintf(stderr, "setup: %s\n", printable(attributes.problem).c_str());
    return setupkit::kExitDamaged;
  }
  Walk walk = walkArchive(medium, options, true, [](const std::string&) {});
  if (walk.status != setupkit::kExitOk) {
    std::fprintf(stderr, "setup: %s\n", walk.problem.c_str());
    return walk.status;
  }
  std::printf("%s: sound, %d %s in %d %s\n", printable(medium.shownName).c_str(), walk.files,
              walk.files == 1 ? "file" : "files", walk.volumes, walk.volumes == 1 ? "volume" : "volumes");
  std::printf("%s: %s\n", printable(medium.shownName).c_str(),
              printable(medium_signature::describe(medium.signer)).c_str());
  return setupkit::kExitOk;
}

int listMedium(const LauncherMedium& medium, const Options& options) {
  // Below --dest, or where an installation without it would go: the earlier
  // installation of this product, else the destination SETUP.INS proposes.
  std::string dest =
      setupkit::windowsPathOfArgument(options.dest.empty() ? defaultDestination(medium).path : options.dest);
  TRestoreTarget target(fw::withTrailingBackslash(dest));
  const bool fullPath = keepsFolders(medium);
  Walk walk = walkArchive(medium, options, false, [&](const std::string& name) {
    std::printf("%s\n", printable(hostOf(target.targetOf(name, fullPath))).c_str());
  });
  if (walk.status != setupkit::kExitOk) std::fprintf(stderr, "setup: %s\n", walk.problem.c_str());
  return walk.status;
}

}  // namespace launcher
