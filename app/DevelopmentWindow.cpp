// Looks for the development environment's window: by its window class on
// Windows, on an X11 display elsewhere.
//
// libxcb is reached through the copy that Qt's xcb platform plugin has already
// loaded (dlopen with RTLD_NOLOAD), so the program links no X11 library of its
// own and, on any other platform, simply finds no window.

#include "StartOptions.h"

#include <QGuiApplication>

#if __has_include(<QtGui/qguiapplication_platform.h>) && __has_include(<xcb/xcb.h>)
#include <QtGui/qguiapplication_platform.h>
#if QT_CONFIG(xcb)
#define KNS_HAVE_XCB 1
#include <dlfcn.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <type_traits>
#endif
#endif

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>

bool IsDevelopmentWindowClass(std::string_view wmClass) {
    // WM_CLASS holds two NUL-terminated texts: the instance name, then the class.
    const std::size_t end = wmClass.find('\0');
    if (end == std::string_view::npos) return false;
    std::string_view cls = wmClass.substr(end + 1);
    if (const std::size_t stop = cls.find('\0'); stop != std::string_view::npos) cls = cls.substr(0, stop);
    // Window class names are matched without regard to letter case, as the
    // development environment writes its own as "TAppBuilder".
    constexpr std::string_view wanted = "TAPPBUILDER";
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return std::equal(cls.begin(), cls.end(), wanted.begin(), wanted.end(),
                      [&](char a, char b) { return upper(a) == b; });
}

#ifdef KNS_HAVE_XCB
namespace {

// The few libxcb entry points the lookup needs.
struct Xcb {
    decltype(&xcb_get_setup) getSetup = nullptr;
    decltype(&xcb_setup_roots_iterator) rootsIterator = nullptr;
    decltype(&xcb_screen_next) screenNext = nullptr;
    decltype(&xcb_query_tree) queryTree = nullptr;
    decltype(&xcb_query_tree_reply) queryTreeReply = nullptr;
    decltype(&xcb_query_tree_children) treeChildren = nullptr;
    decltype(&xcb_query_tree_children_length) treeChildrenLength = nullptr;
    decltype(&xcb_get_property) getProperty = nullptr;
    decltype(&xcb_get_property_reply) getPropertyReply = nullptr;
    decltype(&xcb_get_property_value) propertyValue = nullptr;
    decltype(&xcb_get_property_value_length) propertyValueLength = nullptr;

    bool Load() {
        void* library = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
        if (!library) return false;
        bool ok = true;
        auto bind = [&](auto& entry, const char* name) {
            entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(dlsym(library, name));
            ok = ok && entry != nullptr;
        };
        bind(getSetup, "xcb_get_setup");
        bind(rootsIterator, "xcb_setup_roots_iterator");
        bind(screenNext, "xcb_screen_next");
        bind(queryTree, "xcb_query_tree");
        bind(queryTreeReply, "xcb_query_tree_reply");
        bind(treeChildren, "xcb_query_tree_children");
        bind(treeChildrenLength, "xcb_query_tree_children_length");
        bind(getProperty, "xcb_get_property");
        bind(getPropertyReply, "xcb_get_property_reply");
        bind(propertyValue, "xcb_get_property_value");
        bind(propertyValueLength, "xcb_get_property_value_length");
        // The handle only adds a reference to the plugin's copy; dropping it
        // keeps the library loaded for as long as Qt needs it.
        dlclose(library);
        return ok;
    }
};

enum class ClassMatch { NoProperty, Other, Match };

ClassMatch WindowClass(const Xcb& x, xcb_connection_t* c, xcb_window_t window) {
    const auto cookie = x.getProperty(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
    xcb_get_property_reply_t* reply = x.getPropertyReply(c, cookie, nullptr);
    if (!reply) return ClassMatch::NoProperty;
    const int length = x.propertyValueLength(reply);
    ClassMatch result = ClassMatch::NoProperty;
    if (length > 0) {
        const std::string_view value(static_cast<const char*>(x.propertyValue(reply)), static_cast<std::size_t>(length));
        result = IsDevelopmentWindowClass(value) ? ClassMatch::Match : ClassMatch::Other;
    }
    std::free(reply);
    return result;
}

// Top-level windows are the root's children; under a reparenting window
// manager those are frames, and the application's window is one level down.
bool SearchChildren(const Xcb& x, xcb_connection_t* c, xcb_window_t parent, int depth) {
    xcb_query_tree_reply_t* tree = x.queryTreeReply(c, x.queryTree(c, parent), nullptr);
    if (!tree) return false;
    const xcb_window_t* children = x.treeChildren(tree);
    const int count = x.treeChildrenLength(tree);
    bool found = false;
    for (int i = 0; i < count && !found; ++i) {
        const ClassMatch match = WindowClass(x, c, children[i]);
        if (match == ClassMatch::Match) {
            found = true;
        } else if (match == ClassMatch::NoProperty && depth > 0) {
            found = SearchChildren(x, c, children[i], depth - 1);
        }
    }
    std::free(tree);
    return found;
}

}  // namespace
#endif

bool DevelopmentWindowExists() {
#ifdef _WIN32
    // Window class names are not case-sensitive on Windows.
    return FindWindowA("TAPPBUILDER", nullptr) != nullptr;
#endif
#ifdef KNS_HAVE_XCB
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return false;
    Xcb x;
    if (!x.Load()) return false;
    xcb_connection_t* c = x11->connection();
    for (auto it = x.rootsIterator(x.getSetup(c)); it.rem > 0; x.screenNext(&it)) {
        if (SearchChildren(x, c, it.data->root, 1)) return true;
    }
#endif
    return false;
}
