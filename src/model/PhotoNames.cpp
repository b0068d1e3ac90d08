#include "model/PhotoNames.h"

namespace pictavo {

const QStringList& photoExtensions()
{
    static const QStringList extensions{QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("hif")};
    return extensions;
}

bool isConvertible(const QUrl& url)
{
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && photoExtensions().contains(name.mid(dot + 1).toLower());
}

}  // namespace pictavo
