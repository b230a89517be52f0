#pragma once
// The rule every setter of the port and of its settings groups follows: an
// unchanged value does nothing; a new one is stored and, only while the port
// is open, applied at once.

template <class T, class Apply>
void StoreAndApply(T& member, T v, bool portOpen, Apply apply) {
    if (member == v) return;
    member = v;
    if (portOpen) apply();
}
