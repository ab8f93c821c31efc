#include "KwinScript.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVirtualObject>
#include <QDir>
#include <QTemporaryFile>
#include <QTextStream>
#include <chrono>
#include <cstdlib>
#include <unistd.h>

namespace {
constexpr const char* kReplyPath = "/org/corvane/KwinScript";
constexpr const char* kReplyInterface = "org.corvane.KwinScript";
} // namespace

// The object KWin's scripts report to: Report(token, text). QtDBus calls a
// virtual object on its own thread, so a reply arrives even while the
// program's main thread is busy.
class ScriptReplies : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override
    {
        return QStringLiteral("<interface name=\"%1\"><method name=\"Report\"><arg type=\"s\" direction=\"in\"/>"
                              "<arg type=\"s\" direction=\"in\"/></method></interface>")
            .arg(QLatin1String(kReplyInterface));
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QList<QVariant> arguments = message.arguments();
        if (message.member() != QLatin1String("Report") || arguments.size() != 2)
            return false;
        {
            std::lock_guard lock(mutex);
            const auto waiting = expected.find(arguments[0].toString());
            // Only answers for a program run now are taken, and only short ones.
            if (waiting != expected.end() && arguments[1].toString().size() < 65536)
                waiting->second = arguments[1].toString();
        }
        arrived.notify_all();
        if (!message.isReplyRequired() || message.isDelayedReply())
            return true;
        connection.send(message.createReply());
        return true;
    }

    std::mutex mutex; // guards expected
    std::condition_variable arrived;
    std::map<QString, std::optional<QString>> expected;
};

KwinScript::KwinScript() : replies(std::make_shared<ScriptReplies>()) {}

KwinScript::~KwinScript()
{
    if (registered)
        QDBusConnection::sessionBus().unregisterObject(QLatin1String(kReplyPath));
}

std::optional<QString> KwinScript::run(const QString& program, int timeoutMs)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QString token;
    {
        // Registered at the first use, once the program's Qt application
        // exists (the bus connection belongs to it).
        std::lock_guard lock(mutex);
        if (!registered && bus.isConnected())
            registered = bus.registerVirtualObject(QLatin1String(kReplyPath), replies.get());
        if (!registered)
            return std::nullopt;
        token = QStringLiteral("corvane-%1-%2").arg(::getpid()).arg(++next);
    }
    // KWin loads scripts from files: one of this program's, readable by the
    // user only, in the runtime folder.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    QTemporaryFile file(QDir(QString::fromLocal8Bit(runtime ? runtime : "/tmp")).filePath(token + "-XXXXXX.js"));
    if (!file.open())
        return std::nullopt;
    QTextStream(&file) << "function report(text) { callDBus(\"" << bus.baseService() << "\", \"" << kReplyPath
                       << "\", \"" << kReplyInterface << "\", \"Report\", \"" << token << "\", String(text)); }\n"
                       << program << "\n";
    file.close();
    {
        std::lock_guard lock(replies->mutex);
        replies->expected[token];
    }

    const auto call = [&](const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                                                              QStringLiteral("org.kde.kwin.Scripting"), method);
        message.setArguments(arguments);
        return bus.call(message, QDBus::Block, timeoutMs);
    };
    std::optional<QString> reported;
    const QDBusReply<int> loaded = call(QStringLiteral("loadScript"), {file.fileName(), token});
    if (loaded.isValid() && loaded.value() >= 0) {
        call(QStringLiteral("start"), {});
        std::unique_lock lock(replies->mutex);
        replies->arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return replies->expected[token].has_value(); });
        reported = replies->expected[token];
        lock.unlock();
        call(QStringLiteral("unloadScript"), {token});
    }
    std::lock_guard lock(replies->mutex);
    replies->expected.erase(token);
    return reported;
}
