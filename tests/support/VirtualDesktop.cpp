#include "VirtualDesktop.h"

#include "SpawnChild.h"
#include "TestFiles.h"

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

bool Exited(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

bool VirtualDesktop::WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

VirtualDesktop::VirtualDesktop() : folder_(MakeTempDir("kns-desktop")) {
    // -displayfd: the server picks a free display number and writes it to
    // the descriptor given, here its standard output.
    const std::string numberFile = folder_ + "/display";
    try {
        xvfb_ = SpawnChild("/usr/bin/Xvfb",
                           {"-displayfd", "1", "-screen", "0",
                            std::to_string(ScreenWidth) + "x" + std::to_string(ScreenHeight) + "x24", "-nolisten",
                            "tcp", "-noreset"},
                           {}, numberFile, folder_ + "/xvfb.log");
    } catch (const std::exception& e) {
        error_ = std::string("Xvfb did not start: ") + e.what();
        return;
    }
    if (!WaitFor([&] { return ReadFile(numberFile).find('\n') != std::string::npos || Exited(xvfb_); }, 10000) ||
        ReadFile(numberFile).find('\n') == std::string::npos) {
        error_ = "Xvfb gave no display number: " + ReadFile(folder_ + "/xvfb.log");
        return;
    }
    std::string number = ReadFile(numberFile);
    number.resize(number.find('\n'));
    display_ = ":" + number;

    c_ = xcb_connect(display_.c_str(), nullptr);
    if (!c_ || xcb_connection_has_error(c_)) {
        error_ = "cannot connect to " + display_;
        return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    try {
        wm_ = SpawnChild("/usr/bin/openbox", {"--sm-disable"}, {{"DISPLAY", display_}}, folder_ + "/openbox.log");
    } catch (const std::exception& e) {
        error_ = std::string("openbox did not start: ") + e.what();
        return;
    }
    if (!WaitFor([&] { return WindowManagerRunning(); }, 10000))
        error_ = "openbox did not take the display: " + ReadFile(folder_ + "/openbox.log");
}

VirtualDesktop::~VirtualDesktop() {
    if (c_) xcb_disconnect(c_);
    Stop(wm_);
    Stop(xvfb_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void VirtualDesktop::Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (!WaitFor([&] { return Exited(pid); }, 5000)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

std::uint32_t VirtualDesktop::Atom(const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : 0;
}

namespace {

std::vector<std::uint32_t> Cardinals(xcb_connection_t* c, std::uint32_t window, std::uint32_t property,
                                     std::uint32_t type) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 1024), nullptr), &std::free);
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

}  // namespace

bool VirtualDesktop::WindowManagerRunning() {
    return !Cardinals(c_, root_, Atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW).empty();
}

std::uint32_t VirtualDesktop::WindowOf(pid_t pid) {
    if (!error_.empty()) return 0;
    const std::uint32_t pidAtom = Atom("_NET_WM_PID");
    for (const std::uint32_t window : Cardinals(c_, root_, Atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW)) {
        const auto owner = Cardinals(c_, window, pidAtom, XCB_ATOM_CARDINAL);
        if (!owner.empty() && static_cast<pid_t>(owner[0]) == pid) return window;
    }
    return 0;
}

std::optional<OuterRect> VirtualDesktop::Frame(std::uint32_t window) {
    const auto extents = Cardinals(c_, window, Atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
    if (extents.size() != 4) return std::nullopt;  // left, right, top, bottom
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr),
                                             &std::free);
    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, window, root_, 0, 0), nullptr), &std::free);
    if (!geometry || !origin) return std::nullopt;
    OuterRect r;
    r.X = origin->dst_x - static_cast<int>(extents[0]);
    r.Y = origin->dst_y - static_cast<int>(extents[2]);
    r.Width = geometry->width + static_cast<int>(extents[0] + extents[1]);
    r.Height = geometry->height + static_cast<int>(extents[2] + extents[3]);
    return r;
}

bool VirtualDesktop::Maximised(std::uint32_t window) {
    const auto states = Cardinals(c_, window, Atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
    const std::uint32_t vert = Atom("_NET_WM_STATE_MAXIMIZED_VERT");
    const std::uint32_t horz = Atom("_NET_WM_STATE_MAXIMIZED_HORZ");
    bool v = false, h = false;
    for (const std::uint32_t s : states) {
        v = v || s == vert;
        h = h || s == horz;
    }
    return v && h;
}

void VirtualDesktop::MoveFrame(std::uint32_t window, int x, int y) {
    // _NET_MOVERESIZE_WINDOW with north-west gravity: (x, y) is where the
    // frame's top left corner goes; source 2 is a pager, i.e. the user.
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom("_NET_MOVERESIZE_WINDOW");
    event.data.data32[0] = 1u | (1u << 8) | (1u << 9) | (2u << 12);
    event.data.data32[1] = static_cast<std::uint32_t>(x);
    event.data.data32[2] = static_cast<std::uint32_t>(y);
    xcb_send_event(c_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c_);
}

bool PrivateMountNamespaceAllowed() {
    const TempFolder folder("kns-unshare");
    try {
        const pid_t pid = SpawnChild("/usr/bin/unshare", {"--mount", "--propagation", "private", "true"}, {},
                                     folder / "out");
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) return false;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::string> InPrivateMountNamespace(const std::string& emptyFile, const std::string& program,
                                                 const std::vector<std::string>& args) {
    std::vector<std::string> all = {
        "--mount", "--propagation", "private", "sh", "-c",
        // $0 is the empty file; a machine without the device has nothing to cover.
        "if [ -e /dev/ttyS0 ]; then mount --bind \"$0\" /dev/ttyS0 || exit 97; fi; exec \"$@\"", emptyFile, program};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}
