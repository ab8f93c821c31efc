#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GVariant GVariant;

// One remote-desktop session of a GNOME (mutter) Wayland desktop, kept for
// the life of the program: the input devices it owns, the ScreenCast stream
// of the primary monitor that absolute motion and screenshots need, and the
// session's clipboard. Everything goes over one private connection to the
// session bus, because mutter ends a session when the connection that made
// it closes; the connection's signals are handled on a thread of its own.
//
// Two ways in: mutter's own org.gnome.Mutter.RemoteDesktop and ScreenCast
// interfaces, and, where a GNOME session refuses those to ordinary programs,
// the desktop portal's org.freedesktop.portal.RemoteDesktop (one consent
// dialog, remembered with the restore token the portal hands out). The
// portal offers no session clipboard.
//
// Input calls are sent without waiting for their answer: they leave in the
// order they are made, and a connection thread never waits for mutter.
class GnomeRemoteDesktop {
public:
    enum class Access { None, Mutter, Portal };

    // The recorded monitor in the compositor's coordinates.
    struct Monitor {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    GnomeRemoteDesktop();
    ~GnomeRemoteDesktop();
    GnomeRemoteDesktop(const GnomeRemoteDesktop&) = delete;
    GnomeRemoteDesktop& operator=(const GnomeRemoteDesktop&) = delete;

    // Makes and starts the session, creates its keyboard and pointer and
    // primes the keyboard. False, with the reason, when no way in works.
    // Called once.
    bool start(std::string& reason);
    Access access() const { return way.load(std::memory_order_acquire); }
    // Whether the session is open (mutter may close it, e.g. when it ends).
    bool open() const { return access() != Access::None && !closed.load(std::memory_order_acquire); }
    // The monitor's stream: PipeWire node (0 when there is none) and place.
    std::uint32_t streamNode() const { return node.load(std::memory_order_acquire); }
    Monitor monitor() const;
    // A connection to the PipeWire daemon that may see the stream: the
    // portal's own remote, or -1 for the session's default PipeWire socket.
    int openPipeWireRemote();

    // Input. Buttons are evdev codes (BTN_LEFT...), keys X keysyms or evdev
    // key codes; absolute positions are in the monitor's own coordinates.
    void pointerMotionRelative(double dx, double dy);
    void pointerMotionAbsolute(double x, double y);
    void pointerButton(int button, bool down);
    void pointerAxisDiscrete(unsigned axis, int steps);
    void keysym(std::uint32_t keysym, bool down);
    void keycode(std::uint32_t evdevCode, bool down);
    // Waits until mutter has handled every input call sent so far.
    void flush();

    // The session's clipboard (mutter's interface only). Handlers run on the
    // session's own thread; set them before start().
    struct ClipboardHandlers {
        // The clipboard's owner changed: its formats, and whether the owner
        // is this session.
        std::function<void(const std::vector<std::string>& mimeTypes, bool sessionIsOwner)> ownerChanged;
        // A client pastes what this session offered: answer with
        // selectionWrite(serial) and selectionWriteDone(serial, ok).
        std::function<void(const std::string& mimeType, std::uint32_t serial)> transfer;
    };
    void setClipboardHandlers(ClipboardHandlers handlers);
    bool clipboardEnabled() const { return clipboard.load(std::memory_order_acquire); }
    // Offers this session's content in these formats; true when mutter took it.
    bool setSelection(const std::vector<std::string>& mimeTypes);
    // A descriptor to write the content for a transfer to (-1 on failure).
    int selectionWrite(std::uint32_t serial);
    void selectionWriteDone(std::uint32_t serial, bool success);
    // A descriptor to read the clipboard's content in one format from (-1
    // on failure).
    int selectionRead(const std::string& mimeType);

private:
    bool startMutter(std::string& reason);
    bool startPortal(std::string& reason);
    bool startScreenCast(const std::string& sessionId);
    void subscribeSession();
    void primeDevices();
    // Sends an input method call (mutter's or the portal's, by the way in)
    // without waiting for its answer.
    void notify(const char* method, GVariant* args);
    void subscribeSessionSignals();
    void threadMain();

public:
    // Runs fn on the session's thread, where the signal handlers run, and
    // waits for it: signal subscriptions are made there.
    void onThread(const std::function<void()>& fn);

private:

    std::thread loopThread;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    GDBusConnection* bus = nullptr;
    std::string sessionPath;   // RemoteDesktop session (mutter) or portal session handle
    std::string streamPath;
    std::atomic<Access> way{Access::None};
    std::atomic<bool> closed{false};
    std::atomic<bool> clipboard{false};
    std::atomic<std::uint32_t> node{0};
    mutable std::mutex stateMutex; // guards place, handlers and the waits below
    std::condition_variable stateChanged;
    Monitor place;
    ClipboardHandlers handlers;
    std::vector<unsigned> subscriptions;
};
