// A line that has gone, as POSIX terminals report it.
#include "serial/LineGone.h"

#include <cerrno>

bool SystemErrorMeansLineGone(int systemError) {
    switch (systemError) {
    // A hung-up terminal fails every read, write and query with EIO (the
    // port layer also reports a read of 0 bytes after poll said readable,
    // and poll's hang-up flag, as EIO); a device that has been removed
    // answers ENXIO or ENODEV.
    case EIO:
    case ENXIO:
    case ENODEV:
        return true;
    default:
        return false;
    }
}
