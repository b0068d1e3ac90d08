#include "ui/FileRevealer.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

// Stands in for the desktop: its file manager on the bus and the folder opener of QDesktopServices.
class FakeDesktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QList<QStringList> shown;
    QList<QUrl> opened;

public slots:
    Q_SCRIPTABLE void ShowItems(const QStringList& uris, const QString&) { shown.append(uris); }
    void open(const QUrl& url) { opened.append(url); }
};

// One request per folder, in the order of the files: a file manager that opens a window per file gets
// the folder's first file, one that selects several (it also owns Dolphin's name) gets them all. While
// nobody owns the file manager's name, each folder is opened instead.
TEST(FileRevealer, AsksForEachFolderOnceWithEncodedUrisOrOpensEachFolder)
{
    // A session bus of the test's own: no activatable services, so a name nobody
    // owns fails at once instead of starting a real file manager.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("bus.conf"));
    std::ofstream(config.toStdString()) << "<busconfig><type>session</type><listen>unix:dir=" << dir.path().toStdString()
                                        << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                        << "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                        << "<allow own=\"*\"/></policy></busconfig>";
    QProcess daemon;
    daemon.start(QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")),
                 {"--config-file=" + config, "--print-address=1"});
    if (!daemon.waitForReadyRead(10000))
        GTEST_SKIP() << "dbus-daemon could not start a private bus (scripts/setup installs it)";
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    FakeDesktop desktop;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "open");
    QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("service"));
    pictavo::FileRevealer revealer(QDBusConnection::connectToBus(address, QStringLiteral("revealer")));

    const QStringList paths{"/home/ana/Urlaub Fotos/Café été.jpg", "/tmp/a/100% #1?.jpg",
                            "/home/ana/Urlaub Fotos/b.jpg", "/tmp/a/c.jpg"};
    // Each folder is opened once, in whatever order the failed calls come back.
    const QString last = "/last/x.jpg";
    revealer.reveal(paths);
    revealer.reveal({last});
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.opened.size() >= 3; }, 20000));
    QList<QUrl> opened = desktop.opened;
    std::sort(opened.begin(), opened.end());
    EXPECT_EQ(opened, QList<QUrl>({QUrl::fromLocalFile("/home/ana/Urlaub Fotos"), QUrl::fromLocalFile("/last"),
                                   QUrl::fromLocalFile("/tmp/a")}));

    const QString cafe = "file:///home/ana/Urlaub%20Fotos/Caf%C3%A9%20%C3%A9t%C3%A9.jpg";
    const QString percent = "file:///tmp/a/100%25%20%231%3F.jpg";
    const QList<QStringList> firstOfEach{{cafe}, {percent}};
    const QList<QStringList> all{{cafe, "file:///home/ana/Urlaub%20Fotos/b.jpg"}, {percent, "file:///tmp/a/c.jpg"}};
    const std::pair<QString, QList<QStringList>> cases[]{
        {"", firstOfEach}, {"org.kde.dolphin-4242", all}, {"org.kde.dolphin", all}, {"org.kde.dolphinx", firstOfEach}};
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &desktop, QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));
    for (const auto& [alsoOwned, expected] : cases) {
        SCOPED_TRACE("also owned: " + alsoOwned.toStdString());
        ASSERT_TRUE(alsoOwned.isEmpty() || service.registerService(alsoOwned));
        desktop.shown.clear();
        revealer.reveal({});  // no call at all
        revealer.reveal(paths);
        revealer.reveal({last});
        ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.shown.contains({"file:///last/x.jpg"}); }, 20000));
        EXPECT_EQ(desktop.shown, expected + QList<QStringList>{{"file:///last/x.jpg"}});
        if (!alsoOwned.isEmpty())
            service.unregisterService(alsoOwned);
    }
    EXPECT_EQ(desktop.opened.size(), 3);  // no more than before the file manager came
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    daemon.kill();
    daemon.waitForFinished();
}

}  // namespace

#include "FileRevealerTest.moc"
