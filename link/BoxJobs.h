#pragma once
// What a box is asked to do beyond reading it, the same for the command line
// and the bench window: apply a set-up, update the firmware. Each raises
// BoxError with the link's own text when it fails.

#include "BoxSession.h"

#include "base/CfgSetup.h"

#include <functional>

// Sends a set-up to a connected simulator as opening a file in the window
// does: a changed protocol or ECU count first (0 for either changes
// nothing), with status and configuration read again, then the set-up that compose makes of what the simulator now holds,
// and a read-back. A failure of the protocol change does not stop the send,
// but the run still fails with the first failure's text.
void ApplyOnBox(BoxSession& session, int protocol, int ecuCount,
                const std::function<CfgSetup(const CfgSetup& held)>& compose);

enum class UpdateMode {
    IfNeeded,    // only a firmware other than the carried one ("!@")
    Always,      // "!@" also when the identities are equal
    ResetButton  // the boot loader reached through the reset button: no search first
};

// Updates the firmware of the box on the session's port and finds it again,
// configuration read. Returns false when mode is IfNeeded and the firmware
// already is the carried one (the configuration is read then too). A stop
// before anything was asked ends it at once, the reset button's wait is
// cancelled, and a transfer that has begun runs to its end first.
bool UpdateBox(BoxSession& session, UpdateMode mode);
