#include "ui/DialogPanels.h"

#include <QApplication>
#include <QFileDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace pictavo {
namespace {

bool matchesAny(const QStringList& patterns, const QString& name)
{
    for (const QString& pattern : patterns)
        if (QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive).match(name).hasMatch())
            return true;
    return false;
}

PanelRequest fileRequest()
{
    PanelRequest request;
    request.allowsMultipleSelection = true;
    request.message = "Pick photos";
    request.allowedExtensions = {"heic", "heif"};
    return request;
}

// Answers the next modal file dialog once it is shown.
void answerNextDialog(std::function<void(QFileDialog&)> answer)
{
    QTimer::singleShot(0, [answer = std::move(answer)] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no file dialog is shown";
            return;
        }
        answer(*dialog);
    });
}

TEST(DialogPanels, TheFileFilterAcceptsTheExtensionsInAnyLetterCaseAndNothingElse)
{
    const QStringList patterns = DialogPanels::caseInsensitivePatterns({"heic", "heif"});
    for (const char* name : {"a.heic", "B.HEIC", "c.HeIf", "IMG_0001.Heic", "x.y.heif"})
        EXPECT_TRUE(matchesAny(patterns, name)) << name;
    for (const char* name : {"a.jpg", "a.heic.txt", "heic", "a.hei", "a.heicc"})
        EXPECT_FALSE(matchesAny(patterns, name)) << name;
}

TEST(DialogPanels, TheDialogFollowsTheRequest)
{
    QFileDialog dialog;
    DialogPanels::configure(dialog, fileRequest());
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(dialog.windowTitle(), "Pick photos");
    ASSERT_EQ(dialog.nameFilters().size(), 1);
    EXPECT_TRUE(dialog.nameFilters()[0].contains("*.[hH][eE][iI][cC] *.[hH][eE][iI][fF]"));

    PanelRequest folder;
    folder.canChooseDirectories = true;
    folder.canChooseFiles = false;
    folder.message = "Output folder";
    DialogPanels::configure(dialog, folder);
    EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(dialog.testOption(QFileDialog::ShowDirsOnly));
    EXPECT_EQ(dialog.windowTitle(), "Output folder");
}

TEST(DialogPanels, ACancelledDialogAnswersNothingAndAnAcceptedOneItsFiles)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString photo = folder.filePath("Photo.HEIC");
    QFile file(photo);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    DialogPanels panels;
    answerNextDialog([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(panels.run(fileRequest()), std::nullopt);

    answerNextDialog([&](QFileDialog& dialog) {
        dialog.setDirectory(folder.path());
        dialog.selectFile(photo);
        static_cast<QDialog&>(dialog).accept();
    });
    const auto chosen = panels.run(fileRequest());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QList<QUrl>{QUrl::fromLocalFile(photo)});
}

}  // namespace
}  // namespace pictavo
