#pragma once

#include <QDBusConnection>

#include <optional>

namespace pictavo {

// The desktop's colour preference as the freedesktop settings portal reports
// it (org.freedesktop.appearance color-scheme): true for dark, false for
// light or no preference, nothing when the portal cannot be asked.
std::optional<bool> desktopPrefersDark(const QDBusConnection& bus);

// Gives the application the dark palette when the desktop asks for dark but
// the platform's palette is light (desktops whose themes do not reach Qt).
void followDesktopColourScheme();

}  // namespace pictavo
