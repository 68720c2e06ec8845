#include "controls/file_ctrl_text.h"

int compareNames(const QString& a, const QString& b) {
  int c = QString::localeAwareCompare(a.toLower(), b.toLower());
  if (c == 0) c = QString::compare(a, b);
  return c;
}
