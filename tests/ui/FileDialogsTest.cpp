#include "fixtures/HeifFixtures.h"
#include "ui/QtFileDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QSettings>
#include <QTimer>

#include <algorithm>

#include <gtest/gtest.h>

namespace pictavo::test {
namespace {

namespace fs = std::filesystem;

// Qt's own file dialog (where no desktop portal answers) would keep its last folder and its history in the
// user's configuration when it closes, and open there at the next start. Nothing is written under the user's
// folders: the home and every XDG folder are in a scratch folder that stays empty.
TEST(FileDialogs, QtsOwnDialogKeepsNothingForTheNextStart)
{
    const fixtures::TempDir home;
    fs::create_directory(home / "Pictures");
    qputenv("HOME", home.path().c_str());
    for (const char* folder : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        qputenv(folder, (home / folder).c_str());
    // Where Qt keeps what its dialog remembers, unless told otherwise.
    ASSERT_TRUE(QSettings(QSettings::UserScope, "QtProject").fileName().startsWith(home.path().c_str()));
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog) << "no file dialog opened";
        dialog->setDirectory(QString::fromStdString((home / "Pictures").string()));
        dialog->reject();
    });
    EXPECT_FALSE(QtFileDialogs().chooseFolder("Choose"));
    std::vector<std::string> written;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(home.path()))
        written.push_back(entry.path().lexically_relative(home.path()).string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, std::vector<std::string>{"Pictures"});
}

}  // namespace
}  // namespace pictavo::test
