#pragma once
// The rule every setter of the port and of its settings groups follows: an
// unchanged value does nothing; a new one is stored and, only while the port
// is open, applied at once.

#include "ComPort.h"

template <class T, class Apply>
void StoreAndApply(T& member, T v, const TCustomComPort& port, Apply apply) {
    if (member == v) return;
    member = v;
    if (port.Connected()) apply();
}
