#pragma once
// Text operations on Windows-form paths, and the directory helpers built on
// the platform layer.
#include <cstdint>
#include <string>
#include <vector>

namespace fw {

// The directory part: up to and including the last "\" or ":" (empty if none).
std::string directoryPart(const std::string& path);
// The file-name part: the text after the last "\" or ":".
std::string fileNamePart(const std::string& path);
// The drive part: "C:" or "\\server\share"; empty when the path has none.
std::string drivePart(const std::string& path);
// Replaces the extension (from the last "." of the file-name part) by ext,
// which includes its point; a name without extension gains ext.
std::string changeExtension(const std::string& path, const std::string& ext);
std::string withTrailingBackslash(const std::string& path);
std::string withoutTrailingBackslash(const std::string& path);

// ASCII letter case.
std::string lowerCase(std::string s);
std::string upperCase(std::string s);
bool sameText(const std::string& a, const std::string& b);

// The non-empty pieces of `text` between `separator`s ("a;;b;" gives a, b).
std::vector<std::string> splitNonEmpty(const std::string& text, char separator);
// The components of a path: the non-empty pieces between "\" and "/" (runs
// of separators name the same directories as one).
std::vector<std::string> pathComponents(const std::string& path);

// Creates a directory with all its missing parents. Returns whether the
// directory exists afterwards. Raises Exception "Unable to create directory"
// for an empty name.
bool forceDirectories(const std::string& dir);

// Enters a directory; raises EInOutError with the platform's error number.
void changeDirectory(const std::string& dir);

}  // namespace fw
