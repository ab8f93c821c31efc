#pragma once

#include "AppDelegateHooks.h"
#include "InstanceLock.h"
#include "LaunchOptions.h"
#include "PasteboardWatch.h"

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>
#include <vector>

class SService;
class MyUDP;

// One entry of the status menu: the key that decides its action (empty for
// a separator) and its title.
struct MenuInfo {
    QString key;
    QString displayname;
};

// The application delegate: starts the TCP service and discovery, owns
// them for the life of the process, receives the network threads' calls and
// carries them out on the main thread, and sends the leaving notice when the
// process is asked to terminate.
class AppDelegate : public QObject, public AppDelegateHooks {
    Q_OBJECT
public:
    explicit AppDelegate(const LaunchOptions& options, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The start-up sequence. Returns false after a failed start has been
    // reported; the caller then exits with status 1.
    bool applicationDidFinishLaunching();
    void applicationWillTerminate();

    bool startTCP();
    bool startUDP();
    void stopTCP();
    void stopUDP();
    bool sendUDPQueryBoardcast();
    // Running copies of this program for this user on this port, this one
    // included.
    int getRunningCnt();

    void setConnectCnt(int count) override;
    void closeQRCode() override;
    void myUDPAnswer(MyUDP* udp, int type, const char* name, const char* ip, int sysType) override;
    void startPasteboardTimer() override;
    void stopPasteboardTimer() override;

    static std::vector<MenuInfo> buildMenuInfo(int connectCount);
    static QString connectCountTitle(int count);

    int connectCnt = 0;
    std::vector<MenuInfo> menuInfoArr;
    std::unique_ptr<SService> pService;
    std::unique_ptr<MyUDP> pUDP;
    // The clipboard watch that the phone switches on and off: its timer and
    // the change count seen last.
    PasteboardWatch pasteboardWatch;

signals:
    // A discovery answer or leaving notice from a peer, with the string
    // values "UDPMsgType", "name", "ip" and "SysType"; emitted on the main thread.
    void BoardcastKey_UDPAnswer(const QVariantMap& info);

protected:
    // Steps that show something; without a display they print to the terminal.
    virtual void initView();
    virtual void showStartFailure(const QString& informativeText);

    LaunchOptions options;
    InstanceLock instanceLock;
};
