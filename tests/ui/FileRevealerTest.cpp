#include "ui/FileRevealer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <signal.h>

#include <functional>

namespace {

using pictavo::FileRevealer;

constexpr auto fileManagerService = "org.freedesktop.FileManager1";
constexpr auto fileManagerPath = "/org/freedesktop/FileManager1";

// A session bus of the test's own: no activatable services, so a name nobody
// owns fails at once instead of starting a real file manager.
class PrivateBus {
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !configDir_.isValid())
            return;
        const QString config = configDir_.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(QStringLiteral("<busconfig>\n"
                                  "  <type>session</type>\n"
                                  "  <listen>unix:dir=%1</listen>\n"
                                  "  <auth>EXTERNAL</auth>\n"
                                  "  <policy context=\"default\">\n"
                                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                                  "    <allow eavesdrop=\"true\"/>\n"
                                  "    <allow own=\"*\"/>\n"
                                  "  </policy>\n"
                                  "</busconfig>\n")
                       .arg(configDir_.path())
                       .toUtf8());
        file.close();

        QProcess process;
        process.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--fork"),
                               QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
        if (!process.waitForFinished(10000) || process.exitCode() != 0)
            return;
        const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        if (lines.size() < 2)
            return;
        address_ = lines.at(0).trimmed();
        pid_ = lines.at(1).trimmed().toInt();
    }

    ~PrivateBus()
    {
        if (pid_ > 0)
            ::kill(pid_, SIGTERM);
    }

    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool running() const { return pid_ > 0 && !address_.isEmpty(); }
    QString address() const { return address_; }

private:
    QTemporaryDir configDir_;
    QString address_;
    int pid_ = 0;
};

// Stands in for the desktop's file manager and remembers every ShowItems call.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    struct Call {
        QStringList uris;
        QString startupId;
    };
    QList<Call> calls;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) { calls.append({uris, startupId}); }
};

// Receives what the revealer hands to QDesktopServices when it falls back.
class OpenedUrls : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }
};

bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QTest::qWait(10);
    return done();
}

class FileRevealerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { bus_ = new PrivateBus; }
    static void TearDownTestSuite()
    {
        delete bus_;
        bus_ = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(QCoreApplication::instance(), nullptr) << "the test program must create a Qt application";
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened_, "open");
    }

    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        for (const QString& name : connections_)
            QDBusConnection::disconnectFromBus(name);
    }

    // A fresh connection to the private bus, or a skip when the bus could not be started.
    QDBusConnection connect(const QString& name)
    {
        const QString unique = QStringLiteral("file-revealer-test-%1-%2").arg(name).arg(connections_.size());
        connections_.append(unique);
        return QDBusConnection::connectToBus(bus_->address(), unique);
    }

    bool busRunning() const { return bus_->running(); }

    // Exports the fake on its own connection and claims the file manager's name.
    void serveFileManager(QObject* fileManager)
    {
        QDBusConnection connection = connect(QStringLiteral("file-manager"));
        ASSERT_TRUE(connection.isConnected());
        ASSERT_TRUE(connection.registerObject(QString::fromLatin1(fileManagerPath), fileManager,
                                              QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(connection.registerService(QString::fromLatin1(fileManagerService)));
    }

    OpenedUrls opened_;

private:
    static inline PrivateBus* bus_ = nullptr;
    QStringList connections_;
};

#define SKIP_WITHOUT_PRIVATE_BUS()                                                                   \
    if (!busRunning())                                                                               \
    GTEST_SKIP() << "dbus-daemon is not installed or could not start a private bus (scripts/setup installs it)"

TEST_F(FileRevealerTest, HandsTheFileManagerEncodedUrisInTheGivenOrderAndNothingForAnEmptyList)
{
    SKIP_WITHOUT_PRIVATE_BUS();
    FakeFileManager fileManager;
    serveFileManager(&fileManager);
    QDBusConnection client = connect(QStringLiteral("client"));
    ASSERT_TRUE(client.isConnected());
    FileRevealer revealer(client);

    // Calls on one connection arrive in order, so an empty list that did call would be seen first.
    revealer.reveal({});
    revealer.reveal({QStringLiteral("/home/ana/Urlaub Fotos/Café été.jpg"), QStringLiteral("/tmp/b/IMG_0001.png"),
                     QStringLiteral("/tmp/a/100% #1?.jpg")});

    ASSERT_TRUE(waitUntil([&] { return !fileManager.calls.isEmpty(); }));
    QTest::qWait(200);
    ASSERT_EQ(fileManager.calls.size(), 1);
    EXPECT_EQ(fileManager.calls[0].uris,
              (QStringList{QStringLiteral("file:///home/ana/Urlaub%20Fotos/Caf%C3%A9%20%C3%A9t%C3%A9.jpg"),
                           QStringLiteral("file:///tmp/b/IMG_0001.png"),
                           QStringLiteral("file:///tmp/a/100%25%20%231%3F.jpg")}));
    EXPECT_EQ(fileManager.calls[0].startupId, QString());
    // A file manager that answered leaves nothing to fall back on.
    EXPECT_TRUE(opened_.urls.isEmpty());
}

TEST_F(FileRevealerTest, OpensTheFirstFilesFolderWhenNoFileManagerIsRunning)
{
    SKIP_WITHOUT_PRIVATE_BUS();
    QDBusConnection client = connect(QStringLiteral("client"));
    ASSERT_TRUE(client.isConnected());
    ASSERT_FALSE(client.interface()->isServiceRegistered(QString::fromLatin1(fileManagerService)).value());
    FileRevealer revealer(client);

    revealer.reveal({QStringLiteral("/home/ana/Urlaub Fotos/Café.jpg"), QStringLiteral("/tmp/other/b.jpg")});

    ASSERT_TRUE(waitUntil([&] { return !opened_.urls.isEmpty(); }));
    QTest::qWait(100);
    ASSERT_EQ(opened_.urls.size(), 1);
    EXPECT_EQ(opened_.urls[0], QUrl::fromLocalFile(QStringLiteral("/home/ana/Urlaub Fotos")));
    EXPECT_EQ(opened_.urls[0].toString(QUrl::FullyEncoded), QStringLiteral("file:///home/ana/Urlaub%20Fotos"));
}

TEST_F(FileRevealerTest, OpensTheFolderWhenTheFileManagerRefusesTheCall)
{
    SKIP_WITHOUT_PRIVATE_BUS();
    // Something owns the name but has no ShowItems method: the call comes back as an error.
    QObject withoutShowItems;
    serveFileManager(&withoutShowItems);
    QDBusConnection client = connect(QStringLiteral("client"));
    FileRevealer revealer(client);

    revealer.reveal({QStringLiteral("/tmp/results/a.png")});

    ASSERT_TRUE(waitUntil([&] { return !opened_.urls.isEmpty(); }));
    EXPECT_EQ(opened_.urls, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/results"))});
}

TEST(FileRevealerWithoutBus, OpensTheFolderWhenThereIsNoSessionBus)
{
    ASSERT_NE(QCoreApplication::instance(), nullptr) << "the test program must create a Qt application";
    OpenedUrls opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    const QString name = QStringLiteral("file-revealer-test-no-bus");
    {
        QDBusConnection nowhere = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name);
        ASSERT_FALSE(nowhere.isConnected());
        FileRevealer revealer(nowhere);

        revealer.reveal({QStringLiteral("/tmp/out dir/x.jpg")});

        EXPECT_TRUE(waitUntil([&] { return !opened.urls.isEmpty(); }));
    }
    QDBusConnection::disconnectFromBus(name);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/out dir"))});
}

}  // namespace

#include "FileRevealerTest.moc"
