#pragma once

#include <QLocale>
#include <QTranslator>

// The language of every text the user reads, chosen by the desktop's locale
// (LANGUAGE, LC_ALL, LC_MESSAGES and LANG, as QLocale reads them). The
// windows, menu and alerts are written in Chinese and the terminal texts in
// English; the first language of the locale that Corvane knows decides:
// Chinese shows the Chinese of both, English, and every locale without
// either, the English. The translations are compiled into the program.
//
// While an object lives, its translations are installed in the running
// application (which must exist first), with Qt's own for its standard
// texts, such as a text field's context menu, where the system has them.
class Language {
public:
    explicit Language(const QLocale& locale = QLocale());
    ~Language();
    Language(const Language&) = delete;
    Language& operator=(const Language&) = delete;

private:
    QTranslator own;
    QTranslator qt;
};
