// The restore driver: walks the archive's entry records across volumes and
// recreates each file below the destination.
#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/backup_file.h"
#include "framework/core/application_services.h"
#include "framework/core/buffered_read_stream.h"
#include "framework/core/exceptions.h"
#include "framework/core/path_utils.h"
#include "platform/files.h"

namespace {

constexpr int64_t kPiece = 65536;

// Reads `length` bytes into a string in pieces, so that a damaged length
// costs no more memory than the bytes the archive really holds.
std::string readText(TStream& s, int32_t length) {
  std::string text;
  int64_t left = length;
  while (left > 0) {
    int64_t n = std::min(left, kPiece);
    size_t at = text.size();
    text.resize(at + size_t(n));
    s.readBuffer(text.data() + at, n);
    left -= n;
  }
  return text;
}

bool isSeparatorOrColon(char c) { return c == '\\' || c == '/' || c == ':'; }

// The file-name part of a stored name for a flat restore. "/" counts as a
// separator too, since the platform treats it as one.
std::string flatName(const std::string& name) {
  auto p = name.find_last_of("\\/:");
  return p == std::string::npos ? name : name.substr(p + 1);
}

// A stored path below the destination must stay below it: no "..", no second
// root and no drive after the leading "C:\".
bool staysBelow(const std::string& relative) {
  if (!relative.empty() && (relative[0] == '\\' || relative[0] == '/')) return false;
  if (relative.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = start;
    while (end < relative.size() && !isSeparatorOrColon(relative[end])) ++end;
    if (relative.compare(start, end - start, "..") == 0 && end - start == 2) return false;
    start = end + 1;
  }
  return true;
}

// A volume file this restore opened, read through a buffer: entry records
// and chunk lengths are 4-byte reads, and one system call each made the
// restore of many small files slow. The owner's source stream is read as it
// is, its position being the owner's business.
class OwnedVolume {
 public:
  explicit OwnedVolume(const std::string& name) : file_(name, fmOpenRead | fmShareDenyNone), reader_(file_) {}
  TStream& stream() { return reader_; }

 private:
  TFileStream file_;
  TBufferedReadStream reader_;
};

// Closes an output file after stamping it with the entry's date. A failure to
// set the time is ignored.
void stampAndClose(std::unique_ptr<TFileStream>& file, TFileStream* stamped, int32_t fileDate) {
  if (stamped) platform::setFileDosTime(stamped->handle(), uint32_t(fileDate));
  file.reset();
}

}  // namespace

