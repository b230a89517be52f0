#include "ArbitraryBaudRate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

int SetArbitraryBaudRate(int fd, int rate) {
    termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(rate);
    tio.c_ospeed = static_cast<speed_t>(rate);
    if (ioctl(fd, TCSETS2, &tio) != 0) return errno;
    return 0;
}
