// The restore driver: walks the archive's entry records across volumes and
// recreates each file below the destination.
#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/backup_file.h"
#include "engine/decode_ahead.h"
#include "engine/restore_output.h"
#include "engine/restore_target.h"
#include "framework/core/application_services.h"
#include "framework/core/buffered_read_stream.h"
#include "framework/core/exceptions.h"
#include "framework/core/path_utils.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/paths.h"

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

// A volume file this restore opened, read through a buffer: entry records
// and chunk lengths are 4-byte reads, and one system call each made the
// restore of many small files slow. The owner's source stream is read as it
// is, its position being the owner's business.
class OwnedVolume {
 public:
  explicit OwnedVolume(const std::string& name)
      : name_(name), file_(name, fmOpenRead | fmShareDenyNone), reader_(file_) {}
  TStream& stream() { return reader_; }
  // Starts decoding the chunks that follow the current position on another
  // thread; it stops with the volume.
  TDecodeAhead* decodeAhead(TDecodeAhead::Start start) {
    ahead_ = std::make_unique<TDecodeAhead>(name_, reader_.position(), start);
    return ahead_.get();
  }

 private:
  std::string name_;
  TFileStream file_;
  TBufferedReadStream reader_;
  std::unique_ptr<TDecodeAhead> ahead_;
};

// Why a file could not be written: the system's text when the file itself
// could not be created or written, the exception's message when the archive's
// data could not be read or decoded (`reading`).
struct Failure {
  std::string reason;
  bool reading = false;
};
Failure failureOf(const std::exception& e) {
  if (dynamic_cast<const EWriteError*>(&e) || dynamic_cast<const EFCreateError*>(&e)) {
    std::string system = platform::lastErrorMessage();
    if (!system.empty()) return {system, false};
  }
  return {e.what(), !dynamic_cast<const EWriteError*>(&e)};
}

