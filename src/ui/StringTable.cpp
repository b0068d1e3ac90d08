#include "ui/StringTable.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace pictavo {

namespace {

const QString tableFolder = QStringLiteral(":/i18n");
const QString tableName = QStringLiteral("pictavo");

}  // namespace

StringTable::StringTable(const QLocale& locale)
{
    hasEnglish_ = english_.load(tableName + QStringLiteral("_en"), tableFolder);
    if (hasEnglish_)
        QCoreApplication::installTranslator(&english_);

    // Tries the locale's languages in the user's order of preference
    // (LANGUAGE, then LC_ALL, LC_MESSAGES, LANG for the system locale).
    hasLocalised_ = localised_.load(locale, tableName, QStringLiteral("_"), tableFolder)
                    && localised_.language() != english_.language();
    if (!hasLocalised_)
        return;
    QCoreApplication::installTranslator(&localised_);
    hasQtTexts_ = qtTexts_.load(QLocale(localised_.language()), QStringLiteral("qtbase"), QStringLiteral("_"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (hasQtTexts_)
        QCoreApplication::installTranslator(&qtTexts_);
}

StringTable::~StringTable()
{
    if (hasQtTexts_)
        QCoreApplication::removeTranslator(&qtTexts_);
    if (hasLocalised_)
        QCoreApplication::removeTranslator(&localised_);
    if (hasEnglish_)
        QCoreApplication::removeTranslator(&english_);
}

QLocale::Language StringTable::language() const
{
    return hasLocalised_ ? QLocale(localised_.language()).language() : QLocale::English;
}

}  // namespace pictavo
