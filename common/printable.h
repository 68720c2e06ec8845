#pragma once
// Text from an archive or the file system as it is shown on a terminal: the
// one escaping every part of the system uses (framework/core/printable.h).
#include "framework/core/printable.h"

namespace setupkit {

using fw::printable;

}  // namespace setupkit
