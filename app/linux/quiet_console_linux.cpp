#include "app/quiet_console.h"

namespace app {

// A Linux program always has the standard output its caller gave it.
void attachQuietConsole() {}

}  // namespace app
