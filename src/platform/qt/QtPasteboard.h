#pragma once

#include "Pasteboard.h"

#include <QClipboard>
#include <QPointer>

class QMimeData;

// The clipboard of a Qt desktop application (QGuiApplication::clipboard()).
// Without a QGuiApplication there is no clipboard.
class QtPasteboard : public Pasteboard {
public:
    bool available() override;
    std::optional<std::string> text() override;
    std::vector<std::string> filePaths() override;
    std::optional<std::string> data(const std::string& mimeType) override;
    long long changeCount() override;
    void setChangeListener(std::function<void()> listener) override;

private:
    // The application's clipboard, watched for changes from the first call
    // on; null without a QGuiApplication.
    QClipboard* clipboard();
    const QMimeData* contents();

    QPointer<QClipboard> watched; // null again once the application has gone
    long long changes = 0;
    std::function<void()> changeListener;
};
