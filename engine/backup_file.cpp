// The component surface of TBackupFile: published properties, the backup-mode
// setter and error reporting.
#include "engine/backup_file.h"

#include "framework/core/application_services.h"

namespace {

template <typename E>
PropertyInfo enumProperty(const std::string& name, std::vector<std::string> names, E& field) {
  return {name, PropertyKind::Enumeration, std::move(names), [&field] { return PropertyValue(int64_t(field)); },
          [&field](const PropertyValue& v) { field = E(std::get<int64_t>(v)); }};
}

PropertyInfo boolProperty(const std::string& name, bool& field) {
  return {name,
          PropertyKind::Boolean,
          {},
          [&field] { return PropertyValue(field); },
          [&field](const PropertyValue& v) { field = std::get<bool>(v); }};
}

}  // namespace

TBackupFile::TBackupFile(TComponent* owner) : TComponent(owner) {
  addProperty({"Version",
               PropertyKind::String,
               {},
               [this] { return PropertyValue(GetVersion()); },
               [this](const PropertyValue& v) { SetVersion(std::get<std::string>(v)); }});
  addProperty({"BackupTitle",
               PropertyKind::String,
               {},
               [this] { return PropertyValue(BackupTitle); },
               [this](const PropertyValue& v) { BackupTitle = std::get<std::string>(v); }});
  addProperty({"BackupMode",
               PropertyKind::Enumeration,
               {"bmAll", "bmIncremental"},
               [this] { return PropertyValue(int64_t(FBackupMode)); },
               [this](const PropertyValue& v) { SetBackupMode(TBackupMode(std::get<int64_t>(v))); }});
  addProperty(enumProperty("CompressionLevel", {"clFastest", "clNone", "clDefault", "clMax"}, CompressionLevel));
  addProperty(
      enumProperty("RestoreMode", {"rmAll", "rmNoOverwrite", "rmNewer", "rmExisting", "rmExistingNewer"}, RestoreMode));
  addProperty({"MaxSize",
               PropertyKind::Integer,
               {},
               [this] { return PropertyValue(int64_t(MaxSize)); },
               [this](const PropertyValue& v) { MaxSize = int32_t(std::get<int64_t>(v)); }});
  addProperty(boolProperty("SetArchiveFlag", SetArchiveFlag));
  addEventProperty("OnProgress", OnProgress);
  addEventProperty("OnNeedDisk", OnNeedDisk);
  addEventProperty("OnRestoreFile", OnRestoreFile);
  addEventProperty("OnFileRestored", OnFileRestored);
  addEventProperty("OnError", OnError);
  addProperty(boolProperty("RestoreFullPath", RestoreFullPath));
  addProperty(boolProperty("SaveFileID", SaveFileID));
}

void TBackupFile::SetBackupMode(TBackupMode value) {
  if (value == FBackupMode) return;
  if (value == bmIncremental) SetArchiveFlag = true;
  FBackupMode = value;
}

std::string TBackupFile::errorMessage(int32_t Error) {
  switch (Error) {
    case 1: return "Cannot read file";
    case 2: return "Overwriting file failed";
    case 3: return "Cannot read archive";
    case 4: return "Cannot write to archive";
    case 5: return "Invalid archive type";
    case 6: return "Compression error";
    case 7: return "Cannot create temporary file to save the file IDs";
    default: return {};
  }
}

void TBackupFile::ReportError(int32_t Error) {
  std::string message = errorMessage(Error);
  if (OnError) {
    OnError(this, Error, message);
    return;
  }
  application().messageDlg(message, TMsgDlgType::mtError, buttonSet({mbOK}), 0);
}
