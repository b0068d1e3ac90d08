#include "ui/StringTable.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace pictavo {

QTranslator* installStringTable(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    const QString folder = QStringLiteral(":/i18n");
    if (translator->load(QLocale(), QStringLiteral("pictavo"), QStringLiteral("_"), folder)
        || translator->load(QStringLiteral("pictavo_en"), folder)) {
        app.installTranslator(translator);
        return translator;
    }
    delete translator;
    return nullptr;
}

}  // namespace pictavo
