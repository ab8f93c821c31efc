#pragma once

class MyUDP;

// What the network threads ask of the application delegate. The delegate
// moves each call to the main thread itself; the callers never wait for it.
class AppDelegateHooks {
public:
    virtual ~AppDelegateHooks() = default;

    // The number of open live channels changed.
    virtual void setConnectCnt(int count) = 0;
    // A phone reports that it scanned the pairing code.
    virtual void closeQRCode() = 0;
    // A discovery answer or leaving notice from another peer. The texts are
    // valid only during the call.
    virtual void myUDPAnswer(MyUDP* udp, int type, const char* name, const char* ip, int sysType) = 0;
    // Switch the clipboard watch; called on the main thread.
    virtual void startPasteboardTimer() = 0;
    virtual void stopPasteboardTimer() = 0;

    // The application delegate of this process, or null before it exists.
    static AppDelegateHooks* current();
    static void setCurrent(AppDelegateHooks* delegate);
};
