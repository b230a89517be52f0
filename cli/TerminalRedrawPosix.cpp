// A terminal on a POSIX system understands the cursor controls.
#include "TerminalRedraw.h"

#include <unistd.h>

bool CanRedrawInPlace(std::FILE* out) { return isatty(fileno(out)) != 0; }
