// Which failures of the serial layer mean a line that has gone is decided
// when the failure is made (EComPort.cpp); which system error numbers do is
// in LineGonePosix.cpp and LineGoneWin32.cpp.
#include "LineGone.h"

bool LineHasGone(const EComPort& failure) { return failure.Kind() == FailureKind::LineGone; }
