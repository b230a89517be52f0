// A line that has gone, as Windows serial drivers (and wine) report it.
#include "serial/LineGone.h"

#include <windows.h>

bool SystemErrorMeansLineGone(int systemError) {
    switch (systemError) {
    // A USB adapter pulled out fails its requests with "device not
    // connected", "the device does not recognise the command" or a general
    // failure, depending on the driver; under wine a pseudo-terminal whose
    // far end closed fails reads with "broken pipe" and writes with "not ready".
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_BROKEN_PIPE:
    case ERROR_NOT_READY:
        return true;
    default:
        return false;
    }
}
