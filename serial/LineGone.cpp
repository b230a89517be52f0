// Which failures of the serial layer can mean a line that has gone; which
// system error numbers do is in LineGonePosix.cpp and LineGoneWin32.cpp.
#include "LineGone.h"

bool LineHasGone(const EComPort& failure) {
    switch (failure.ErrorCode()) {
    case CError_WriteFailed:
    case CError_ReadFailed:
    case CError_ClearComFailed:
    case CError_ModemStatFailed:
        break;
    default:
        // Opening and configuring fail for their own reasons (a busy or
        // missing port); they are not a line that hung up.
        return false;
    }
    return SystemErrorMeansLineGone(failure.SystemErrorCode());
}
