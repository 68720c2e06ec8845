#pragma once
// Shortens a path with "..." in place of leading directories until it fits a
// width: C:\Program Files\Common Files\System\file.txt becomes, step by step,
// C:\...\Common Files\System\file.txt, C:\...\System\file.txt,
// C:\...\file.txt, ...\file.txt and file.txt.
#include <QFontMetrics>
#include <functional>
#include <string>

// The width of a text in pixels.
using TextWidthFunction = std::function<int(const std::string& text)>;

// The longest of the shortened forms above (starting with the path itself)
// whose width is at most maxWidth. The name alone is returned even when it is
// still too wide.
std::string ShortenPathToWidth(const std::string& path, const TextWidthFunction& textWidth, int maxWidth);

// The same, measured with a font.
std::string ShortenPathToWidth(const std::string& path, const QFontMetrics& metrics, int maxWidth);
