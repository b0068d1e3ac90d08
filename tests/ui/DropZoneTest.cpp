#include "WindowHarness.h"

#include <QQmlProperty>

namespace pictavo::test {
namespace {

const QColor accent("#308cc6");

std::unique_ptr<QMimeData> urlsData(const QList<QUrl>& urls)
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

TEST(DropZone, ShowsTheInvitationWhileTheQueueIsEmptyAndTheCountOtherwise)
{
    AppWindow app;
    EXPECT_TRUE(app.shown("photoSymbol"));
    EXPECT_EQ(app.text("invitationHeadline"), "Drag HEIC files here");
    EXPECT_EQ(app.text("invitationOr"), "or");
    EXPECT_EQ(app.text("chooseFilesButton"), u"Choose Files\u2026"_qs);
    EXPECT_TRUE(app.shown("invitationHeadline") && app.shown("invitationOr") && app.shown("chooseFilesButton"));
    EXPECT_FALSE(app.shown("countHeadline") || app.shown("addMoreButton") || app.shown("clearButton"));
    EXPECT_EQ(app.item("dropZone").height(), 170);

    app.model().setFiles(fileUrls({"/photos/a.heic"}));
    app.settle();
    EXPECT_EQ(app.text("countHeadline"), "1 file ready");
    EXPECT_EQ(app.text("addMoreButton"), u"Add More\u2026"_qs);
    EXPECT_EQ(app.text("clearButton"), "Clear");
    EXPECT_TRUE(app.shown("photoSymbol") && app.shown("countHeadline") && app.shown("addMoreButton")
                && app.shown("clearButton"));
    EXPECT_FALSE(app.shown("invitationHeadline") || app.shown("invitationOr") || app.shown("chooseFilesButton"));
    EXPECT_EQ(app.item("dropZone").height(), 170);
    EXPECT_EQ(app.item("dropZone").width(), app.item("contentView").width() - 48);

    app.model().setFiles(fileUrls({"/photos/a.heic", "/photos/b.heic"}));
    app.settle();
    EXPECT_EQ(app.text("countHeadline"), "2 files ready");
    app.model().setFiles(fileUrls({"/1.heic", "/2.heic", "/3.heic", "/4.heic", "/5.heic", "/6.heic", "/7.heic",
                                   "/8.heic", "/9.heic", "/10.heic", "/11.heic"}));
    app.settle();
    EXPECT_EQ(app.text("countHeadline"), "11 files ready");
}

TEST(DropZone, ChooseFilesAndAddMoreBothQueueTheFilesPickedInThePanel)
{
    AppWindow app;
    app.panels().answer = fileUrls({"/photos/a.heic", "/photos/notes.txt"});
    app.click("chooseFilesButton");
    EXPECT_EQ(app.model().files(), fileUrls({"/photos/a.heic"}));
    ASSERT_EQ(app.panels().requests.size(), 1);
    EXPECT_TRUE(app.panels().requests[0].allowsMultipleSelection);

    app.panels().answer = fileUrls({"/photos/B.HEIF"});
    app.click("addMoreButton");
    EXPECT_EQ(app.model().files(), fileUrls({"/photos/a.heic", "/photos/B.HEIF"}));
    EXPECT_EQ(app.text("countHeadline"), "2 files ready");

    app.panels().answer = std::nullopt;
    app.click("addMoreButton");
    EXPECT_EQ(app.model().files().size(), 2);
}

TEST(DropZone, ClearEmptiesQueueAndResultsAndShowsTheInvitationAgain)
{
    AppWindow app;
    app.model().setFiles(fileUrls({"/photos/a.heic"}));
    app.model().setResults({ConversionResult("/photos/a.heic", "/photos/a.jpg", std::nullopt)});
    app.settle();
    ASSERT_TRUE(app.shown("resultsList"));

    app.click("clearButton");
    EXPECT_TRUE(app.model().files().isEmpty());
    EXPECT_TRUE(app.model().results().isEmpty());
    EXPECT_TRUE(app.shown("invitationHeadline"));
    EXPECT_FALSE(app.shown("resultsList"));
}

TEST(DropZone, ADropQueuesItsConvertibleFilesInOrderAndLightsTheZoneWhileHovering)
{
    AppWindow app;
    const QList<QUrl> dropped = fileUrls({"/photos/b.heic", "/photos/x.jpg", "/photos/a.HEIF", "/photos/notes.txt"});
    const auto data = urlsData(dropped);
    QObject* border = app.item("dropZone").findChild<QObject*>("dropZoneBorder");
    ASSERT_NE(border, nullptr);
    const QColor idleStroke = border->property("strokeColor").value<QColor>();
    const QColor idleFill = app.colour("dropZoneFill");

    app.dragEnter("dropZone", *data);
    EXPECT_TRUE(app.item("dropZone").property("targeted").toBool());
    EXPECT_EQ(border->property("strokeColor").value<QColor>(), accent);
    EXPECT_EQ(app.colour("dropZoneFill").rgb(), accent.rgb());
    EXPECT_NEAR(app.colour("dropZoneFill").alphaF(), 0.08, 0.01);

    app.drop("dropZone", *data);
    EXPECT_EQ(app.model().files(), fileUrls({"/photos/b.heic", "/photos/a.HEIF"}));
    EXPECT_FALSE(app.item("dropZone").property("targeted").toBool());
    EXPECT_EQ(border->property("strokeColor").value<QColor>(), idleStroke);
    EXPECT_NEAR(idleStroke.alphaF(), 0.5, 0.01);
    EXPECT_NEAR(idleFill.alphaF(), 0.05, 0.01);
    EXPECT_EQ(app.text("countHeadline"), "2 files ready");

    // A queued file is not added twice, and only local files are handed on.
    app.drop("dropZone", *urlsData({QUrl::fromLocalFile("/photos/b.heic"), QUrl("https://example.org/d.heic"),
                                    QUrl::fromLocalFile("/photos/c.heic")}));
    EXPECT_EQ(app.model().files(), fileUrls({"/photos/b.heic", "/photos/a.HEIF", "/photos/c.heic"}));
}

TEST(DropZone, DragsWithoutLocalFilesNeitherLightTheZoneNorDrop)
{
    AppWindow app;
    QMimeData text;
    text.setText("/photos/a.heic");
    app.dragEnter("dropZone", text);
    EXPECT_FALSE(app.item("dropZone").property("targeted").toBool());
    app.drop("dropZone", text);

    const auto remote = urlsData({QUrl("https://example.org/a.heic")});
    app.dragEnter("dropZone", *remote);
    EXPECT_FALSE(app.item("dropZone").property("targeted").toBool());
    app.drop("dropZone", *remote);
    EXPECT_TRUE(app.model().files().isEmpty());
    EXPECT_TRUE(app.shown("invitationHeadline"));

    // A file drag that leaves without dropping turns the light off again.
    app.dragEnter("dropZone", *urlsData(fileUrls({"/photos/a.heic"})));
    EXPECT_TRUE(app.item("dropZone").property("targeted").toBool());
    app.dragLeave();
    EXPECT_FALSE(app.item("dropZone").property("targeted").toBool());
    EXPECT_TRUE(app.model().files().isEmpty());
}

TEST(DropZone, ThePhotoSymbolRendersFromTheApplicationsOwnResources)
{
    AppWindow app;
    QQuickItem& symbol = app.item("photoSymbol");
    EXPECT_EQ(QQmlProperty::read(&symbol, "status").toInt(), 1 /* Image.Ready */);
    EXPECT_EQ(symbol.width(), 40);
    EXPECT_EQ(symbol.height(), 40);
}

}  // namespace
}  // namespace pictavo::test
