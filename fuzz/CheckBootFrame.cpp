#include "FuzzCheck.h"

#include "link/FirmwareImage.h"
#include "link/LinkHost.h"
#include "link/SimulatorState.h"
#include "link/FirmwareUpdate.h"
#include "link/uComIo.h"
#include "base/Failure.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

// A fresh pseudo-terminal per input: the boot loader's side is the master.
// Our own descriptor of the slave tells how much of the input the link has
// not read yet.
struct StandInLine {
    int Master = -1;
    int Watch = -1;
    std::string Path;

    StandInLine() {
        Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) Die("posix_openpt");
        char name[128];
        if (ptsname_r(Master, name, sizeof name) != 0) Die("ptsname_r");
        Path = name;
        Watch = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (Watch < 0) Die("open slave");
    }
    ~StandInLine() {
        if (Master >= 0) close(Master);
        close(Watch);
    }
    int Unread() const {
        int n = 0;
        return ioctl(Watch, FIONREAD, &n) == 0 ? n : 0;
    }
    [[noreturn]] static void Die(const char* what) {
        std::perror(what);
        std::abort();
    }
};

// More than the longest frame plus a few bytes: the reader never gets further.
constexpr std::size_t MaxInput = 512;

}  // namespace

namespace FuzzCheck {

void BootFrame(const std::uint8_t* data, std::size_t size) {
    size = std::min(size, MaxInput);
    static QuietHost host;
    static SimulatorState state;
    static FirmwareImage image;
    static TComIo io(host, state, image);
    static FirmwareUpdate update(io, image);

    StandInLine line;
    io.Port().SetPort(line.Path);
    io.Port().Open();

    // The whole input waits in the port's queue before the link reads.
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(line.Master, data + written, size - written);
        if (n < 0 && errno != EINTR) StandInLine::Die("write");
        if (n > 0) written += static_cast<std::size_t>(n);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (line.Unread() < static_cast<int>(size)) {
        if (std::chrono::steady_clock::now() > deadline) StandInLine::Die("input never arrived");
        std::this_thread::yield();
    }

    // What the frame's own bytes say the reader must find.
    const bool complete = size >= 2 && data[1] <= 128 && size >= std::size_t{data[1]} + 3;
    const bool overlong = size >= 131 && data[1] > 128;
    int expected = -1;
    if (complete) {
        unsigned sum = 0;
        for (std::size_t i = 0; i < std::size_t{data[1]} + 3; ++i) sum += data[i];
        if ((sum & 0xFF) == 0) expected = data[0];
    }

    // A cut-off frame would wait out the reply time-outs; once the link has
    // read every byte, the line hangs up instead (the boot loader vanished).
    std::atomic<bool> done{false};
    std::thread hangUp;
    if (!complete && !overlong) {
        hangUp = std::thread([&] {
            while (!done) {
                if (line.Unread() == 0) {
                    close(line.Master);
                    line.Master = -1;
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        });
    }
    int result = -2;
    bool raised = false;
    try {
        result = update.ReadFrame();
    } catch (const EFailure&) {
        raised = true;
    }
    done = true;
    if (hangUp.joinable()) hangUp.join();
    const int unread = line.Master >= 0 ? line.Unread() : 0;
    io.Port().Close();

    if (complete || overlong) {
        FUZZ_REQUIRE(!raised);
        FUZZ_REQUIRE(result == expected);
        // The reader stops at the frame's end: the rest waits for the next purge.
        const std::size_t consumed = complete ? std::size_t{data[1]} + 3 : 131;
        FUZZ_REQUIRE(unread == static_cast<int>(size - consumed));
    } else {
        FUZZ_REQUIRE(raised || result == -1);
    }
}

}  // namespace FuzzCheck
