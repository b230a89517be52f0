#pragma once
// Sets a rate that has no Bnnn constant (14400, 56000, 128000, ...) through the
// driver's arbitrary-rate interface. Kept apart because its kernel header
// cannot share a file with <termios.h>. Returns 0 or an errno value.
int SetArbitraryBaudRate(int fd, int rate);
