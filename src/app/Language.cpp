#include "Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace {

// The first of the user's languages in order of preference that Corvane
// has, such as "zh-Hans-CN" or "en-US" ("C" is the plain C locale's
// English); empty when it has none of them.
QString FirstKnown(const QLocale& locale)
{
    for (const QString& language : locale.uiLanguages()) {
        const QString code = language.section(QLatin1Char('-'), 0, 0);
        if (code == QLatin1String("zh") || code == QLatin1String("en") || code == QLatin1String("C"))
            return language;
    }
    return QString();
}

} // namespace

Language::Language(const QLocale& locale)
{
    const QString chosen = FirstKnown(locale);
    const bool chinese = chosen.startsWith(QLatin1String("zh"));
    if (own.load(chinese ? QStringLiteral(":/i18n/corvane_zh.qm") : QStringLiteral(":/i18n/corvane_en.qm")))
        QCoreApplication::installTranslator(&own);
    // Qt's own texts are written in English.
    if (chinese && qt.load(QLocale(chosen), QStringLiteral("qt"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
}

Language::~Language()
{
    QCoreApplication::removeTranslator(&qt);
    QCoreApplication::removeTranslator(&own);
}
