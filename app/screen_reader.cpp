#include "app/screen_reader.h"

#include <cstdlib>

namespace startup {

void useScreenReaderBus() {
  // Qt reads this when it finds the bus; it does not look for one because of
  // it. A value the user set is left alone.
  setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 0);
}

}  // namespace startup
