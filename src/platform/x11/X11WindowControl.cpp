#include "X11WindowControl.h"

#include "X11Display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Windows may vanish between listing and asking; their BadWindow errors
// must not end the process (Xlib's default handler exits). Errors are
// ignored while an instance lives; the destructor syncs first so that the
// replies to our own requests arrive under it.
class IgnoreXErrors {
public:
    explicit IgnoreXErrors(Display* display) : d(display) { previous = XSetErrorHandler(&Ignore); }
    ~IgnoreXErrors()
    {
        XSync(d, False);
        XSetErrorHandler(previous);
    }
    IgnoreXErrors(const IgnoreXErrors&) = delete;
    IgnoreXErrors& operator=(const IgnoreXErrors&) = delete;

private:
    static int Ignore(Display*, XErrorEvent*) { return 0; }
    Display* d;
    int (*previous)(Display*, XErrorEvent*) = nullptr;
};

// A property of 32-bit items (CARDINAL, WINDOW, ATOM); at most maxItems.
std::vector<unsigned long> LongProperty(Display* d, Window window, Atom property, Atom type, long maxItems)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(d, window, property, 0, maxItems, False, type, &actualType, &format, &count, &remaining,
                           &data) == Success &&
        data != nullptr && format == 32 && actualType == type) {
        // Xlib hands 32-bit items out as longs.
        const unsigned long* values = reinterpret_cast<const unsigned long*>(data);
        items.assign(values, values + count);
    }
    if (data != nullptr)
        XFree(data);
    return items;
}

Atom Intern(Display* d, const char* name)
{
    return XInternAtom(d, name, False);
}

// Whether a window manager that follows the EWMH runs (its check window
// points at itself) and lists the hint among _NET_SUPPORTED.
bool ManagerSupports(Display* d, const char* hint)
{
    const Window root = DefaultRootWindow(d);
    const Atom check = Intern(d, "_NET_SUPPORTING_WM_CHECK");
    const std::vector<unsigned long> wm = LongProperty(d, root, check, XA_WINDOW, 1);
    if (wm.empty())
        return false;
    const std::vector<unsigned long> self = LongProperty(d, wm[0], check, XA_WINDOW, 1);
    if (self.empty() || self[0] != wm[0])
        return false;
    const Atom wanted = Intern(d, hint);
    for (const unsigned long atom : LongProperty(d, root, Intern(d, "_NET_SUPPORTED"), XA_ATOM, 4096)) {
        if (atom == wanted)
            return true;
    }
    return false;
}

// The source indication of a request from a pager or task switcher: the
// window manager follows it without focus-stealing checks.
constexpr long kSourcePager = 2;

} // namespace

std::vector<ClientWindow> X11WindowControl::list()
{
    std::vector<ClientWindow> windows;
    X11Display::instance().With([&](Display* d) {
        IgnoreXErrors guard(d);
        const Window root = DefaultRootWindow(d);
        std::vector<unsigned long> ids = LongProperty(d, root, Intern(d, "_NET_CLIENT_LIST"), XA_WINDOW, 65536);
        if (ids.empty()) {
            Window rootReturn = 0, parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            if (XQueryTree(d, root, &rootReturn, &parent, &children, &count) && children != nullptr) {
                for (unsigned int i = 0; i < count; ++i) {
                    XWindowAttributes attributes;
                    if (XGetWindowAttributes(d, children[i], &attributes) && attributes.map_state == IsViewable &&
                        !attributes.override_redirect)
                        ids.push_back(children[i]);
                }
            }
            if (children != nullptr)
                XFree(children);
        }
        const Atom pidAtom = Intern(d, "_NET_WM_PID");
        for (const unsigned long id : ids) {
            ClientWindow window;
            window.id = id;
            const std::vector<unsigned long> pid = LongProperty(d, id, pidAtom, XA_CARDINAL, 1);
            if (!pid.empty())
                window.pid = static_cast<pid_t>(pid[0]);
            XClassHint hint{};
            if (XGetClassHint(d, id, &hint)) {
                if (hint.res_name != nullptr)
                    window.instanceName = hint.res_name;
                if (hint.res_class != nullptr)
                    window.className = hint.res_class;
                XFree(hint.res_name);
                XFree(hint.res_class);
            }
            windows.push_back(std::move(window));
        }
    });
    return windows;
}

bool X11WindowControl::activate(std::uint64_t window)
{
    return X11Display::instance().With([&](Display* d) {
        IgnoreXErrors guard(d);
        X11Display::SendRootRequest(d, window, Intern(d, "_NET_ACTIVE_WINDOW"), kSourcePager, CurrentTime, 0);
        if (!ManagerSupports(d, "_NET_ACTIVE_WINDOW")) {
            XMapRaised(d, window);
            XSync(d, False);
            XWindowAttributes attributes;
            if (XGetWindowAttributes(d, window, &attributes) && attributes.map_state == IsViewable)
                XSetInputFocus(d, window, RevertToParent, CurrentTime);
        }
    });
}

bool X11WindowControl::close(std::uint64_t window)
{
    bool asked = false;
    X11Display::instance().With([&](Display* d) {
        IgnoreXErrors guard(d);
        if (ManagerSupports(d, "_NET_CLOSE_WINDOW")) {
            X11Display::SendRootRequest(d, window, Intern(d, "_NET_CLOSE_WINDOW"), CurrentTime, kSourcePager, 0);
            asked = true;
            return;
        }
        const Atom deleteAtom = Intern(d, "WM_DELETE_WINDOW");
        Atom* protocols = nullptr;
        int count = 0;
        if (XGetWMProtocols(d, window, &protocols, &count)) {
            for (int i = 0; i < count; ++i)
                asked = asked || protocols[i] == deleteAtom;
            XFree(protocols);
        }
        if (!asked)
            return;
        X11Display::SendProtocolMessage(d, window, deleteAtom, CurrentTime);
    });
    return asked;
}
