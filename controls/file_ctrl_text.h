#pragma once
// The order of names in the directory and file lists.
#include <QString>

#include "framework/gui/text.h"

// Ignoring letter case, in the locale's collation, ties broken by the exact
// text so that the order is total.
int compareNames(const QString& a, const QString& b);
