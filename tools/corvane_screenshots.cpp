// Draws the shell's windows into PNG files for the documentation:
//   corvane_screenshots OUTPUT_FOLDER
// Run it through scripts/screenshots.sh, which gives it a private X server
// with a tray (and a private home, so no real settings are touched). The
// pairing code shows the example address 192.168.1.5, not this machine's.
// The windows are in the language of the locale, as the program's are.
#include "AboutCtl.h"
#include "AppDelegate.h"
#include "Config.h"
#include "DesktopModule.h"
#include "HelpCtl.h"
#include "Language.h"
#include "MenuWindow.h"
#include "QRCodeCtl.h"
#include "QtApprovalPrompt.h"
#include "SetCtl.h"
#include "TrustCtl.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

QString outputFolder;

// Lets the window system catch up with what was shown or moved.
void Settle(int ms = 300)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Save(const QImage& image, const char* name)
{
    const QString path = outputFolder + QLatin1Char('/') + QLatin1String(name);
    const bool saved = image.save(path, "PNG");
    std::fprintf(saved ? stdout : stderr, "%s%s\n", saved ? "" : "cannot write ", qPrintable(path));
}

void SaveWindow(QWidget& window, const char* name)
{
    window.show();
    Settle();
    Save(window.grab().toImage(), name);
    window.hide();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    // The desktop module is linked into the program rather than loaded.
    DesktopModule::setInstance(corvane_desktop_module());
    QApplication app(argc, argv);
    const Language language;
    outputFolder = QString::fromLocal8Bit(argv[1]);
    Config::setIsFirstStart(false);

    LaunchOptions options;
    options.tcpPort = options.udpPort = 0; // any free port: nothing connects
    options.broadcast = "127.255.255.255";
    AppDelegate delegate(options);
    if (!delegate.applicationDidFinishLaunching())
        return 1;
    delegate.hostAddresses = [] { return std::vector<std::string>{"192.168.1.5"}; };
    delegate.setConnectCnt(1);
    Settle();

    // The tray icon with its menu open, as the panel shows them.
    if (delegate.statusItem()->isVisible()) {
        Settle(1000);
        const QRect icon = delegate.statusItem()->geometry();
        QMenu* menu = delegate.statusMenu();
        menu->popup(icon.bottomLeft() + QPoint(0, 4));
        Settle();
        const QRect area = icon.united(menu->geometry()).adjusted(-6, -4, 6, 6);
        Save(QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage(),
             "tray-menu.png");
        menu->hide();
    }

    MenuWindow menuWindow(delegate.statusMenu()->actions());
    SaveWindow(menuWindow, "menu-window.png");

    QRCodeCtl pairing(delegate.hostAddresses);
    pairing.updateQRImg();
    SaveWindow(pairing, "pairing-code.png");

    Config::setConnPwd(nullptr);
    SetCtl password;
    SaveWindow(password, "password.png");
    Config::setConnPwd("example");
    SetCtl passwordSet;
    SaveWindow(passwordSet, "password-set.png");
    Config::setConnPwd(nullptr);

    Config::trustDevice("192.168.1.23", "iPhone");
    Config::trustDevice("192.168.1.40", "");
    TrustCtl trusted;
    SaveWindow(trusted, "trusted-devices.png");
    QtApprovalPrompt prompt;
    prompt.ask("Pixel 7", "192.168.1.31", [](bool) {});
    Settle();
    Save(prompt.openBox()->grab().toImage(), "new-device.png");
    prompt.dismiss();

    HelpCtl help;
    SaveWindow(help, "help.png");
    if (auto* page = help.findChild<QScrollArea*>(QStringLiteral("scrollView_")))
        Save(page->widget()->grab().toImage(), "help-page.png");

    AboutCtl about;
    SaveWindow(about, "about.png");
    return 0;
}
