#pragma once

#include <QLocale>
#include <QTranslator>

namespace pictavo {

// The application's translated texts for one locale, installed into the
// running application for as long as the table lives.
//
// The English table is always installed, beneath the table of the locale's
// language (when there is one): texts worded for another desktop read right
// here, and a text the user's table lacks falls back to its English wording.
// With the user's table come Qt's own texts in that language (the buttons of
// the file dialogs), when the system has them.
class StringTable {
public:
    explicit StringTable(const QLocale& locale = QLocale::system());
    ~StringTable();
    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;

    // The language whose table is in use: English when the locale has none.
    QLocale::Language language() const;

private:
    QTranslator english_;
    QTranslator localised_;
    QTranslator qtTexts_;
    bool hasEnglish_ = false;
    bool hasLocalised_ = false;
    bool hasQtTexts_ = false;
};

}  // namespace pictavo
