#include "backends/qt/x11_windows.h"

#include <string>

#include "ui/contract_rules.h"

#ifdef TARVOLIN_HAVE_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace tv {

#ifdef TARVOLIN_HAVE_X11

namespace {

// A window can vanish while it is being read; that must not end the program.
int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

struct Atoms {
    Atom clientListStacking, netWmName, utf8String, windowType, typeUtility, typeToolbar, typeDock;
};

bool readWindowList(Display* dpy, Window root, Atom prop, std::vector<Window>& out) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, root, prop, 0, 1L << 20, False, XA_WINDOW, &type, &format, &count, &after, &data) !=
            Success ||
        !data) {
        return false;
    }
    bool ok = type == XA_WINDOW && format == 32;
    if (ok) {
        auto* ids = reinterpret_cast<unsigned long*>(data);
        out.assign(ids, ids + count);
    }
    XFree(data);
    return ok;
}

std::string windowName(Display* dpy, Window w, const Atoms& a) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(dpy, w, a.netWmName, 0, 1024, False, a.utf8String, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        if (type == a.utf8String && format == 8) name.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        if (!name.empty()) return name;
    }
    char* legacy = nullptr;
    if (XFetchName(dpy, w, &legacy) && legacy) {
        name = legacy;
        XFree(legacy);
    }
    return name;
}

bool isToolWindow(Display* dpy, Window w, const Atoms& a, bool overrideRedirect) {
    if (overrideRedirect) return true;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool tool = false;
    if (XGetWindowProperty(dpy, w, a.windowType, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        if (type == XA_ATOM && format == 32) {
            auto* types = reinterpret_cast<unsigned long*>(data);
            for (unsigned long i = 0; i < count; ++i)
                if (types[i] == a.typeUtility || types[i] == a.typeToolbar || types[i] == a.typeDock) tool = true;
        }
        XFree(data);
    }
    return tool;
}

}  // namespace

std::vector<TopLevelWindow> x11TopLevelWindows() {
    std::vector<TopLevelWindow> result;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return result;
    auto previous = XSetErrorHandler(ignoreXErrors);
    Window root = DefaultRootWindow(dpy);
    Atoms a{XInternAtom(dpy, "_NET_CLIENT_LIST_STACKING", False), XInternAtom(dpy, "_NET_WM_NAME", False),
            XInternAtom(dpy, "UTF8_STRING", False),           XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False),
            XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_UTILITY", False), XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_TOOLBAR", False),
            XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DOCK", False)};

    // Both lists run bottom to top; the walk goes front first.
    std::vector<Window> stack;
    if (!readWindowList(dpy, root, a.clientListStacking, stack) || stack.empty()) {
        stack.clear();
        Window rootReturn = 0, parentReturn = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        if (XQueryTree(dpy, root, &rootReturn, &parentReturn, &children, &n) && children) {
            stack.assign(children, children + n);
            XFree(children);
        }
    }
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        XWindowAttributes attrs{};
        if (!XGetWindowAttributes(dpy, *it, &attrs)) continue;  // gone meanwhile
        TopLevelWindow w;
        w.title = clipTitle(windowName(dpy, *it, a));
        w.visible = attrs.map_state == IsViewable;
        w.toolWindow = isToolWindow(dpy, *it, a, attrs.override_redirect != 0);
        result.push_back(std::move(w));
    }
    XSetErrorHandler(previous);
    XCloseDisplay(dpy);
    return result;
}

namespace {

// _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
constexpr unsigned long MwmHintsFunctions = 1;
constexpr unsigned long MwmFuncAll = 1, MwmFuncClose = 32;  // with All, the others are taken away

}  // namespace

bool x11ClosingAllowed(unsigned long window) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return true;
    auto previous = XSetErrorHandler(ignoreXErrors);
    Atom hints = XInternAtom(dpy, "_MOTIF_WM_HINTS", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool allowed = true;
    if (XGetWindowProperty(dpy, window, hints, 0, 5, False, hints, &type, &format, &count, &after, &data) == Success &&
        data) {
        auto* v = reinterpret_cast<unsigned long*>(data);
        if (format == 32 && count >= 2 && (v[0] & MwmHintsFunctions))
            allowed = (v[1] & MwmFuncAll) ? !(v[1] & MwmFuncClose) : (v[1] & MwmFuncClose) != 0;
        XFree(data);
    }
    XSetErrorHandler(previous);
    XCloseDisplay(dpy);
    return allowed;
}

#else

std::vector<TopLevelWindow> x11TopLevelWindows() { return {}; }
bool x11ClosingAllowed(unsigned long) { return true; }

#endif

}  // namespace tv
