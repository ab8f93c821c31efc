#include "IconTheme.h"

#include "MainQueue.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QMimeDatabase>
#include <QImage>
#include <QPixmap>
#include <QStandardPaths>

namespace {

std::string EncodePng(const QImage& image)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return bytes.toStdString();
}

bool HaveGuiApplication()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// Without a desktop application: look for a PNG of the name in the usual
// icon folders, the size closest above the wanted one first.
QString FindPngIcon(const QString& name, int size)
{
    QStringList roots;
    roots << QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/icons");
    const QByteArray dataDirs = qgetenv("XDG_DATA_DIRS");
    const QString dirs = dataDirs.isEmpty() ? QStringLiteral("/usr/local/share:/usr/share") : QString::fromLocal8Bit(dataDirs);
    for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts))
        roots << dir + QStringLiteral("/icons");
    const int sizes[] = {size, 64, 48, 96, 128, 256, 32, 24, 22, 16, 512};
    for (const QString& root : roots) {
        for (const char* theme : {"hicolor", "Adwaita"}) {
            for (const int s : sizes) {
                const QString folder = QStringLiteral("%1/%2/%3x%3").arg(root, QLatin1String(theme)).arg(s);
                for (const char* context : {"apps", "mimetypes", "places", "devices", "legacy"}) {
                    const QString candidate = QStringLiteral("%1/%2/%3.png").arg(folder, QLatin1String(context), name);
                    if (QFileInfo::exists(candidate))
                        return candidate;
                }
            }
        }
    }
    const QString pixmap = QStringLiteral("/usr/share/pixmaps/%1.png").arg(name);
    return QFileInfo::exists(pixmap) ? pixmap : QString();
}

} // namespace

std::string IconTheme::png(const std::string& nameOrPath, int size)
{
    if (nameOrPath.empty())
        return {};
    const QString name = QString::fromStdString(nameOrPath);
    if (QDir::isAbsolutePath(name)) {
        QImage image(name);
        if (image.isNull())
            return {};
        if (image.width() > size * 2 || image.height() > size * 2)
            image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return EncodePng(image);
    }
    if (HaveGuiApplication()) {
        // The theme loader and pixmaps belong to the main thread.
        std::string bytes;
        MainQueue::instance().sync([&] {
            const QIcon icon = QIcon::fromTheme(name);
            if (!icon.isNull())
                bytes = EncodePng(icon.pixmap(size, size).toImage());
        });
        return bytes;
    }
    const QString file = FindPngIcon(name, size);
    return file.isEmpty() ? std::string() : EncodePng(QImage(file));
}

std::string IconTheme::pngForFile(const std::string& path, int size)
{
    const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(QFile::decodeName(path.c_str()));
    QStringList names = {type.iconName(), type.genericIconName()};
    if (type.inherits(QStringLiteral("inode/directory")))
        names << QStringLiteral("folder");
    for (const QString& name : names) {
        std::string bytes = png(name.toStdString(), size);
        if (!bytes.empty())
            return bytes;
    }
    return genericPng();
}

// The program's resources live in this static library; make sure the
// linker keeps them and Qt registers them before the first lookup.
static void RegisterResources()
{
    Q_INIT_RESOURCE(platform);
}

std::string IconTheme::genericPng()
{
    static const bool registered = (RegisterResources(), true);
    (void)registered;
    QFile file(QStringLiteral(":/corvane/generic-file.png"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}
