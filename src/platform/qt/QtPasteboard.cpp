#include "QtPasteboard.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

QClipboard* QtPasteboard::clipboard()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return nullptr;
    QClipboard* board = QGuiApplication::clipboard();
    if (board != watched) {
        watched = board;
        // What is on the clipboard now counts as the first contents, so that
        // a watcher that remembers 0 as "nothing seen yet" sees the next copy.
        changes = 1;
        QObject::connect(board, &QClipboard::dataChanged, board, [this] {
            ++changes;
            if (changeListener)
                changeListener();
        });
    }
    return board;
}

const QMimeData* QtPasteboard::contents()
{
    QClipboard* board = clipboard();
    return board ? board->mimeData(QClipboard::Clipboard) : nullptr;
}

bool QtPasteboard::available()
{
    return clipboard() != nullptr;
}

std::optional<std::string> QtPasteboard::text()
{
    const QMimeData* mime = contents();
    // Only text the owner offers as text: QMimeData::hasText() also answers
    // yes for copied files and would make their URLs the text.
    if (mime == nullptr || !mime->hasFormat(QStringLiteral("text/plain")))
        return std::nullopt;
    return mime->text().toStdString();
}

std::vector<std::string> QtPasteboard::filePaths()
{
    std::vector<std::string> paths;
    const QMimeData* mime = contents();
    if (mime == nullptr || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    return paths;
}

std::optional<std::string> QtPasteboard::data(const std::string& mimeType)
{
    const QMimeData* mime = contents();
    const QString format = QString::fromStdString(mimeType);
    if (mime == nullptr || !mime->hasFormat(format))
        return std::nullopt;
    return mime->data(format).toStdString();
}

long long QtPasteboard::changeCount()
{
    return clipboard() ? changes : 0;
}

void QtPasteboard::setChangeListener(std::function<void()> listener)
{
    clipboard();
    changeListener = std::move(listener);
}
