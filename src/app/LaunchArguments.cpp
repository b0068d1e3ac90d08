#include "app/LaunchArguments.h"

#include "ui/StringTable.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <memory>

namespace pictavo {

namespace {

std::unique_ptr<QCommandLineParser> parsed(const QStringList& arguments)
{
    auto parser = std::make_unique<QCommandLineParser>();
    parser->setApplicationDescription(
        QCoreApplication::translate("LaunchArguments", "Converts HEIC and HEIF photos to JPG or PNG."));
    parser->addHelpOption();
    parser->addVersionOption();
    parser->addPositionalArgument(
        QStringLiteral("locations"),
        QCoreApplication::translate("LaunchArguments", "Photos and folders to queue, as paths or file URLs."),
        QCoreApplication::translate("LaunchArguments", "[PHOTO or FOLDER…]"));
    // Unknown options are left out rather than refused, like anything else
    // that is not a local file or folder.
    parser->parse(arguments);
    return parser;
}

}  // namespace

bool answeredHelpOrVersion(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (const auto parser = parsed(arguments); !parser->isSet(QStringLiteral("help")) &&
                                               !parser->isSet(QStringLiteral("version")))
        return false;
    // Parsed again, with the texts in the user's language.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pictavo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PICTAVO_VERSION));
    const StringTable strings;
    const auto parser = parsed(arguments);
    if (parser->isSet(QStringLiteral("help")))
        parser->showHelp();
    parser->showVersion();
}

QList<QUrl> launchLocations(const QStringList& arguments)
{
    QList<QUrl> locations;
    for (const QString& argument : parsed(arguments)->positionalArguments()) {
        const QUrl url = QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile);
        struct stat status{};
        if (url.isLocalFile() && ::lstat(QFile::encodeName(url.toLocalFile()).constData(), &status) == 0)
            locations.append(url);
    }
    return locations;
}

}  // namespace pictavo
