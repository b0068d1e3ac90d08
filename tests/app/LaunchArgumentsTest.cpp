#include "app/LaunchArguments.h"
#include "fixtures/HeifFixtures.h"

#include <QDir>

#include <gtest/gtest.h>

#include <fstream>

namespace pictavo::test {
namespace {

// What a file manager's Open With passes (file URLs) and what a terminal
// passes (paths, relative ones too) are queued in order; options, other kinds
// of URL and missing files are not.
TEST(Launch, LocalPhotosAndFoldersAreTakenInTheGivenOrderAndNothingElse)
{
    fixtures::TempDir dir;
    std::filesystem::create_directory(dir / "My Photos");
    std::ofstream(dir / "a b.HEIC").put('x');
    const QString root = QString::fromStdString(dir.path().string());
    const QString photoUrl = QString::fromUtf8(QUrl::fromLocalFile(root + "/a b.HEIC").toEncoded());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(root);
    const QList<QUrl> taken = launchLocations({"pictavo", photoUrl, "--verbose", "My Photos", "missing.heic",
                                               "https://example.org/x.heic", "smb://nas/photos"});
    QDir::setCurrent(previous);
    EXPECT_EQ(taken, (QList<QUrl>{QUrl::fromLocalFile(root + "/a b.HEIC"), QUrl::fromLocalFile(root + "/My Photos")}));
}

}  // namespace
}  // namespace pictavo::test
