#pragma once

#include "AppDelegateHooks.h"
#include "DeviceApproval.h"
#include "InstanceLock.h"
#include "LaunchOptions.h"
#include "PasteboardWatch.h"

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class SService;
class MyUDP;

// One entry of the status menu: the key that decides its action (empty for
// a separator) and its title.
struct MenuInfo {
    QString key;
    QString displayname;
};

// The server's delegate: starts the TCP service and discovery and owns
// them for the life of the process; receives the network threads' calls
// and carries them out on the main thread; sends the leaving notice when
// the process is asked to terminate. By itself it serves without a display
// (a core application) and prints its addresses and the pairing code in
// the terminal; AppDelegate adds the status menu and the windows.
class ServerDelegate : public QObject, public AppDelegateHooks {
    Q_OBJECT
public:
    explicit ServerDelegate(const LaunchOptions& options, QObject* parent = nullptr);
    ~ServerDelegate() override;

    // Names the application and keeps numbers on the wire ("%f", atof) in
    // the C locale whatever the desktop's language. Called once the
    // application object exists.
    static void prepareApplication();
    // Watches for SIGTERM and SIGINT, runs the start-up sequence and the
    // application's event loop, then the termination sequence. The exit
    // status: 1 after a failed start.
    int run();

    // The start-up sequence. Returns false after a failed start has been
    // reported; the caller then exits with status 1.
    virtual bool applicationDidFinishLaunching();
    // Stops discovery and broadcasts the leaving notice; runs once.
    void applicationWillTerminate();

    bool startTCP();
    bool startUDP();
    void stopTCP();
    void stopUDP();
    bool sendUDPQueryBoardcast();
    // Running copies of this program for this user on this port, this one
    // included.
    int getRunningCnt();

    // Shows where the phone finds this computer: the terminal's pairing
    // information here, the status menu in AppDelegate.
    virtual void initView();
    // Stores the start-at-login setting.
    virtual void setAutoStart(bool flag);

    // Calls from the network threads (any thread).
    void setConnectCnt(int count) override;
    void closeQRCode() override;
    void myUDPAnswer(MyUDP* udp, int type, const char* name, const char* ip, int sysType) override;
    void startPasteboardTimer() override;
    void stopPasteboardTimer() override;

    static std::vector<MenuInfo> buildMenuInfo(int connectCount);
    static QString connectCountTitle(int count);

    int connectCnt = 0;
    std::vector<MenuInfo> menuInfoArr;
    // Which phones the service serves; it outlives the service and discovery.
    DeviceApproval deviceApproval;
    std::unique_ptr<SService> pService;
    std::unique_ptr<MyUDP> pUDP;
    // The clipboard watch that the phone switches on and off: its timer and
    // the change count seen last.
    PasteboardWatch pasteboardWatch;
    // The host's address texts for the IP display and the pairing code:
    // the system's list unless a test supplies its own.
    std::function<std::vector<std::string>()> hostAddresses;

signals:
    // A discovery answer or leaving notice from a peer, with the string
    // values "UDPMsgType", "name", "ip" and "SysType"; emitted on the main thread.
    void BoardcastKey_UDPAnswer(const QVariantMap& info);

protected:
    // The connection count changed; tag is its menu item. On the main thread.
    virtual void connectCountChanged(int tag, int count);
    // Ends discovery and the TCP service and waits for their threads, which
    // call this object: a derived delegate calls it first thing in its
    // destructor, while it is still whole.
    void endServices();

    LaunchOptions options;

private:
    void printPairingInfo();
    // The alert text of a failed start: a running copy, or the port that
    // could not be taken and why.
    QString startFailureText(bool tcpStarted);

    InstanceLock instanceLock;
    bool terminated = false;
};
