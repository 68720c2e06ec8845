#pragma once
// The menu entry an installation adds: the optional [Menu] section of
// SETUP.INS turned into a desktop entry in the applications folder of the
// installing user (root: the machine's), with its icon in the hicolor icon
// theme and the file types it opens as a shared MIME package, and their
// removal.
#include <functional>
#include <string>
#include <vector>

#include "install/install_record.h"

namespace menu_entry {

// A file type the entry's program opens: a MIME type and a file name
// pattern that gives it ("application/x-demo-sheet", "*.dsh").
struct FileType {
  std::string type;
  std::string glob;
  bool operator==(const FileType&) const = default;
};

// [Menu] of SETUP.INS. Exec and Icon are names below the destination.
struct Settings {
  std::string name;
  std::string exec;
  std::string icon;
  std::string comment;
  std::string categories;
  bool terminal = false;
  std::vector<FileType> fileTypes;  // FileTypes=TYPE=GLOB;TYPE=GLOB
  bool present() const { return !name.empty() || !exec.empty(); }
};

// "TYPE=GLOB" as a file type; false with `problem` when it is none (a type
// that is not TOP/SUB of a registered top-level type, a pattern with a
// blank, `;`, `=`, `/` or a character XML would have to escape).
bool parseFileType(const std::string& text, FileType& type, std::string& problem);
// The FileTypes value of [Menu]: every type as TYPE=GLOB, separated by `;`.
std::string fileTypesValue(const std::vector<FileType>& types);

// Why the categories are not a list a menu files the entry under: a name
// that is neither a registered main or additional category nor private
// (X-...), a reserved one, Audio or Video without AudioVideo. Empty when
// they are.
std::string categoriesProblem(const std::string& categories);

// What an icon's bytes are, as the icon theme keeps them: "png" (square, of
// a size the hicolor theme has a folder for, `size` set), "svg", or empty.
std::string iconKind(const std::string& bytes, int& size);

// Reads [Menu] of the SETUP.INS text. No section: !present().
Settings fromIni(const std::string& iniText);
// Why the settings cannot make an entry (no Name or Exec, Exec or Icon not a
// name below the destination, text a desktop entry cannot hold); empty when
// they can.
std::string problemOf(const Settings& settings);

// The desktop entry for an installation into the host folder `dest`. Empty,
// with `problem`, when the destination cannot be written into an entry
// (not UTF-8, control characters).
// `iconName`, when given, is the icon's name in the icon theme; otherwise
// Icon= is the image's path.
std::string entryText(const Settings& settings, const std::string& dest, std::string& problem,
                      const std::string& iconName = {});
// The entry's file name for an installation into `dest`: the name's letters
// and the start of the destination's digest, so that two installations of the
// same program into different folders keep their entries apart.
std::string fileName(const Settings& settings, const std::string& dest);

// "system" for root, "user" otherwise.
std::string scopeOfProcess();
// The data folder of a scope for this process: /usr/local/share, or
// $XDG_DATA_HOME (an absolute value), else ~/.local/share. Empty when there
// is none.
std::string dataFolder(const std::string& scope);
// The applications folder of a scope for this process: /usr/local/share/
// applications, or $XDG_DATA_HOME/applications (an absolute value), else
// ~/.local/share/applications. Empty when there is none.
std::string applicationsFolder(const std::string& scope);

// Writes the entry (by replacement) into this process's applications folder,
// making the folder when missing, its icon (a PNG or SVG file of DEST) into
// the hicolor theme of the data folder and its file types' package into
// mime/packages, then brings the MIME and menu databases up to date. Fills
// `entry` for the record.
bool write(const Settings& settings, const std::string& dest, install_record::MenuEntry& entry, std::string& problem);

enum class Removal { Removed, Missing, Changed, Failed };
// Removes a recorded entry when its content is what was written, and each
// file that goes with it (icon, file types) likewise; `onFile` hears how
// each of those went. The databases are brought up to date afterwards.
Removal remove(const install_record::MenuEntry& entry, std::string& problem,
               const std::function<void(const install_record::DesktopFile&, Removal, const std::string&)>& onFile = {});

// Runs update-desktop-database on `folder` when it is installed, silently.
void refreshDatabase(const std::string& folder);
// Runs update-mime-database on `folder` (a data folder's mime/) when it is
// installed, silently.
void refreshMimeDatabase(const std::string& folder);

}  // namespace menu_entry
