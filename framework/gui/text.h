#pragma once
// Texts of the system are 8-bit strings; Qt shows them through the locale's
// codec (UTF-8 on this host).
#include <QString>
#include <string>

inline QString toQString(const std::string& s) { return QString::fromLocal8Bit(s.data(), qsizetype(s.size())); }
inline std::string fromQString(const QString& s) { return s.toLocal8Bit().toStdString(); }
