#include "ChangeRecorder.h"
#include "FakePanels.h"

#include "model/Model.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace pictavo::test {
namespace {

QUrl file(const QString& path)
{
    return QUrl::fromLocalFile(path);
}

TEST(FileIntake, ExtensionIsTheLastDotOfTheNameInAnyLetterCase)
{
    for (const char* accepted : {"/p/a.heic", "/p/a.HEIC", "/p/PHOTO.HeIf", "/p/photo.jpg.heic", "/p/x.y/IMG.heif",
                                 "/missing/folder/never.heic", "/p/Ünïcödé.HEIC"})
        EXPECT_TRUE(Model::isConvertible(file(QString::fromUtf8(accepted)))) << accepted;
    for (const char* rejected : {"/p/photo.heic.jpg", "/p/heic", "/p/photo", "/p/photo.heic.", "/p/photo.heics",
                                 "/p/photo.hei", "/p/photo. heic", "/p.heic/photo", "/p/photoheic", ""})
        EXPECT_FALSE(Model::isConvertible(file(QString::fromUtf8(rejected)))) << rejected;
}

// A folder's URL ends in a slash; the name before it still counts.
TEST(FileIntake, FolderNamedLikeAPhotoIsAccepted)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkdir("album.heic"));
    const QString folder = root.filePath("album.heic");
    EXPECT_TRUE(Model::isConvertible(file(folder)));
    EXPECT_TRUE(Model::isConvertible(QUrl::fromLocalFile(folder + "/")));
    EXPECT_TRUE(Model::isConvertible(QUrl("file:///tmp/album.HEIF//")));
}

// Lower-casing maps whole strings: the capital dotted I becomes "i" plus a
// combining dot, which is not the plain "i" of "heic".
TEST(FileIntake, LowerCasingIsUnicodeAware)
{
    EXPECT_FALSE(Model::isConvertible(file(QString::fromUtf8("/p/a.HE\u0130C"))));
    EXPECT_FALSE(Model::isConvertible(file(QString::fromUtf8("/p/a.\uFF28EIC"))));
}

TEST(FileIntake, AddKeepsConvertibleNewFilesInOrderAnnouncingEachAppend)
{
    Model model;
    ChangeRecorder recorder(model);
    model.addFiles({file("/p/a.HEIC"), file("/p/b.jpg"), file("/p/c.heif"), file("/p/a.HEIC")});

    EXPECT_EQ(model.files(), QList<QUrl>({file("/p/a.HEIC"), file("/p/c.heif")}));
    ASSERT_EQ(recorder.names(), QStringList({"will", "files", "will", "files"}));
    EXPECT_TRUE(recorder.events()[0].values.files.isEmpty());
    EXPECT_EQ(recorder.events()[1].values.files.size(), 1);
    EXPECT_EQ(recorder.events()[2].values.files.size(), 1);
    EXPECT_EQ(recorder.events()[3].values.files.size(), 2);
}

TEST(FileIntake, NothingAppendedMeansNothingAnnounced)
{
    Model model;
    model.addFiles({file("/p/a.heic")});
    ChangeRecorder recorder(model);

    model.addFiles({});
    model.addFiles({file("/p/b.png"), file("/p/c")});
    model.addFiles({file("/p/a.heic")});

    EXPECT_EQ(model.files(), QList<QUrl>{file("/p/a.heic")});
    EXPECT_TRUE(recorder.names().isEmpty());
}

// Equality is the URL's own: no case folding or link resolving of paths.
TEST(FileIntake, DuplicatesAreJudgedByUrlEquality)
{
    Model model;
    model.addFiles({file("/p/a.heic"), file("/p/A.heic"), file("/p/a.HEIC"), QUrl("file:///p/a.heic")});
    EXPECT_EQ(model.files(), QList<QUrl>({file("/p/a.heic"), file("/p/A.heic"), file("/p/a.HEIC")}));
}

