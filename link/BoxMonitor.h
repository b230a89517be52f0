#pragma once
// One box of the bench window, kept current on a thread of its own: found,
// its configuration read, then its status read every poll interval, as the
// main window's scheduler does for its one box. A box that goes away, and a
// port that is refused or in use, is searched for again every interval until
// it answers. The monitor can let go
// of the port (a job of the bench, or the main window, needs it) and take it
// back.

#include "BoxSession.h"
#include "FirmwareImage.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the bench shows of one box.
struct BoxView {
    enum class Kind {
        Searching,     // not yet found
        Ready,         // found and answering
        Silent,        // the port opens, nobody answers (any longer)
        Gone,          // the port is not there (unplugged)
        NoAnswer,      // a device server that does not answer (not there, or unreachable)
        InUse,         // another program, or a server's other client, holds the port
        NoPermission,  // the system refuses this user the port: Failure says what to do
        Failed,        // the port cannot be used otherwise: Failure says why
        Released,      // the monitor has let go of the port
        LeftAlone      // nothing answered on the first search; the monitor has ended
    };
    Kind State = Kind::Searching;
    std::string Failure;  // the link's text for Failed, the advice for NoPermission
    bool Known = false;   // a simulator has answered: the fields below are its
    std::string Serial;
    std::string Version;  // "v1.2.0"
    int Protocol = 0;     // 1..9
    int Ecus = 1;
    bool MilOn = false;
    bool UpdateDue = false;  // the firmware is other than the carried one
    std::vector<std::uint16_t> Codes[2];  // the codes each ECU reports, by count

    bool operator==(const BoxView&) const = default;
};

class BoxMonitor {
public:
    using ViewChanged = std::function<void(const BoxView& view)>;

    // Starts at once. changed is called on the monitor's thread, whenever
    // what it shows has changed. With leaveAloneIfSilent, a port that opens
    // but on which nobody answers the first search is closed and left alone
    // (LeftAlone); any other failure is tried again, a box once seen too.
    BoxMonitor(std::string port, FirmwareImage image, ViewChanged changed, bool leaveAloneIfSilent);
    ~BoxMonitor();  // Quit, and waits for the port to close
    BoxMonitor(const BoxMonitor&) = delete;
    BoxMonitor& operator=(const BoxMonitor&) = delete;

    const std::string& Port() const { return port_; }

    // Lets go of the port: remote mode left and the port closed, then the
    // view says Released. Returns at once; WaitReleased waits for the close.
    void Release();
    void WaitReleased();
    // Takes the port back: searches again.
    void Resume();
    // Ends the monitor: the current exchange finishes, the port closes.
    void Quit();

private:
    class Stop;
    void Run();
    bool Search(std::unique_ptr<BoxSession>& session, BoxEvents& events, bool& seen);
    bool Idle(std::unique_lock<std::mutex>& lock);
    void Show(const BoxView& view);
    BoxView Seen(const BoxSession& session, BoxView::Kind kind) const;

    std::string port_;
    FirmwareImage image_;
    ViewChanged changed_;
    bool leaveAloneIfSilent_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    bool release_ = false;
    bool released_ = false;
    bool ended_ = false;  // the thread has left (a port left alone)
    BoxView shown_;
    bool shownOnce_ = false;
    std::unique_ptr<Stop> stop_;
    std::thread thread_;
};
