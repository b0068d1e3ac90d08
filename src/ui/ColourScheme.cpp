#include "ui/ColourScheme.h"

#include "ui/DarkPalette.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>

namespace pictavo {

namespace {

// The portal answers within milliseconds; a missing one must not hold up the start.
constexpr int portalTimeoutMs = 500;

// Read() wraps the value in a variant, some portal versions twice.
QVariant unwrapped(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

}  // namespace

std::optional<bool> desktopPrefersDark(const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    const QDBusMessage reply = bus.call(call, QDBus::Block, portalTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool isNumber = false;
    // 0: no preference, 1: prefer dark, 2: prefer light.
    const uint scheme = unwrapped(reply.arguments().constFirst()).toUInt(&isNumber);
    if (!isNumber)
        return std::nullopt;
    return scheme == 1;
}

void followDesktopColourScheme()
{
    if (isDark(QGuiApplication::palette()))
        return;
    if (desktopPrefersDark(QDBusConnection::sessionBus()).value_or(false))
        QGuiApplication::setPalette(darkPalette());
}

}  // namespace pictavo
