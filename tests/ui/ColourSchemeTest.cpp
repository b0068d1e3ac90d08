#include "ui/ColourScheme.h"

#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

namespace pictavo::test {
namespace {

// Stands in for the settings portal, which cannot run here, and answers the
// colour scheme as the real one does: a uint inside one or two variants.
class FakeSettingsPortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    QVariant colourScheme;
    bool nested = false;
    std::atomic<int> reads{0};

public slots:
    QDBusVariant Read(const QString& nameSpace, const QString& key)
    {
        ++reads;
        if (nameSpace != "org.freedesktop.appearance" || key != "color-scheme")
            return QDBusVariant(QString());
        return nested ? QDBusVariant(QVariant::fromValue(QDBusVariant(colourScheme))) : QDBusVariant(colourScheme);
    }
};

// A private message bus for the length of a test, with the fake portal served
// from its own thread (the asking side blocks the main thread).
class PrivateBus {
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        process_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                QStringLiteral("--print-address=1")});
        if (!process_.waitForStarted(5000) || !process_.waitForReadyRead(5000))
            return;
        address_ = QString::fromUtf8(process_.readLine()).trimmed();
        server_.start();
        portal_.moveToThread(&server_);
    }

    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
        QDBusConnection::disconnectFromBus(QStringLiteral("asker"));
        server_.quit();
        server_.wait();
        process_.kill();
        process_.waitForFinished();
    }

    bool running() const { return !address_.isEmpty(); }

    bool servePortal()
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("portal"));
        return bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal_,
                                  QDBusConnection::ExportAllSlots)
               && bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }

    QDBusConnection asker() const { return QDBusConnection::connectToBus(address_, QStringLiteral("asker")); }

    FakeSettingsPortal portal_;

private:
    QProcess process_;
    QString address_;
    QThread server_;
};

TEST(ColourScheme, ReadsThePortalsPreferenceInEitherWrapping)
{
    PrivateBus bus;
    if (!bus.running())
        GTEST_SKIP() << "dbus-daemon is not available";
    EXPECT_EQ(desktopPrefersDark(bus.asker()), std::nullopt) << "no portal on the bus";
    ASSERT_TRUE(bus.servePortal());

    const std::pair<uint, bool> cases[] = {{1, true}, {0, false}, {2, false}};
    for (bool nested : {false, true}) {
        bus.portal_.nested = nested;
        for (const auto& [scheme, dark] : cases) {
            bus.portal_.colourScheme = QVariant::fromValue(scheme);
            EXPECT_EQ(desktopPrefersDark(bus.asker()), std::optional<bool>(dark))
                << "scheme " << scheme << (nested ? " nested" : "");
        }
    }
    EXPECT_EQ(bus.portal_.reads, 6);

    // An answer that is no number says nothing.
    bus.portal_.nested = false;
    bus.portal_.colourScheme = QStringLiteral("dark");
    EXPECT_EQ(desktopPrefersDark(bus.asker()), std::nullopt);
}

}  // namespace
}  // namespace pictavo::test

#include "ColourSchemeTest.moc"
