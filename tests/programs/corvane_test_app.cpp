// A small X application for the application tests: it opens one window
// (WM_CLASS "corvane-test-app"/"CorvaneTestApp", _NET_WM_PID, WM_DELETE_WINDOW)
// and appends what happens to it to a log file, one line each:
//   started <pid> / as <SIGPIPE handling> <own|inherited>-session /
//   arg <argument> / mapped <window id> / focus / delete-window / sigterm
// Options: --log FILE (required), --no-window (no X connection at all),
// --refuse-close (stays open after WM_DELETE_WINDOW, like an application
// asking to save), --lifetime SECONDS (ends by itself; default 120).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

int logFd = -1;

void LogLine(const std::string& line)
{
    const std::string text = line + "\n";
    if (::write(logFd, text.data(), text.size()) < 0) {
        // Nothing to report to: the log is the only output.
    }
}

// The X server of a test goes away with the test: end quietly.
int OnServerGone(Display*)
{
    _exit(0);
}

void OnTerm(int)
{
    static const char text[] = "sigterm\n";
    if (::write(logFd, text, sizeof text - 1) < 0) {
    }
    _exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    const char* logPath = nullptr;
    bool window = true;
    bool refuseClose = false;
    long lifetime = 120;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc)
            logPath = argv[++i];
        else if (std::strcmp(argv[i], "--no-window") == 0)
            window = false;
        else if (std::strcmp(argv[i], "--refuse-close") == 0)
            refuseClose = true;
        else if (std::strcmp(argv[i], "--lifetime") == 0 && i + 1 < argc)
            lifetime = std::atol(argv[++i]);
    }
    if (logPath == nullptr)
        return 2;
    logFd = ::open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (logFd < 0)
        return 2;
    std::signal(SIGTERM, OnTerm);
    LogLine("started " + std::to_string(::getpid()));
    struct sigaction pipe {};
    ::sigaction(SIGPIPE, nullptr, &pipe);
    LogLine(std::string("as ") + (pipe.sa_handler == SIG_IGN ? "sigpipe-ignored " : "sigpipe-default ") +
            (::getsid(0) == ::getpid() ? "own-session" : "inherited-session"));
    for (int i = 1; i < argc; ++i)
        LogLine(std::string("arg ") + argv[i]);

    const std::time_t end = std::time(nullptr) + lifetime;
    if (!window) {
        while (std::time(nullptr) < end)
            ::sleep(1);
        return 0;
    }

    XSetIOErrorHandler(OnServerGone);
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        LogLine("no-display");
        return 1;
    }
    const Window root = DefaultRootWindow(d);
    const Window w = XCreateSimpleWindow(d, root, 10, 10, 200, 100, 0, 0, 0xffffff);
    XSelectInput(d, w, StructureNotifyMask | FocusChangeMask);
    XClassHint hint;
    hint.res_name = const_cast<char*>("corvane-test-app");
    hint.res_class = const_cast<char*>("CorvaneTestApp");
    XSetClassHint(d, w, &hint);
    XStoreName(d, w, "Corvane test application");
    const long pid = ::getpid();
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    Atom deleteAtom = XInternAtom(d, "WM_DELETE_WINDOW", False);
    const Atom protocolsAtom = XInternAtom(d, "WM_PROTOCOLS", False);
    XSetWMProtocols(d, w, &deleteAtom, 1);
    XMapWindow(d, w);
    XFlush(d);

    while (std::time(nullptr) < end) {
        if (XPending(d) == 0) {
            pollfd ready{ConnectionNumber(d), POLLIN, 0};
            ::poll(&ready, 1, 200);
            if (XPending(d) == 0)
                continue;
        }
        XEvent event;
        XNextEvent(d, &event);
        if (event.type == MapNotify && event.xmap.window == w) {
            LogLine("mapped " + std::to_string(w));
        } else if (event.type == FocusIn) {
            LogLine("focus");
        } else if (event.type == ClientMessage && event.xclient.message_type == protocolsAtom &&
                   static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom) {
            LogLine("delete-window");
            if (!refuseClose)
                break;
        }
    }
    XCloseDisplay(d);
    return 0;
}
