#include "WindowHarness.h"

#include "ui/DarkPalette.h"

#include <QGuiApplication>

namespace pictavo::test {
namespace {

double luminance(const QColor& colour)
{
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

// A colour with transparency as it shows over an opaque background.
QColor over(const QColor& colour, const QColor& background)
{
    const double alpha = colour.alphaF();
    return QColor::fromRgbF(colour.redF() * alpha + background.redF() * (1 - alpha),
                            colour.greenF() * alpha + background.greenF() * (1 - alpha),
                            colour.blueF() * alpha + background.blueF() * (1 - alpha));
}

// The contrast ratio of two colours: 1 (none) to 21 (black on white).
double contrast(const QColor& a, const QColor& b)
{
    const double lighter = std::max(luminance(a), luminance(b));
    const double darker = std::min(luminance(a), luminance(b));
    return (lighter + 0.05) / (darker + 0.05);
}

// Sets the application's palette for the lifetime of the object.
class PaletteScope {
public:
    explicit PaletteScope(const QPalette& palette) : previous_(QGuiApplication::palette())
    {
        QGuiApplication::setPalette(palette);
    }
    ~PaletteScope() { QGuiApplication::setPalette(previous_); }

private:
    QPalette previous_;
};

// Every text of the window in every state, with the contrast it needs against
// the window's background: 4.5 for body text, 3 for secondary and coloured text.
void expectLegible(AppWindow& app, const char* paletteName)
{
    const QColor background = app.window().color();
    const auto check = [&](const QString& name, double needed) {
        const QColor colour = over(app.colour(name), background);
        EXPECT_GE(contrast(colour, background), needed)
            << name.toStdString() << " " << colour.name().toStdString() << " on "
            << background.name().toStdString() << " in the " << paletteName << " palette";
    };
    check("headline", 4.5);
    check("invitationHeadline", 4.5);
    check("invitationOr", 3);
    check("qualityLabel", 4.5);
    check("nextToOriginalsHint", 3);

    app.model().setUseCustomOutput(true);
    app.model().setResults({ConversionResult("/p/a.heic", "/p/a.jpg", std::nullopt)});
    app.settle();
    check("outputFolderText", 3);
    check("summaryText", 3);
    app.model().setResults({ConversionResult("/p/a.heic", "/p/a.jpg", std::nullopt),
                            ConversionResult("/p/b.heic", std::nullopt, "Could not read image")});
    app.settle();
    check("summaryText", 3);
    check("resultFileName", 4.5);
    const QColor box = over(app.colour("resultsList"), background);
    const QColor error = app.findAll("resultError").at(1)->property("color").value<QColor>();
    EXPECT_GE(contrast(error, box), 3) << "error text in the " << paletteName << " palette";
}

TEST(Look, EveryTextIsLegibleInTheLightAndTheDarkPalette)
{
    {
        PaletteScope dark(darkPalette());
        AppWindow app;
        EXPECT_LT(luminance(app.window().color()), 0.1) << "the window does not follow the dark palette";
        expectLegible(app, "dark");
    }
    AppWindow light;
    EXPECT_GT(luminance(light.window().color()), 0.5) << "the window keeps the dark palette";
    expectLegible(light, "light");
}

// A button that ignores clicks must look so: its text fades towards the background.
void expectDisabledConvertButtonFaded(AppWindow& app, const char* paletteName)
{
    const QColor background = app.window().color();
    const QColor disabled = app.colour("convertLabel");
    app.model().setFiles(fileUrls({"/p/a.heic"}));
    app.settle();
    const QColor enabled = app.colour("convertLabel");
    EXPECT_LT(contrast(disabled, background) * 1.5, contrast(enabled, background))
        << disabled.name().toStdString() << " (disabled) against " << enabled.name().toStdString()
        << " (enabled) in the " << paletteName << " palette";
    EXPECT_GE(contrast(enabled, background), 4.5) << paletteName;
}

TEST(Look, TheConvertButtonLooksDisabledWhileItCannotRun)
{
    {
        AppWindow light;
        expectDisabledConvertButtonFaded(light, "light");
    }
    PaletteScope dark(darkPalette());
    AppWindow app;
    expectDisabledConvertButtonFaded(app, "dark");
}

}  // namespace
}  // namespace pictavo::test
