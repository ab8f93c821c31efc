#include "KdeBackend.h"

#include "KdePermission.h"
#include "LayerShellOverlay.h"
#include "Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <algorithm>

KdeBackend::KdeBackend()
    : keymap(connection), outputs(connection), clipboard(connection), windows(connection),
      poster(connection, keymap, outputs, clipboard, windows, script)
{
    if (!connection.connected())
        return;
    std::string refused;
    for (const char* interface : {"org_kde_kwin_fake_input", "org_kde_plasma_window_management"}) {
        if (!connection.offers(interface))
            refused += (refused.empty() ? "" : " and ") + std::string(interface);
    }
    if (!refused.empty())
        Log::Printf("%s\n", KdePermission::Missing(refused).c_str());
}

std::unique_ptr<LaserDotSurface> KdeBackend::makeLaserDotSurface()
{
    auto overlay = std::make_unique<LayerShellOverlay>(connection);
    if (!overlay->available())
        return nullptr;
    return overlay;
}

KdeBackend::~KdeBackend()
{
    // No listener may run while the services take their proxies down.
    connection.stopDispatching();
}

bool KdeBackend::Detected()
{
    const std::vector<std::string> offered = WaylandConnection::OfferedInterfaces();
    if (std::find(offered.begin(), offered.end(), "org_kde_plasma_shell") != offered.end())
        return true;
    // A bus connection of its own, closed again: the probe runs before the
    // program's Qt application exists.
    const QString name = QStringLiteral("corvane-backend-probe");
    bool kwin = false;
    {
        const QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        kwin = bus.isConnected() && bus.interface()->isServiceRegistered(QStringLiteral("org.kde.KWin")).value();
    }
    QDBusConnection::disconnectFromBus(name);
    return kwin;
}
