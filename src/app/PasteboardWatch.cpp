#include "PasteboardWatch.h"

#include "HttpRequest.h"
#include "Log.h"
#include "Pasteboard.h"

#include <QTimer>

PasteboardWatch::PasteboardWatch() = default;
PasteboardWatch::~PasteboardWatch() = default;

void PasteboardWatch::startPasteboardTimer()
{
    if (pasteBoardTimer)
        return;
    pasteBoardTimer = std::make_unique<QTimer>();
    pasteBoardTimer->setInterval(kIntervalMs);
    QObject::connect(pasteBoardTimer.get(), &QTimer::timeout, pasteBoardTimer.get(), [this] { checkPasteboard(); });
    pasteBoardTimer->start();
    checkPasteboard();
}

void PasteboardWatch::stopPasteboardTimer()
{
    pasteBoardTimer.reset();
}

void PasteboardWatch::checkPasteboard()
{
    Pasteboard& pasteboard = Pasteboard::instance();
    if (!pasteboard.available())
        return;
    const long long count = pasteboard.changeCount();
    if (count == pasteBoardChangeCnt)
        return;
    Log::Printf("=====>粘帖板有变化\n");
    if (pasteBoardChangeCnt != 0)
        HttpRequest().sendJPush();
    pasteBoardChangeCnt = count;
}
