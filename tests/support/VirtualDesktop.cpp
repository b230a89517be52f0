#include "VirtualDesktop.h"

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

}  // namespace

VirtualDesktop::VirtualDesktop() {
    // -displayfd: the server picks a free display number and writes it to
    // the descriptor given, here its standard output.
    try {
        xvfb_ = std::make_unique<Child>("/usr/bin/Xvfb", std::vector<std::string>{
            "-displayfd", "1", "-screen", "0", std::to_string(ScreenWidth) + "x" + std::to_string(ScreenHeight) + "x24",
            "-nolisten", "tcp", "-noreset"});
    } catch (const std::exception& e) {
        error_ = std::string("Xvfb did not start: ") + e.what();
        return;
    }
    const std::string number = xvfb_->ReadOutputLine(10000);
    if (number.empty()) {
        error_ = "Xvfb gave no display number: " + xvfb_->Err();
        return;
    }
    display_ = ":" + number;

    c_ = xcb_connect(display_.c_str(), nullptr);
    if (!c_ || xcb_connection_has_error(c_)) {
        error_ = "cannot connect to " + display_;
        return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    try {
        wm_ = std::make_unique<Child>("/usr/bin/openbox", std::vector<std::string>{"--sm-disable"},
                                      std::map<std::string, std::string>{{"DISPLAY", display_}});
    } catch (const std::exception& e) {
        error_ = std::string("openbox did not start: ") + e.what();
        return;
    }
    if (!WaitUntil([&] { return WindowManagerRunning(); }, 10000))
        error_ = "openbox did not take the display: " + wm_->Out() + wm_->Err();
}

VirtualDesktop::~VirtualDesktop() {
    if (c_) xcb_disconnect(c_);
    for (Child* child : {wm_.get(), xvfb_.get()}) {
        if (!child) continue;
        child->Signal(SIGTERM);
        child->Wait(5000);
    }
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
    try {
        return Child("/usr/bin/unshare", {"--mount", "--propagation", "private", "true"}).Wait(10000).Status == 0;
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
