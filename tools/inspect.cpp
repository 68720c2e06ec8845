#include "tools/inspect.h"

#include <cstdio>
#include <fstream>

#include "common/printable.h"
#include "engine/archive_format.h"
#include "engine/restore_target.h"
#include "tools/manifest.h"

namespace setupkit {

namespace {

std::string entryLabel(const ArchiveInfo& info, int entry) {
  if (entry < 0 || size_t(entry) >= info.entries.size()) return "";
  return printable(info.entries[size_t(entry)].name) + ": ";
}

// Whether the host file is an ISO 9660 image: "CD001" after the type byte of
// the first volume descriptor, at sector 16.
bool isDiskImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char id[5] = {};
  return in.seekg(16 * 2048 + 1) && in.read(id, 5) && std::string(id, 5) == "CD001";
}

// Whether the host file opens with a data block: a volume after the first,
// which begins with the rest of a file's data.
bool isContinuationVolume(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char signature[4] = {};
  return in.read(signature, 4) && isDataBlockSignature(signature);
}

}  // namespace

std::string notAnArchive(const ArchiveInfo& info) {
  if (!info.entries.empty() || info.totalSize > 0 || info.volumes.empty()) return {};
  const std::string& path = info.volumes.front();
  const std::string name = printable(path);
  if (isDiskImage(path)) return name + " is a disk image, not an archive: list or verify the SETUP.BIN on it";
  if (isContinuationVolume(path))
    return name + " is a volume after the first, not an archive: list or verify the first volume";
  if (!info.problems.empty()) return name + " is not an archive: " + info.problems.front().message;
  return name + " is not an archive: it holds no entry and its TotalSize is " + std::to_string(info.totalSize);
}

const char* kindName(EntryKind kind) {
  switch (kind) {
    case EntryKind::File: return "file";
    case EntryKind::FileList: return "list";
    case EntryKind::VolumeChange: return "volume";
    case EntryKind::Filler: return "filler";
  }
  return "";
}

std::string formatDosDate(int32_t fileDate) {
  uint32_t d = uint32_t(fileDate);
  int year = int(d >> 25) + 1980, month = int((d >> 21) & 15), day = int((d >> 16) & 31);
  int hour = int((d >> 11) & 31), minute = int((d >> 5) & 63), second = int(d & 31) * 2;
  char text[32];
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
    std::snprintf(text, sizeof text, "invalid 0x%08X", d);
  else
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
  return text;
}

std::string modeText(const medium::Attributes& attributes, const std::string& storedName) {
  auto it = attributes.files.find(storedName);
  if (it == attributes.files.end()) return "-";
  char text[8];
  std::snprintf(text, sizeof text, "%04o", it->second.mode & 07777);
  return text;
}

bool printListing(const ArchiveInfo& info, std::ostream& out, const medium::Attributes* attributes,
                  const medium::Settings* settings) {
  out << "Archive:      " << info.volumes.front() << " (" << info.volumes.size()
      << (info.volumes.size() == 1 ? " volume)\n" : " volumes)\n");
  out << "Header text:  \"" << printable(info.headerText) << "\"\n";
  out << "Total size:   " << info.totalSize << "\n";
  out << "Header extra: " << info.headerExtra << "\n";
  if (settings) {
    out << "Setup:        " << printable(settings->source) << "\n";
    const std::pair<const char*, const std::string*> lines[] = {
        {"Title:        ", &settings->title},   {"Application:  ", &settings->app},
        {"DestDir:      ", &settings->destDir}, {"UserDestDir:  ", &settings->userDestDir},
        {"Paths:        ", &settings->paths},   {"Disks:        ", &settings->disks}};
    for (const auto& [label, value] : lines)
      if (!value->empty()) out << label << "\"" << printable(*value) << "\"\n";
  }
  out << "\n";
  char line[160];
  std::snprintf(line, sizeof line, "%-7s %-19s %12s %12s %7s  %s", "Kind", "Date", "Size", "Stored", "Chunks",
                attributes ? "Mode  Name\n" : "Name\n");
  out << line;
  uint64_t files = 0, size = 0, stored = 0;
  for (const auto& e : info.entries) {
    if (e.kind == EntryKind::File || e.kind == EntryKind::FileList) {
      std::snprintf(line, sizeof line, "%-7s %-19s %12llu %12llu %7u  ", kindName(e.kind),
                    formatDosDate(e.fileDate).c_str(), (unsigned long long)e.fileSize, (unsigned long long)e.storedSize,
                    e.chunks);
      if (e.kind == EntryKind::File) {
        ++files;
        size += e.fileSize;
      }
      stored += e.storedSize;
    } else {
      std::snprintf(line, sizeof line, "%-7s %-19s %12s %12s %7s  ", kindName(e.kind), "-", "-", "-", "-");
    }
    out << line;
    if (attributes) out << (e.kind == EntryKind::File ? modeText(*attributes, e.name) : "-   ") << "  ";
    out << printable(e.name) << "\n";
  }
  if (attributes) {
    for (const auto& link : attributes->links) {
      std::snprintf(line, sizeof line, "%-7s %-19s %12s %12s %7s  %-4s  ", "link", "-", "-", "-", "-", "-");
      out << line << printable(link.name) << " -> " << printable(link.target) << "\n";
    }
    for (const auto& folder : attributes->folders) {
      std::snprintf(line, sizeof line, "%-7s %-19s %12s %12s %7s  %-4s  ", "folder", "-", "-", "-", "-", "-");
      out << line << printable(folder) << "\n";
    }
  }
  out << "\n" << files << (files == 1 ? " file, " : " files, ") << size << " bytes, " << stored << " bytes stored\n";
  if (!info.complete && !info.problems.empty()) {
    const Problem& p = info.problems.back();
    out << "Reading stopped at " << describeLocation(info, p.at) << ": " << p.message << "\n";
  }
  return info.complete;
}

