// Which failures of the port mean that the line itself has gone, so that the
// link closes the port instead of asking a dead line again and again; and
// the real thing: a pseudo-terminal whose other side closes.
#include "serial/ComPort.h"
#include "serial/LineGone.h"

#include "Pty.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(LineGone, FailuresOfAnOpenLineAfterAHangUpOnly) {
    struct Row {
        int Code;
        int System;
        bool Gone;
    };
    const Row rows[] = {
        {CError_WriteFailed, EIO, true},       {CError_ReadFailed, EIO, true},
        {CError_ReadFailed, ENXIO, true},      {CError_ClearComFailed, ENODEV, true},
        {CError_ModemStatFailed, EIO, true},   {CError_ReadFailed, EBADF, false},  // the port was closed
        {CError_WriteFailed, EAGAIN, false},   {CError_OpenFailed, ENOENT, false},  // a missing port
        {CError_OpenFailed, EIO, false},       {CError_SetStateFailed, EIO, false},
        {CError_ReadFailed, -1, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(LineHasGone(EComPort(r.Code, r.System)), r.Gone) << "error " << r.Code << ", errno " << r.System;
}

TEST(LineGone, OtherSideOfAPseudoTerminalClosing) {
    Pty pty;
    TComPort port;
    port.SetEvents(0);
    port.SetPort(pty.Path());
    port.Open();
    pty.CloseMaster();
    bool gone = false;
    try {
        port.WriteText("!S\r");
        port.Timeouts().SetReadTotalMultiplier(-1);
        port.Timeouts().SetReadTotalConstant(150);
        (void)port.ReadText(1);
    } catch (const EComPort& failure) {
        gone = LineHasGone(failure);
    }
    EXPECT_TRUE(gone);
}
