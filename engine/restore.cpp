// The restore driver: walks the archive's entry records across volumes and
// recreates each file below the destination.
#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/backup_file.h"
#include "framework/core/application_services.h"
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

// Reads a volume file through a buffer: the entry records and chunk lengths
// are 4-byte reads, and one system call each made the restore of many small
// files slow. Only volumes this restore opens are wrapped; the owner's source
// stream is read as it is, its position being the owner's business.
class VolumeReader : public TStream {
 public:
  explicit VolumeReader(TStream& file) : file_(file), buffer_(new uint8_t[kCapacity]) {}
  int64_t read(void* buffer, int64_t count) override {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
      if (next_ == end_) {
        // A large read bypasses the buffer; a small one refills it.
        if (count - done >= kCapacity) {
          int64_t n = file_.read(out + done, count - done);
          if (n <= 0) break;
          done += n;
          base_ += n;
          continue;
        }
        if (!refill()) break;
      }
      int64_t n = std::min(count - done, end_ - next_);
      std::memcpy(out + done, buffer_.get() + next_, size_t(n));
      next_ += n;
      done += n;
    }
    return done;
  }
  int64_t write(const void*, int64_t) override { return 0; }
  int64_t seek(int64_t offset, SeekOrigin origin) override {
    const int64_t here = base_ + next_;
    if (origin == platform::kSeekCurrent && offset >= -next_ && offset <= end_ - next_) {
      next_ += offset;
      return here + offset;
    }
    int64_t target = origin == platform::kSeekCurrent ? here + offset : offset;
    int64_t at = origin == platform::kSeekEnd ? file_.seek(offset, platform::kSeekEnd)
                                              : file_.seek(target, platform::kSeekBegin);
    base_ = at;
    next_ = end_ = 0;
    return at;
  }

 private:
  static constexpr int64_t kCapacity = 65536;
  bool refill() {
    base_ += end_;
    next_ = end_ = 0;
    int64_t n = file_.read(buffer_.get(), kCapacity);
    if (n <= 0) return false;
    end_ = n;
    return true;
  }
  TStream& file_;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t base_ = 0;  // file position of buffer_[0]
  int64_t next_ = 0;  // next byte to deliver
  int64_t end_ = 0;   // bytes in the buffer
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
  std::unique_ptr<TFileStream> volumeFile;
  std::unique_ptr<VolumeReader> volumeReader;  // declared after volumeFile: destroyed first
  TStream* volume = nullptr;
  if (!fromStream && !platform::fileExists(archiveName)) return false;

  FBusy = true;
  try {
    if (fromStream) {
      volume = FSourceStream;
    } else {
      volumeFile = std::make_unique<TFileStream>(archiveName, fmOpenRead | fmShareDenyNone);
      volumeFile->setPosition(0);
      volumeReader = std::make_unique<VolumeReader>(*volumeFile);
      volume = volumeReader.get();
    }
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

  bool doRestore = true;
  bool haveFileEntry = false;  // a volume change before any file has nothing to continue
  int32_t fileDate = 0;
  int32_t nameLength = 0;
  do {
    nameLength = volume->readInt32();
    if (nameLength <= 0) continue;  // 0 ends the loop; a negative length is filler
    std::string name = readText(*volume, nameLength);

    if (name.compare(0, 9, "NEXT:DISK") == 0) {
      // ---- volume change ----
      if (!fromStream) {
        volumeReader.reset();
        volumeFile.reset();
      }
      std::string volumeNumber = name.substr(9, 3);
      std::string diskNumber = volumeNumber.substr(std::min(volumeNumber.find_first_not_of('0'), volumeNumber.size()));
      if (volumeNumber.size() != 3 || diskNumber.empty() ||
          diskNumber.find_first_not_of("0123456789") != std::string::npos)
        throw Exception("Invalid archive type");
      const uint16_t diskId = uint16_t(std::stoi(diskNumber));

      if (fromStream) {
        // A stream has no neighbouring files: ask once; a handler of
        // OnNeedDisk may point FSourceStream at the next volume's data.
        if (OnNeedDisk)
          OnNeedDisk(this, diskId, FContinue);
        else
          FContinue = application().messageDlg("Please insert disk " + diskNumber + " and click OK to continue.",
                                               TMsgDlgType::mtInformation, buttonSet({mbOK, mbCancel}), 0) == mrOk;
      } else {
        do {
          if (OnNeedDisk)
            OnNeedDisk(this, diskId, FContinue);
          else
            FContinue = application().messageDlg("Please insert disk " + diskNumber + " and click OK to continue.",
                                                 TMsgDlgType::mtInformation, buttonSet({mbOK, mbCancel}), 0) == mrOk;
          archiveName = fw::changeExtension(archiveName, "." + volumeNumber);
        } while (!platform::fileExists(archiveName) && FContinue);
      }
      if (!FContinue) continue;

      if (fromStream) {
        volume = FSourceStream;
        if (!volume) throw EReadError();
      } else {
        volumeFile = std::make_unique<TFileStream>(archiveName, fmOpenRead | fmShareDenyNone);
        volumeFile->setPosition(0);
        volumeReader = std::make_unique<VolumeReader>(*volumeFile);
        volume = volumeReader.get();
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
      if (output) {
        TFileStream* stream = output.get();
        OnFileRestored(this, FCurrentFile, stream);
        stampAndClose(output, stream, fileDate);
      }
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
        bool exists = platform::fileExists(FCurrentFile);
        // DOS date-times compare as unsigned values, so dates from 2044 on
        // (the top bit set) still order correctly.
        bool older = exists && uint32_t(platform::fileAge(FCurrentFile)) < uint32_t(fileDate);
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
      if (output) {
        TFileStream* stream = output.get();
        OnFileRestored(this, FCurrentFile, stream);
        stampAndClose(output, stream, fileDate);
      }
    } else {
      ReadDataBlock(*volume, nullptr, false);
    }
  } while (nameLength != 0 && FContinue);

  volumeReader.reset();
  volumeFile.reset();
  const bool result = FErrorCode == 0 && FContinue;
  OnProgress(this, std::string(), 100, FContinue);
  FBusy = false;
  if (FErrorCode != 0) ReportError(FErrorCode);
  return result;
}
