#pragma once
// The end of the window's session, in its order: where the window stood is
// saved, then the port closes (remote mode off first, so the simulator runs
// on its own again), then the settings that name the port are written.
// A close must not stop halfway: each step runs even when the one before it
// failed, and each failure goes to Report in the order it happened.

#include <exception>
#include <functional>

class TComIo;

struct SessionClose {
    std::function<void()> SavePlacement;
    std::function<void()> WriteSettings;
    std::function<void(const std::exception&)> Report;
};

// link may be null (a window whose link is gone): its step is passed over.
void CloseSession(TComIo* link, const SessionClose& steps);
