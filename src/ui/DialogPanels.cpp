#include "ui/DialogPanels.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QSettings>
#include <QGuiApplication>
#include <QTreeView>
#include <QWindow>

namespace pictavo {

std::optional<QList<QUrl>> DialogPanels::run(const PanelRequest& request)
{
    // Qt's own dialog keeps its last folder, history and layout in the user's
    // settings of Qt (QtProject.conf) when it closes, and opens there at the
    // next start. Pictavo keeps nothing between runs: those settings are read
    // from and written to a place that holds no file.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    QFileDialog dialog;
    configure(dialog, request);
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

bool DialogPanels::preferDesktopPortal()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORMTHEME"))
        return false;
    // Outside a sandbox Qt loads the portal theme only when asked to; it keeps
    // the desktop's usual theme beneath for everything but the dialogs.
    qputenv("QT_QPA_PLATFORMTHEME", "xdgdesktopportal");
    return true;
}

void DialogPanels::configure(QFileDialog& dialog, const PanelRequest& request)
{
    dialog.setWindowTitle(request.message);
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
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (request.canChooseDirectories && !request.canChooseFiles) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        dialog.setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    if (!request.allowedExtensions.isEmpty()) {
        // The dialog shows the label alone; the patterns only do the filtering.
        const QString patterns = caseInsensitivePatterns(request.allowedExtensions).join(u' ');
        dialog.setOption(QFileDialog::HideNameFilterDetails, true);
        dialog.setNameFilter(QStringLiteral("%1 (%2)").arg(
            QCoreApplication::translate("DialogPanels", "HEIC and HEIF images"), patterns));
    }
}

QStringList DialogPanels::caseInsensitivePatterns(const QStringList& extensions)
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
    return patterns;
}

}  // namespace pictavo
