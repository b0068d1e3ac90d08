#include "WindowHarness.h"

#include <QFile>
#include <QProcess>
#include <QLibraryInfo>

namespace pictavo::test {
namespace {

const QLocale german(QLocale::German, QLocale::Germany);
const QLocale french(QLocale::French, QLocale::France);

void queue(AppWindow& app, int count)
{
    QStringList paths;
    for (int i = 1; i <= count; ++i)
        paths.append(QStringLiteral("/p/%1.heic").arg(i));
    app.model().setFiles(fileUrls(paths));
    app.settle();
}

TEST(Translation, TheTableFollowsTheLocalesLanguageAndFallsBackToEnglish)
{
    EXPECT_EQ(StringTable(german).language(), QLocale::German);
    EXPECT_EQ(StringTable(QLocale(QLocale::German, QLocale::Austria)).language(), QLocale::German);
    EXPECT_EQ(StringTable(QLocale(QLocale::French, QLocale::Canada)).language(), QLocale::French);
    EXPECT_EQ(StringTable(QLocale(QLocale::English, QLocale::UnitedKingdom)).language(), QLocale::English);
    EXPECT_EQ(StringTable(QLocale(QLocale::Japanese, QLocale::Japan)).language(), QLocale::English);
    EXPECT_EQ(StringTable(QLocale::c()).language(), QLocale::English);

    // A language without a table shows the English wording, not the source text.
    AppWindow japanese(QLocale(QLocale::Japanese, QLocale::Japan));
    queue(japanese, 1);
    EXPECT_EQ(japanese.text("countHeadline"), "1 file ready");
}

TEST(Translation, TheSystemsLanguageSettingsChooseTheTable)
{
    const auto languageFor = [](const QStringList& settings) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
            environment.remove(QString::fromLatin1(name));
        for (const QString& setting : settings)
            environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
        // The test program, started like this, only reports the table's language.
        environment.insert("PICTAVO_PRINT_TABLE_LANGUAGE", "1");
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        child.waitForFinished(30000);
        const QString output = QString::fromUtf8(child.readAllStandardOutput());
        const qsizetype at = output.indexOf("table language: ");
        return at < 0 ? QString() : output.mid(at + 16).section('\n', 0, 0);
    };
    EXPECT_EQ(languageFor({"LANG=de_DE.UTF-8"}), "de");
    EXPECT_EQ(languageFor({"LANG=en_US.UTF-8", "LC_ALL=fr_FR.UTF-8"}), "fr");
    // LANGUAGE is a list of preferences: the first one with a table wins.
    EXPECT_EQ(languageFor({"LANG=de_DE.UTF-8", "LANGUAGE=ja:fr:de"}), "fr");
    EXPECT_EQ(languageFor({"LANG=ja_JP.UTF-8"}), "en");
    EXPECT_EQ(languageFor({}), "en");
}

TEST(Translation, TheGermanWindowTranslatesEveryFixedTextButNoData)
{
    AppWindow app(german);
    EXPECT_EQ(app.window().title(), "Pictavo");
    EXPECT_EQ(app.text("invitationHeadline"), "HEIC-Dateien hierher ziehen");
    EXPECT_EQ(app.text("invitationOr"), "oder");
    EXPECT_EQ(app.text("chooseFilesButton"), u"Dateien ausw\u00e4hlen\u2026"_qs);
    EXPECT_EQ(app.text("qualityLabel"), u"Qualit\u00e4t"_qs);
    EXPECT_EQ(app.text("qualityPercentage"), u"90\u202f%"_qs);
    EXPECT_EQ(app.text("customOutputSwitch"), "In Ordner speichern:");
    EXPECT_EQ(app.text("nextToOriginalsHint"), "(speichert neben den Originalen)");
    EXPECT_EQ(app.text("convertButton"), "in JPG umwandeln");
    // Format names are data.
    EXPECT_EQ(app.text("formatButtonJPG"), "JPG");
    EXPECT_EQ(app.text("formatButtonPNG"), "PNG");

    queue(app, 1);
    EXPECT_EQ(app.text("countHeadline"), "1 Datei bereit");
    EXPECT_EQ(app.text("addMoreButton"), u"Weitere hinzuf\u00fcgen\u2026"_qs);
    EXPECT_EQ(app.text("clearButton"), "Leeren");
    EXPECT_EQ(app.text("convertButton"), "1 in JPG umwandeln");
    queue(app, 2);
    EXPECT_EQ(app.text("countHeadline"), "2 Dateien bereit");
    queue(app, 5);
    EXPECT_EQ(app.text("countHeadline"), "5 Dateien bereit");

    app.model().setUseCustomOutput(true);
    app.settle();
    EXPECT_EQ(app.text("chooseOutputButton"), u"Ausw\u00e4hlen\u2026"_qs);
    EXPECT_EQ(app.text("outputFolderText"), "Not set");

    app.model().setIsConverting(true);
    app.settle();
    EXPECT_EQ(app.text("convertButton"), u"Wird umgewandelt\u2026"_qs);
    app.model().setIsConverting(false);

    app.model().setResults({ConversionResult("/p/Urlaub.heic", "/p/Urlaub.jpg", std::nullopt),
                            ConversionResult("/p/kaputt.heic", std::nullopt, "Could not read image")});
    app.settle();
    EXPECT_EQ(app.text("summaryText"), "1 converted, 1 failed");
    EXPECT_EQ(app.text("revealButton"), "In Ordner zeigen");
    EXPECT_EQ(app.findAll("resultFileName").at(1)->property("text").toString(), "kaputt.heic");
    EXPECT_EQ(app.findAll("resultError").at(1)->property("text").toString(), u"\u2014 Could not read image"_qs);
}

TEST(Translation, TheFrenchCountLineUsesTheSingularForOneAndThePluralAbove)
{
    AppWindow app(french);
    queue(app, 1);
    EXPECT_EQ(app.text("countHeadline"), u"1 fichier pr\u00eat"_qs);
    EXPECT_EQ(app.text("convertButton"), "Convertir 1 en JPG");
    queue(app, 2);
    EXPECT_EQ(app.text("countHeadline"), u"2 fichiers pr\u00eats"_qs);
}

TEST(Translation, TheFilePanelsAskInTheWindowsLanguage)
{
    for (const auto& [locale, files, folder] :
         {std::tuple(german, "HEIC-Dateien zum Umwandeln ausw\u00e4hlen", "Zielordner ausw\u00e4hlen"),
          std::tuple(french, "Choisissez les fichiers HEIC \u00e0 convertir", "Choisissez le dossier de destination"),
          std::tuple(QLocale(QLocale::English), "Choose HEIC files to convert", "Choose output folder")}) {
        AppWindow app(locale);
        app.click("chooseFilesButton");
        app.model().setUseCustomOutput(true);
        app.settle();
        app.click("chooseOutputButton");
        ASSERT_EQ(app.panels().requests.size(), 2);
        EXPECT_EQ(app.panels().requests[0].message, QString::fromUtf8(files));
        EXPECT_EQ(app.panels().requests[1].message, QString::fromUtf8(folder));
    }
}

TEST(Translation, QtsOwnDialogTextsComeInTheSameLanguage)
{
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm"))
        GTEST_SKIP() << "Qt's German texts are not installed (scripts/setup installs them)";
    {
        const StringTable table(german);
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Abbrechen");
        EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), "&\u00d6ffnen");
    }
    const StringTable english(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

TEST(Translation, EveryTableChangesEveryFixedTextOfTheEmptyWindowButTheNameAndData)
{
    const QStringList translated = {"invitationHeadline", "invitationOr", "chooseFilesButton", "qualityLabel",
                                    "customOutputSwitch", "nextToOriginalsHint", "convertButton"};
    const QStringList kept = {"headline", "formatButtonJPG", "formatButtonPNG"};
    // Tables are installed application-wide, so one window at a time.
    QMap<QString, QString> english;
    {
        AppWindow app;
        for (const QString& name : translated + kept)
            english[name] = app.text(name);
    }
    for (const QLocale& locale : {german, french}) {
        AppWindow app(locale);
        for (const QString& name : translated)
            EXPECT_NE(app.text(name), english[name]) << name.toStdString() << " in " << locale.name().toStdString();
        for (const QString& name : kept)
            EXPECT_EQ(app.text(name), english[name]) << name.toStdString();
    }
}

}  // namespace
}  // namespace pictavo::test
