// The restore driver: walks the archive's entry records across volumes and
// recreates each file below the destination.
#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/backup_file.h"
#include "engine/decode_ahead.h"
#include "engine/record_reader.h"
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
// data could not be read or decoded (`reading`). An exception an event
// handler raised (`fromHandler`) is the handler's, not the archive's.
struct Failure {
  std::string reason;
  bool reading = false;
};
Failure failureOf(const std::exception& e, bool fromHandler) {
  if (dynamic_cast<const EWriteError*>(&e) || dynamic_cast<const EFCreateError*>(&e)) {
    std::string system = platform::lastErrorMessage();
    if (!system.empty()) return {system, false};
  }
  return {e.what(), !fromHandler && !dynamic_cast<const EWriteError*>(&e)};
}

// Whether the last file is complete, learnt from the next entry record (past
// any filler): it is unless that record is a volume change. When the record
// cannot be read, nobody can tell whether the file continues in a next volume.
bool nextRecordEndsTheFile(TStream& volume) {
  using archive_format::Record;
  try {
    archive_format::StreamSource source(volume);
    archive_format::RecordReader records(source);
    Record record;
    do record = records.next();
    while (record.kind == Record::Kind::Filler);
    return record.kind != Record::Kind::VolumeChange;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::string flatRestoreName(const std::string& storedName) {
  auto p = storedName.find_last_of("\\/:");
  return p == std::string::npos ? storedName : storedName.substr(p + 1);
}

// One run of Restore: the volume it reads, the file it writes, and the
// restore's steps. Restore() below reads as those steps.
class TRestoreRun {
 public:
  TRestoreRun(TBackupFile& owner, const std::string& archiveName, const std::string& targetDir);
  ~TRestoreRun() {
    b_.FDecodeAhead = nullptr;
    b_.FCheckingFile = nullptr;
  }

  // Whether the archive is there: a stream always is, a file must exist.
  bool archiveFound();
  // Opens the archive and reads its header; raises "Cannot read archive".
  void readHeader();
  // The entry loop, across volumes, until the end marker, a failure or a
  // stop. Exceptions leave it after they are recorded in the result.
  void restoreEntries();
  // Closes the last volume, fires the final 100 and reports an error code.
  bool end();

 private:
  // Each step answers whether the loop goes on.
  bool nextEntry();
  bool changeVolume(int nextVolume);
  bool restoreEntry(const archive_format::Record& entry);
  bool wanted(const archive_format::Record& entry);
  bool writeFile(const std::string& storedName);
  void askForDisk(uint16_t disk);

  // Ends the pending file: reported while still open, stamped after the
  // report, given its name, and only then counted.
  void finishFile();
  // Writes a data block into the pending file; drops the file when the block
  // stops short of its end.
  void writeBlock();
  void openVolume();
  void closeVolume();
  // The decoding thread starts with the first data block that is written: a
  // restore that skips every entry (a look at the names before writing)
  // needs none.
  void decodeAhead();
  void noteFailure(const Failure& failure);
  void fail(int32_t code, const Failure& failure);
  Failure failureOf(const std::exception& e) const { return ::failureOf(e, b_.FHandlerRaised); }
  // Runs an event handler, marking what it raises as not the archive's fault.
  template <class Call>
  void handler(Call&& call) {
    try {
      call();
    } catch (...) {
      b_.FHandlerRaised = true;
      throw;
    }
  }

  TBackupFile& b_;
  std::string archiveName_;
  const bool fromStream_;
  // Where the files go: reached from open directories, or in memory.
  std::unique_ptr<TRestoreTarget> target_;
  // The open volume: a file this restore owns, or the owner's stream.
  std::unique_ptr<OwnedVolume> owned_;
  TStream* volume_ = nullptr;
  int currentVolume_ = 1;
  // The file being restored. Its data is complete so far, but it is finished
  // only when the next entry record shows that it does not continue in the
  // next volume: a file cut short by a failure or a cancelled disk prompt
  // must never look complete.
  std::unique_ptr<TRestoreOutput> pending_;
  int32_t fileDate_ = 0;
  // A target without a directory raised "Unable to create directory".
  bool bareName_ = false;
};

TRestoreRun::TRestoreRun(TBackupFile& owner, const std::string& archiveName, const std::string& targetDir)
    : b_(owner), archiveName_(archiveName), fromStream_(archiveName == kStreamArchiveName) {
  const std::string dir = !targetDir.empty() && targetDir.back() != '\\' ? targetDir + '\\' : targetDir;
  target_ = b_.MakeTarget ? b_.MakeTarget(dir) : std::make_unique<TRestoreTarget>(dir);
  b_.FErrorCode = 0;
  b_.FRestoredCount = 0;
  b_.FContinue = true;
  b_.FResult = TRestoreResult();
  b_.FResult.volume = archiveName_;
  b_.FHandlerRaised = false;
}

bool TRestoreRun::archiveFound() {
  if (!fromStream_ && !platform::fileExists(archiveName_)) {
    b_.FResult.status = TRestoreResult::Status::Missing;
    return false;
  }
  b_.FResult.status = TRestoreResult::Status::Running;
  return true;
}

void TRestoreRun::readHeader() {
  b_.FBusy = true;
  try {
    if (fromStream_)
      volume_ = b_.FSourceStream;
    else
      openVolume();
    if (!volume_) throw EReadError();
    archive_format::StreamSource source(*volume_);
    const archive_format::Header header = archive_format::RecordReader(source).header();
    b_.FTotalSize = header.totalSize;
    b_.FHeaderExtra = header.extra;
    b_.FBytesDone = 0;
  } catch (const std::exception&) {
    b_.FBusy = false;
    closeVolume();
    b_.FResult.status = TRestoreResult::Status::Raised;
    b_.FResult.reason = "Cannot read archive";
    b_.FResult.reading = true;
    throw Exception(b_.FResult.reason);
  }
}

void TRestoreRun::restoreEntries() {
  try {
    while (nextEntry()) {
    }
    // Stopped just as a file's data ended (Continue cleared by OnProgress at
    // the block's end): the file is complete unless the archive continues it,
    // or might.
    if (pending_) {
      if (nextRecordEndsTheFile(*volume_))
        finishFile();
      else
        pending_.reset();
    }
  } catch (const std::exception& e) {
    // Stopped from outside while it waited (for a volume that is a pipe, say):
    // the wait broken off is the cancel, not damage.
    if (b_.cancelRequested()) {
      pending_.reset();
      b_.FContinue = false;
      return;
    }
    // The exception leaves the restore: the archive cannot be read on, or a
    // handler or the directory of a bare name raised (not the archive's
    // fault).
    b_.FResult.status = TRestoreResult::Status::Raised;
    b_.FResult.reason = e.what();
    b_.FResult.reading = !b_.FHandlerRaised && !bareName_;
    if (bareName_) b_.FResult.file = b_.FCurrentFile;
    throw;
  }
}

bool TRestoreRun::nextEntry() {
  using archive_format::Record;
  archive_format::StreamSource source(*volume_);
  archive_format::RecordReader records(source);
  Record record;
  // The position of the record being read, also when it cannot be read.
  b_.FResult.offset = source.offset();
  try {
    record = records.next();
  } catch (const std::exception& e) {
    // The record after the last file cannot be read: it may have announced
    // that the file continues in a next volume, so the file is not complete.
    if (pending_) noteFailure({e.what(), true});
    pending_.reset();
    throw;
  }
  if (record.kind == Record::Kind::Filler) return true;
  if (record.kind == Record::Kind::VolumeChange) return changeVolume(record.nextVolume);
  finishFile();
  if (record.kind == Record::Kind::End || !b_.FContinue) return false;
  fileDate_ = records.fileDate();
  return restoreEntry(record);
}

bool TRestoreRun::changeVolume(int nextVolume) {
  closeVolume();
  if (!archive_format::volumeFollows(currentVolume_, nextVolume)) throw Exception("Invalid archive type");
  currentVolume_ = nextVolume;
  const uint16_t disk = uint16_t(currentVolume_);
  if (fromStream_) {
    // A stream has no neighbouring files: ask once; a handler of OnNeedDisk
    // may point FSourceStream at the next volume's data.
    askForDisk(disk);
  } else {
    do {
      askForDisk(disk);
      archiveName_ = archive_format::volumeFileName(archiveName_, currentVolume_);
      if (b_.LocateVolume) archiveName_ = b_.LocateVolume(currentVolume_, archiveName_);
    } while (!platform::fileExists(archiveName_) && b_.FContinue);
  }
  if (!b_.FContinue) {
    pending_.reset();  // its rest lies on the disk that did not come
    return false;
  }
  if (fromStream_) {
    volume_ = b_.FSourceStream;
    if (!volume_) throw EReadError();
    b_.FResult.offset = volume_->position();
  } else {
    openVolume();
  }
  // The volume begins with the rest of the last file's data.
  if (!pending_) {
    b_.ReadDataBlock(*volume_, nullptr, false);
    return b_.FContinue;
  }
  decodeAhead();
  try {
    writeBlock();
  } catch (const EWriteError& e) {
    // The file cannot be written on (the disk is full): it fails as in its
    // first part.
    const Failure failure = failureOf(e);
    pending_.reset();
    fail(1, failure);
    return false;
  } catch (const std::exception& e) {
    noteFailure(failureOf(e));
    throw;
  }
  return b_.FContinue;
}

void TRestoreRun::askForDisk(uint16_t disk) {
  if (b_.cancelRequested()) {
    b_.FContinue = false;
    return;
  }
  if (b_.OnNeedDisk)
    handler([&] { b_.OnNeedDisk(&b_, disk, b_.FContinue); });
  else
    b_.FContinue = askForDiskByDefault(disk);
}

bool TRestoreRun::restoreEntry(const archive_format::Record& entry) {
  b_.FCurrentFile = target_->targetOf(entry.name, b_.RestoreFullPath);
  if (wanted(entry)) return writeFile(entry.name);
  b_.ReadDataBlock(*volume_, nullptr, false);
  return b_.FContinue;
}

bool TRestoreRun::wanted(const archive_format::Record& entry) {
  bool doRestore = true;
  switch (b_.RestoreMode) {
    case rmAll: break;
    case rmNoOverwrite: doRestore = target_->age(b_.FCurrentFile) == -1; break;
    case rmNewer:
    case rmExistingNewer: {
      // The age is -1 exactly when no file exists (no DOS date-time is -1).
      const int32_t age = target_->age(b_.FCurrentFile);
      const bool exists = age != -1;
      // DOS date-times compare as unsigned values, so dates from 2044 on (the
      // top bit set) still order correctly.
      const bool older = exists && uint32_t(age) < uint32_t(fileDate_);
      doRestore = b_.RestoreMode == rmNewer ? (!exists || older) : older;
      break;
    }
    case rmExisting: doRestore = target_->age(b_.FCurrentFile) != -1; break;
  }
  if (entry.kind == archive_format::Record::Kind::FileList) return false;
  handler([&] { b_.OnRestoreFile(&b_, b_.FCurrentFile, fileDate_, doRestore); });
  return doRestore;
}

bool TRestoreRun::writeFile(const std::string& storedName) {
  // A target without a directory raises as making an unnamed directory does.
  if (fw::directoryPart(b_.FCurrentFile).empty()) {
    bareName_ = true;
    fw::forceDirectories(std::string());
  }
  // A name that would leave the destination, a link in the path or a
  // directory that cannot be made fails the entry like a file that cannot be
  // created.
  std::string reason;
  pending_ = target_->create(b_.FCurrentFile, reason);
  if (!pending_) {
    fail(1, {reason, TRestoreTarget::isNulRefusal(reason)});
    return false;
  }
  if (b_.LandingCheck) b_.LandingCheck->beginFile(storedName);
  b_.FCheckingFile = b_.LandingCheck;
  try {
    decodeAhead();
    writeBlock();
  } catch (const std::exception& e) {
    const Failure failure = failureOf(e);  // before the removal sets another error
    pending_.reset();
    fail(1, failure);
  }
  return b_.FContinue;
}

void TRestoreRun::finishFile() {
  if (!pending_) return;
  std::unique_ptr<TRestoreOutput> output = std::move(pending_);
  if (b_.LandingCheck) {
    // A file whose bytes are not what the medium says is damaged: it is
    // dropped before anyone sees it, and an old version stays.
    unsigned mode = 0;
    bool hasMode = false;
    std::string reason;
    if (!b_.LandingCheck->endFile(mode, hasMode, reason)) {
      output.reset();
      fail(6, {reason, true});
      return;
    }
    if (hasMode) output->setMode(mode);
  }
  TFileStream* stream = output->stream();
  handler([&] { b_.OnFileRestored(&b_, b_.FCurrentFile, stream); });
  if (output->complete(stream, uint32_t(fileDate_)))
    ++b_.FRestoredCount;
  else
    fail(1, {platform::lastErrorMessage()});
}

void TRestoreRun::writeBlock() {
  if (b_.ReadDataBlock(*volume_, pending_->stream(), true)) return;
  if (b_.FErrorCode == 6) noteFailure({TBackupFile::errorMessage(6), true});
  pending_.reset();
}

void TRestoreRun::openVolume() {
  b_.FResult.volume = archiveName_;
  b_.FResult.offset = 0;
  owned_ = std::make_unique<OwnedVolume>(archiveName_);
  volume_ = &owned_->stream();
}

void TRestoreRun::closeVolume() {
  b_.FDecodeAhead = nullptr;
  owned_.reset();
}

void TRestoreRun::decodeAhead() {
  if (owned_ && !b_.FDecodeAhead) b_.FDecodeAhead = owned_->decodeAhead(TDecodeAhead::Start::AtBlock);
}

void TRestoreRun::noteFailure(const Failure& failure) {
  b_.FResult.file = b_.FCurrentFile;
  b_.FResult.reason = failure.reason;
  b_.FResult.reading = failure.reading;
}

void TRestoreRun::fail(int32_t code, const Failure& failure) {
  b_.FErrorCode = code;
  b_.FContinue = false;
  noteFailure(failure);
}

bool TRestoreRun::end() {
  closeVolume();
  // What the medium adds once every file is in place (links, empty folders).
  if (b_.LandingCheck && b_.FErrorCode == 0 && b_.FContinue) {
    std::string path, reason;
    if (!b_.LandingCheck->endRestore(*target_, b_.RestoreFullPath, path, reason)) {
      b_.FCurrentFile = path;
      fail(1, {reason});
    }
  }
  const bool result = b_.FErrorCode == 0 && b_.FContinue;
  // Cancelled from outside: what failed on the way out (a read broken off)
  // is part of the stop.
  const bool stopped = !result && (b_.FErrorCode == 0 || b_.cancelRequested());
  b_.FResult.errorCode = b_.FErrorCode;
  b_.FResult.status = result    ? TRestoreResult::Status::Completed
                      : stopped ? TRestoreResult::Status::Stopped
                                : TRestoreResult::Status::Failed;
  b_.OnProgress(&b_, std::string(), 100, b_.FContinue);
  b_.FBusy = false;
  if (b_.FErrorCode != 0) b_.ReportError(b_.FErrorCode);
  return result;
}

bool askForDiskByDefault(uint16_t disk) {
  return application().messageDlg("Please insert disk " + std::to_string(disk) + " and click OK to continue.",
                                  TMsgDlgType::mtInformation, buttonSet({mbOK, mbCancel}), 0) == mrOk;
}

bool TBackupFile::Restore(const std::string& ArchiveName, const std::string& TargetDir) {
  TRestoreRun run(*this, ArchiveName, TargetDir);
  if (!run.archiveFound()) return false;
  run.readHeader();
  run.restoreEntries();
  return run.end();
}