// Whether the last file is complete, learnt from the next entry record (past
// any filler): it is unless that record is a volume change. When the record
// cannot be read, nobody can tell whether the file continues in a next volume.
bool nextRecordEndsTheFile(TStream& volume) {
  try {
    int32_t nameLength = 0;
    do nameLength = volume.readInt32();
    while (nameLength < 0);
    if (nameLength == 0) return true;
    return !isVolumeChangeName(readText(volume, std::min(nameLength, 9)));
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::string flatRestoreName(const std::string& storedName) {
  auto p = storedName.find_last_of("\\/:");
  return p == std::string::npos ? storedName : storedName.substr(p + 1);
}

bool TBackupFile::Restore(const std::string& ArchiveName, const std::string& TargetDir) {
  std::string targetDir = TargetDir;
  if (!targetDir.empty() && targetDir.back() != '\\') targetDir += '\\';
  std::string archiveName = ArchiveName;
  const bool fromStream = archiveName == kStreamArchiveName;

  FErrorCode = 0;
  FRestoredCount = 0;
  FContinue = true;
  FResult = TRestoreResult();
  FResult.volume = archiveName;

  // The open volume: a file this restore owns, or the owner's stream.
  std::unique_ptr<OwnedVolume> ownedVolume;
  TStream* volume = nullptr;
  // Chunks are decoded ahead in a volume this restore owns, and never after
  // it is closed.
  struct AheadReset {
    TDecodeAhead*& ahead;
    ~AheadReset() { ahead = nullptr; }
  } aheadReset{FDecodeAhead};
  auto openVolume = [&] {
    FResult.volume = archiveName;
    FResult.offset = 0;
    ownedVolume = std::make_unique<OwnedVolume>(archiveName);
    volume = &ownedVolume->stream();
  };
  // The thread starts with the first data block that is written: a restore
  // that skips every entry (a look at the names before writing) needs none.
  auto decodeAhead = [&] {
    if (ownedVolume && !FDecodeAhead) FDecodeAhead = ownedVolume->decodeAhead(TDecodeAhead::Start::AtBlock);
  };
  auto closeVolume = [&] {
    FDecodeAhead = nullptr;
    ownedVolume.reset();
  };
  if (!fromStream && !platform::fileExists(archiveName)) {
    FResult.status = TRestoreResult::Status::Missing;
    return false;
  }
  FResult.status = TRestoreResult::Status::Running;

  // Where the files go, reached from open directories.
  TRestoreTarget target(targetDir);
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
    FResult.status = TRestoreResult::Status::Raised;
    FResult.reason = "Cannot read archive";
    throw Exception(FResult.reason);
  }

  int32_t fileDate = 0;
  // The file being restored. Its data is complete so far, but it is finished
  // only when the next entry record shows that it does not continue in the
  // next volume: a file cut short by a failure or a cancelled disk prompt
  // must never look complete.
  std::unique_ptr<TRestoreOutput> pending;
  auto noteFailure = [&](const Failure& failure) {
    FResult.file = FCurrentFile;
    FResult.reason = failure.reason;
    FResult.reading = failure.reading;
  };
  auto fail = [&](int32_t code, const Failure& failure) {
    FErrorCode = code;
    FContinue = false;
    noteFailure(failure);
  };
  // Ends the pending file: reported while still open, stamped after the
  // report, given its name, and only then counted.
  auto finishFile = [&] {
    if (!pending) return;
    std::unique_ptr<TRestoreOutput> output = std::move(pending);
    TFileStream* stream = output->stream();
    OnFileRestored(this, FCurrentFile, stream);
    if (output->complete(stream, uint32_t(fileDate)))
      ++FRestoredCount;
    else
      fail(1, {platform::lastErrorMessage()});
  };
  // Writes a data block into the pending file; drops the file when the block
  // stops short of its end.
  auto writeBlock = [&] {
    if (ReadDataBlock(*volume, pending->stream(), true)) return;
    if (FErrorCode == 6) noteFailure({errorMessage(6), true});
    pending.reset();
  };

  bool doRestore = true;
  int currentVolume = 1;
  // The entry loop: until the end marker, a failure, or a stop.
  auto entryLoop = [&] {
    for (;;) {
      FResult.offset = volume->position();
      int32_t nameLength = 0;
      std::string name;
      try {
        nameLength = volume->readInt32();
        if (nameLength > 0) name = readText(*volume, nameLength);
      } catch (const std::exception& e) {
        // The record after the last file cannot be read: it may have announced
        // that the file continues in a next volume, so the file is not complete.
        if (pending) noteFailure({e.what(), true});
        pending.reset();
        throw;
      }
      if (nameLength < 0) continue;  // filler
      const bool volumeChange = isVolumeChangeName(name);
      if (!volumeChange) {
        finishFile();
        if (nameLength == 0 || !FContinue) break;
      }

      if (volumeChange) {
        // ---- volume change ----
        closeVolume();
        const int nextVolume = archive_format::volumeNumberOf(name);
        if (!archive_format::volumeFollows(currentVolume, nextVolume)) throw Exception("Invalid archive type");
        currentVolume = nextVolume;
        const uint16_t diskId = uint16_t(currentVolume);

        auto askForDisk = [&] {
          if (OnNeedDisk)
            OnNeedDisk(this, diskId, FContinue);
          else
            FContinue = application().messageDlg("Please insert disk " + std::to_string(diskId) + " and click OK to continue.",
                                                 TMsgDlgType::mtInformation, buttonSet({mbOK, mbCancel}), 0) == mrOk;
        };
        if (fromStream) {
          // A stream has no neighbouring files: ask once; a handler of
          // OnNeedDisk may point FSourceStream at the next volume's data.
          askForDisk();
        } else {
          do {
            askForDisk();
            archiveName = archive_format::volumeFileName(archiveName, currentVolume);
          } while (!platform::fileExists(archiveName) && FContinue);
        }
        if (!FContinue) {
          pending.reset();  // its rest lies on the disk that did not come
          break;
        }

        if (fromStream) {
          volume = FSourceStream;
          if (!volume) throw EReadError();
        } else {
          openVolume();
        }
        if (pending) {
          decodeAhead();
          try {
            writeBlock();
          } catch (const EWriteError& e) {
            // The file cannot be written on (the disk is full): it fails as in
            // its first part.
            const Failure failure = failureOf(e);
            pending.reset();
            fail(1, failure);
            break;
          } catch (const std::exception& e) {
            noteFailure(failureOf(e));
            throw;
          }
        } else {
          ReadDataBlock(*volume, nullptr, false);
        }
        if (!FContinue) break;
        continue;
      }

      // ---- file entry or file-list entry ----
      fileDate = volume->readInt32();
      FCurrentFile = target.targetOf(name, RestoreFullPath);

      switch (RestoreMode) {
        case rmAll: doRestore = true; break;
        case rmNoOverwrite: doRestore = target.age(FCurrentFile) == -1; break;
        case rmNewer:
        case rmExistingNewer: {
          // fileAge is -1 exactly when no file exists (no DOS date-time is -1).
          const int32_t age = target.age(FCurrentFile);
          const bool exists = age != -1;
          // DOS date-times compare as unsigned values, so dates from 2044 on
          // (the top bit set) still order correctly.
          const bool older = exists && uint32_t(age) < uint32_t(fileDate);
          doRestore = RestoreMode == rmNewer ? (!exists || older) : older;
          break;
        }
        case rmExisting: doRestore = target.age(FCurrentFile) != -1; break;
      }

      if (name == archive_format::kFileListName) {
        doRestore = false;
      } else {
        OnRestoreFile(this, FCurrentFile, fileDate, doRestore);
      }

      if (doRestore) {
        // A target without a directory raises as making an unnamed directory does.
        if (fw::directoryPart(FCurrentFile).empty()) fw::forceDirectories(std::string());
        // A name that would leave the destination, a link in the path or a
        // directory that cannot be made fails the entry like a file that
        // cannot be created.
        std::string reason;
        pending = target.create(FCurrentFile, reason);
        if (!pending) {
          fail(1, {reason});
          break;
        }
        try {
          decodeAhead();
          writeBlock();
        } catch (const std::exception& e) {
          const Failure failure = failureOf(e);  // before the removal sets another error
          pending.reset();
          fail(1, failure);
        }
      } else {
        ReadDataBlock(*volume, nullptr, false);
      }
      if (!FContinue) break;
    }
  };
  try {
    entryLoop();
  } catch (const std::exception& e) {
    // The archive cannot be read on (the exception leaves the restore).
    FResult.status = TRestoreResult::Status::Raised;
    FResult.reason = e.what();
    FResult.reading = true;
    throw;
  }

  // Stopped just as a file's data ended (Continue cleared by OnProgress at the
  // block's end): the file is complete unless the archive continues it, or
  // might.
  if (pending) {
    if (nextRecordEndsTheFile(*volume))
      finishFile();
    else
      pending.reset();
  }

  closeVolume();
  const bool result = FErrorCode == 0 && FContinue;
  FResult.errorCode = FErrorCode;
  FResult.status = result ? TRestoreResult::Status::Completed
                   : FErrorCode != 0 ? TRestoreResult::Status::Failed
                                     : TRestoreResult::Status::Stopped;
  OnProgress(this, std::string(), 100, FContinue);
  FBusy = false;
  if (FErrorCode != 0) ReportError(FErrorCode);
  return result;
}