VerifyReport verifyArchive(const ArchiveInfo& info) {
  VerifyReport report;
  report.problems = info.problems;

  std::vector<int> files;
  uint64_t total = 0;
  for (size_t i = 0; i < info.entries.size(); ++i) {
    if (info.entries[i].kind != EntryKind::File) continue;
    files.push_back(int(i));
    total += info.entries[i].fileSize;
  }
  const Location totalAt{1, 4 + int64_t(info.headerText.size())};
  if (info.totalSize <= 0)
    report.problems.push_back({totalAt, -1, "TotalSize is " + std::to_string(info.totalSize) + ", not greater than 0"});
  else if (info.complete && uint64_t(info.totalSize) != total)
    report.problems.push_back(
        {totalAt, -1, "TotalSize is " + std::to_string(info.totalSize) + ", the files hold " + std::to_string(total)});

  for (int i : files) {
    const EntryInfo& file = info.entries[size_t(i)];
    const std::string refusal = TRestoreTarget::refusalOf(file.name);
    if (refusal.empty()) continue;
    if (TRestoreTarget::isNulRefusal(refusal))
      report.problems.push_back({file.at, i, refusal});
    else
      report.refused.push_back({file.at, i, "a restore refuses this name: " + refusal});
  }

  for (size_t i = 0; i < info.entries.size(); ++i) {
    const EntryInfo& list = info.entries[i];
    if (list.kind != EntryKind::FileList) continue;
    auto lines = parseManifest(list.data);
    if (!lines) {
      report.notes.push_back("The file list at " + describeLocation(info, list.at) + " is not a manifest; not checked");
      continue;
    }
    ++report.manifestsChecked;
    if (lines->size() != files.size())
      report.problems.push_back({list.at, int(i),
                                 "the manifest lists " + std::to_string(lines->size()) + " files, the archive holds " +
                                     std::to_string(files.size())});
    for (size_t n = 0; n < std::min(lines->size(), files.size()); ++n) {
      const ManifestLine& want = (*lines)[n];
      const EntryInfo& file = info.entries[size_t(files[n])];
      std::string message;
      if (file.name != want.storedName)
        message = "line " + std::to_string(n + 1) + " of the manifest names " + printable(want.storedName);
      else if (file.fileSize != want.size)
        message = "holds " + std::to_string(file.fileSize) + " bytes, the manifest says " + std::to_string(want.size);
      else if (file.sha256 != want.sha256)
        message = "its SHA-256 differs from the manifest";
      if (!message.empty()) report.problems.push_back({file.at, files[n], message});
    }
  }
  return report;
}

void printVerifyReport(const ArchiveInfo& info, const VerifyReport& report, std::ostream& out) {
  for (const auto* list : {&report.problems, &report.refused})
    for (const auto& p : *list)
      out << describeLocation(info, p.at) << ": " << entryLabel(info, p.entry) << p.message << "\n";
  for (const auto& n : report.notes) out << n << "\n";
  if (report.sound()) {
    size_t files = 0;
    for (const auto& e : info.entries) files += e.kind == EntryKind::File;
    out << "Sound: " << files << (files == 1 ? " file, " : " files, ") << info.totalSize << " bytes in "
        << info.volumes.size() << (info.volumes.size() == 1 ? " volume" : " volumes")
        << (report.manifestsChecked ? ", checked against the manifest\n" : ", no manifest\n");
  } else if (report.problems.empty()) {
    out << "Refused: " << report.refused.size()
        << (report.refused.size() == 1 ? " name that a restore refuses\n" : " names that a restore refuses\n");
  } else {
    out << "Damaged: " << report.problems.size() << (report.problems.size() == 1 ? " problem\n" : " problems\n");
  }
}

}  // namespace setupkit
