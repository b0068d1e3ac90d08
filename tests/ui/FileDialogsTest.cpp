#include "ui/QtFileDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

namespace pictavo::test {
namespace {

namespace fs = std::filesystem;

// Everything under `folder`, at any depth.
std::set<fs::path> everythingUnder(const fs::path& folder)
{
    return {fs::recursive_directory_iterator(folder), fs::recursive_directory_iterator()};
}

// Qt's own file dialog (where no desktop portal answers) would keep its last folder and its history in the
// user's configuration when it closes, and open there at the next start. It writes nothing under the user's
// folders (HOME and every XDG folder: a scratch folder, main.cpp).
TEST(FileDialogs, QtsOwnDialogKeepsNothingForTheNextStart)
{
    const fs::path home = qgetenv("HOME").toStdString();
    fs::create_directories(home / "Pictures");
    const std::set<fs::path> before = everythingUnder(home);
    // Once open, the dialog goes to a folder and is closed.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog) << "no file dialog opened";
        dialog->setDirectory(QString::fromStdString((home / "Pictures").string()));
        dialog->reject();
    });
    EXPECT_FALSE(QtFileDialogs().chooseFolder("Choose"));
    EXPECT_EQ(everythingUnder(home), before);
}

}  // namespace
}  // namespace pictavo::test
