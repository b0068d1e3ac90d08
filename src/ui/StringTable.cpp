#include "ui/StringTable.h"

#include <QCoreApplication>

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
    if (hasLocalised_)
        QCoreApplication::installTranslator(&localised_);
}

StringTable::~StringTable()
{
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
