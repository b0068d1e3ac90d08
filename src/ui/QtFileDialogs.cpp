#include "ui/QtFileDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QSettings>
#include <QTreeView>
#include <QWindow>

namespace pictavo {

namespace {

// A name filter that matches the extensions in any letter case, e.g.
// "*.[hH][eE][iI][cC]": the widget dialog compares patterns case-sensitively.
QString caseInsensitivePatterns(const QStringList& extensions)
{
    QStringList patterns;
    for (const QString& extension : extensions) {
        QString pattern = QStringLiteral("*.");
        for (const QChar c : extension) {
            const QChar lower = c.toLower();
            const QChar upper = c.toUpper();
            if (lower == upper)
                pattern += c;
            else
                pattern += u'[' + QString(lower) + upper + u']';
        }
        patterns.append(pattern);
    }
    return patterns.join(u' ');
}

// Shows a modal file dialog in `mode` over the application's window, offering
// the files that pass `nameFilter` (all when empty); the chosen locations, or
// nothing when cancelled.
std::optional<QList<QUrl>> show(const QString& title, QFileDialog::FileMode mode, const QString& nameFilter = {})
{
    // Qt's own dialog keeps its last folder, history and layout in the user's
    // settings of Qt (QtProject.conf) when it closes, and opens there at the
    // next start. Pictavo keeps nothing between runs: those settings are read
    // from and written to a place that holds no file (before the dialog reads them).
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    QFileDialog dialog;
    dialog.setWindowTitle(title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(mode);
    dialog.setOption(QFileDialog::ShowDirsOnly, mode == QFileDialog::Directory);
    if (!nameFilter.isEmpty()) {
        // The dialog shows the label alone; the patterns only do the filtering.
        dialog.setOption(QFileDialog::HideNameFilterDetails, true);
        dialog.setNameFilter(nameFilter);
    }
    // Qt's own dialog (where the desktop offers none of its own) would open
    // with the sizes and dates cut short: each column gets the width of its
    // contents and the names the rest, in a window wide enough for all.
    if (auto* view = dialog.findChild<QTreeView*>()) {
        QHeaderView* header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        const QFontMetrics metrics = dialog.fontMetrics();
        dialog.resize(metrics.averageCharWidth() * 125, metrics.height() * 32);
    }
    // The application's window is a Quick window, not a widget: tie the dialog to it
    // so that the window manager keeps it above and centred on that window.
    if (QWindow* window = QGuiApplication::focusWindow()) {
        dialog.winId();
        dialog.windowHandle()->setTransientParent(window);
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedUrls();
}

}  // namespace

std::optional<QList<QUrl>> QtFileDialogs::choosePhotos(const QString& title, const QStringList& extensions)
{
    return show(title, QFileDialog::ExistingFiles,
                QStringLiteral("%1 (%2)").arg(QCoreApplication::translate("QtFileDialogs", "HEIC and HEIF images"),
                                              caseInsensitivePatterns(extensions)));
}

std::optional<QList<QUrl>> QtFileDialogs::chooseFolder(const QString& title)
{
    return show(title, QFileDialog::Directory);
}

bool QtFileDialogs::preferDesktopPortal()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORMTHEME"))
        return false;
    // Outside a sandbox Qt loads the portal theme only when asked to; it keeps
    // the desktop's usual theme beneath for everything but the dialogs.
    qputenv("QT_QPA_PLATFORMTHEME", "xdgdesktopportal");
    return true;
}

}  // namespace pictavo