TEST(FileIntake, AddingAfterARunKeepsItsResults)
{
    Model model;
    model.setResults({ConversionResult("/p/a.heic", std::nullopt, "Write failed")});
    model.addFiles({file("/p/b.heic")});
    EXPECT_EQ(model.results().size(), 1);
}

TEST(FileIntake, ClearEmptiesFilesThenResultsAndNothingElse)
{
    Model model;
    model.addFiles({file("/p/a.heic")});
    model.setResults({ConversionResult("/p/a.heic", std::nullopt, "Write failed")});
    model.setFormat(OutputFormat::png);
    model.setQuality(0.3);
    model.setUseCustomOutput(true);
    model.setOutputDir(file("/out"));
    ChangeRecorder recorder(model);

    model.clear();

    ASSERT_EQ(recorder.names(), QStringList({"will", "files", "will", "results"}));
    EXPECT_EQ(recorder.events()[0].values.files.size(), 1);
    EXPECT_EQ(recorder.events()[2].values.resultCount, 1);
    EXPECT_TRUE(recorder.events()[2].values.files.isEmpty());
    EXPECT_EQ(recorder.events()[3].values.resultCount, 0);
    EXPECT_EQ(model.format(), OutputFormat::png);
    EXPECT_EQ(model.quality(), 0.3);
    EXPECT_TRUE(model.useCustomOutput());
    EXPECT_EQ(model.outputDir(), file("/out"));

    recorder.reset();
    model.clear();
    EXPECT_EQ(recorder.names(), QStringList({"will", "files", "will", "results"}));
}

TEST(FileIntake, ChooseFilesAsksForSeveralHeicFilesAndAddsTheConfirmedOnes)
{
    Model model;
    model.addFiles({file("/p/b.heic")});
    auto panels = std::make_shared<FakePanels>(
        QList<QUrl>{file("/p/c.HEIC"), file("/p/b.heic"), file("/p/notes.txt"), file("/p/a.heif")});
    model.setPanels(panels);
    ChangeRecorder recorder(model);

    model.chooseFiles();

    ASSERT_EQ(panels->requests.size(), 1);
    const PanelRequest& request = panels->requests.first();
    EXPECT_TRUE(request.allowsMultipleSelection);
    EXPECT_FALSE(request.canChooseDirectories);
    EXPECT_TRUE(request.canChooseFiles);
    EXPECT_EQ(request.message, "Choose HEIC files to convert");
    EXPECT_EQ(request.allowedExtensions, QStringList({"heic", "heif"}));
    EXPECT_EQ(model.files(), QList<QUrl>({file("/p/b.heic"), file("/p/c.HEIC"), file("/p/a.heif")}));
    EXPECT_EQ(recorder.names(), QStringList({"will", "files", "will", "files"}));
}

TEST(FileIntake, CancelledOrMissingPanelChangesNothing)
{
    Model model;
    model.addFiles({file("/p/a.heic")});
    ChangeRecorder recorder(model);

    model.chooseFiles();  // no panels at all
    auto panels = std::make_shared<FakePanels>(std::nullopt);
    model.setPanels(panels);
    model.chooseFiles();

    EXPECT_EQ(panels->requests.size(), 1);
    EXPECT_EQ(model.files(), QList<QUrl>{file("/p/a.heic")});
    EXPECT_TRUE(recorder.names().isEmpty());
}

TEST(FileIntake, NewModelsUseTheDefaultPanels)
{
    Model before;
    auto panels = std::make_shared<FakePanels>(QList<QUrl>{file("/p/a.heic")});
    Model::setDefaultPanels(panels);
    Model after;
    Model::setDefaultPanels(nullptr);

    before.chooseFiles();
    EXPECT_TRUE(panels->requests.isEmpty());
    after.chooseFiles();
    EXPECT_EQ(panels->requests.size(), 1);
    EXPECT_EQ(after.files(), QList<QUrl>{file("/p/a.heic")});
}

}  // namespace
}  // namespace pictavo::test
