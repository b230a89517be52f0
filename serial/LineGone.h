#pragma once
// Whether a failure of the serial layer means that the line itself has gone:
// the adapter was unplugged, or the far end of a pseudo-terminal closed. Such
// a port stays useless until it is opened anew, so whoever drives it should
// close it rather than keep asking.

#include "serial/EComPort.h"

[[nodiscard]] bool LineHasGone(const EComPort& failure);

// The operating system's part: whether a read, write or status query that
// failed with this error number found the line gone.
[[nodiscard]] bool SystemErrorMeansLineGone(int systemError);