bool TBackupFile::Restore(const std::string& ArchiveName, const std::string& TargetDir) {
  std::string targetDir = TargetDir;
  if (!targetDir.empty() && targetDir.back() != '\\') targetDir += '\\';
  std::string archiveName = ArchiveName;
  const bool fromStream = archiveName == kStreamArchiveName;

  FErrorCode = 0;
  FRestoredCount = 0;
  FContinue = true;

  // The open volume: a file this restore owns, or the owner's stream.
  std::unique_ptr<OwnedVolume> ownedVolume;
  TStream* volume = nullptr;
  auto openVolume = [&] {
    ownedVolume = std::make_unique<OwnedVolume>(archiveName);
    volume = &ownedVolume->stream();
  };
  if (!fromStream && !platform::fileExists(archiveName)) return false;

  FBusy = true;
  try {
    if (fromStream)
      volume = FSourceStream;
    else
      openVolume();
    if (!volume) throw EReadError();
    int32_t headerTextLength = volume->readInt32();
    if (headerTextLength < 0) throw EReadError();
    for (int64_t left = headerTextLength; left > 0;) {
      char drop[4096];
      int64_t n = std::min<int64_t>(left, sizeof drop);
      volume->readBuffer(drop, n);
      left -= n;
    }
    FTotalSize = volume->readInt32();
    FHeaderExtra = volume->readInt32();
    FBytesDone = 0;
  } catch (const std::exception&) {
    FBusy = false;
    throw Exception("Cannot read archive");
  }

  // Reports a written file while it is still open, then stamps and closes it.
  int32_t fileDate = 0;
  auto finishFile = [&](std::unique_ptr<TFileStream>& output) {
    if (!output) return;
    TFileStream* stream = output.get();
    OnFileRestored(this, FCurrentFile, stream);
    stampAndClose(output, stream, fileDate);
  };

  bool doRestore = true;
  bool haveFileEntry = false;  // a volume change before any file has nothing to continue
  int32_t nameLength = 0;
  do {
    nameLength = volume->readInt32();
    if (nameLength <= 0) continue;  // 0 ends the loop; a negative length is filler
    std::string name = readText(*volume, nameLength);

    if (name.compare(0, 9, "NEXT:DISK") == 0) {
      // ---- volume change ----
      ownedVolume.reset();
      std::string volumeNumber = name.substr(9, 3);
      std::string diskNumber = volumeNumber.substr(std::min(volumeNumber.find_first_not_of('0'), volumeNumber.size()));
      if (volumeNumber.size() != 3 || diskNumber.empty() ||
          diskNumber.find_first_not_of("0123456789") != std::string::npos)
        throw Exception("Invalid archive type");
      const uint16_t diskId = uint16_t(std::stoi(diskNumber));

      auto askForDisk = [&] {
        if (OnNeedDisk)
          OnNeedDisk(this, diskId, FContinue);
        else
          FContinue = application().messageDlg("Please insert disk " + diskNumber + " and click OK to continue.",
                                               TMsgDlgType::mtInformation, buttonSet({mbOK, mbCancel}), 0) == mrOk;
      };
      if (fromStream) {
        // A stream has no neighbouring files: ask once; a handler of
        // OnNeedDisk may point FSourceStream at the next volume's data.
        askForDisk();
      } else {
        do {
          askForDisk();
          archiveName = fw::changeExtension(archiveName, "." + volumeNumber);
        } while (!platform::fileExists(archiveName) && FContinue);
      }
      if (!FContinue) continue;

      if (fromStream) {
        volume = FSourceStream;
        if (!volume) throw EReadError();
      } else {
        openVolume();
      }
      const bool continueFile = doRestore && haveFileEntry;
      std::unique_ptr<TFileStream> output;
      if (continueFile) {
        output = std::make_unique<TFileStream>(FCurrentFile, fmOpenWrite | fmShareExclusive);
        output->seek(0, platform::kSeekEnd);
      }
      try {
        ReadDataBlock(*volume, output.get(), continueFile);
      } catch (...) {
        stampAndClose(output, output.get(), fileDate);
        throw;
      }
      finishFile(output);
      continue;
    }

    // ---- file entry or file-list entry ----
    fileDate = volume->readInt32();
    haveFileEntry = true;
    bool leavesDestination = false;
    if (targetDir.empty()) {
      FCurrentFile = name;
    } else if (!RestoreFullPath) {
      FCurrentFile = targetDir + flatName(name);
    } else {
      std::string relative = name.size() > 3 ? name.substr(3) : std::string();
      leavesDestination = !staysBelow(relative);
      FCurrentFile = targetDir + relative;
    }
    const std::string computedTarget = FCurrentFile;

    switch (RestoreMode) {
      case rmAll: doRestore = true; break;
      case rmNoOverwrite: doRestore = !platform::fileExists(FCurrentFile); break;
      case rmNewer:
      case rmExistingNewer: {
        // fileAge is -1 exactly when no file exists (no DOS date-time is -1).
        const int32_t age = platform::fileAge(FCurrentFile);
        const bool exists = age != -1;
        // DOS date-times compare as unsigned values, so dates from 2044 on
        // (the top bit set) still order correctly.
        const bool older = exists && uint32_t(age) < uint32_t(fileDate);
        doRestore = RestoreMode == rmNewer ? (!exists || older) : older;
        break;
      }
      case rmExisting: doRestore = platform::fileExists(FCurrentFile); break;
    }

    if (name == "FILE:LIST") {
      doRestore = false;
    } else {
      OnRestoreFile(this, FCurrentFile, fileDate, doRestore);
    }

    std::unique_ptr<TFileStream> output;
    if (doRestore) {
      // A stored path that would leave the destination, or a directory that
      // cannot be created, fails the entry like a file that cannot be created.
      if ((leavesDestination && FCurrentFile == computedTarget) ||
          !fw::forceDirectories(fw::directoryPart(FCurrentFile))) {
        FErrorCode = 1;
        FContinue = false;
        continue;
      }
      try {
        output = std::make_unique<TFileStream>(FCurrentFile, fmCreate | fmShareExclusive);
        ReadDataBlock(*volume, output.get(), true);
        ++FRestoredCount;
      } catch (const std::exception&) {
        FErrorCode = 1;
        FContinue = false;
      }
      finishFile(output);
    } else {
      ReadDataBlock(*volume, nullptr, false);
    }
  } while (nameLength != 0 && FContinue);

  ownedVolume.reset();
  const bool result = FErrorCode == 0 && FContinue;
  OnProgress(this, std::string(), 100, FContinue);
  FBusy = false;
  if (FErrorCode != 0) ReportError(FErrorCode);
  return result;
}
