pragma Singleton
import QtQuick

// Colours and sizes shared by the views. Colours follow the application's
// palette, so the window stays legible under a dark one.
QtObject {
    id: theme

    readonly property SystemPalette palette: SystemPalette { colorGroup: SystemPalette.Active }
    readonly property SystemPalette disabledPalette: SystemPalette { colorGroup: SystemPalette.Disabled }
    readonly property bool dark: palette.window.hslLightness < 0.5

    readonly property color accent: palette.highlight
    // A chosen segment's fill and text: the accent, dark enough for white text.
    readonly property color chosen: Qt.darker(accent, 1.25)
    readonly property color chosenText: "#ffffff"
    // The keyboard focus ring around a control.
    readonly property color focusRing: dark ? Qt.lighter(accent, 1.2) : accent
    readonly property real focusRingWidth: 2
    // Text that matters less: halfway between the text and its background.
    readonly property color secondary: dark ? mix(palette.windowText, palette.window, 0.6)
                                            : "#7c7c82"
    // The text of a control that ignores input.
    readonly property color disabledText: disabledPalette.buttonText
    readonly property color success: dark ? "#4cd964" : "#248a3d"
    readonly property color warning: dark ? "#ffa033" : "#c75c00"
    readonly property color failure: dark ? "#ff6961" : "#d70015"
    // The check or cross inside a coloured status symbol.
    readonly property color symbolMark: dark ? palette.window : "#ffffff"
    readonly property real calloutPixelSize: 13

    // An image made of SVG markup, for symbols drawn in the palette's colours.
    function svgImage(markup) {
        return "data:image/svg+xml;utf8," + encodeURIComponent(markup)
    }

    function withAlpha(colour, alpha) {
        return Qt.rgba(colour.r, colour.g, colour.b, alpha)
    }

    // `weight` of the first colour and the rest of the second.
    function mix(first, second, weight) {
        return Qt.rgba(first.r * weight + second.r * (1 - weight),
                       first.g * weight + second.g * (1 - weight),
                       first.b * weight + second.b * (1 - weight), 1)
    }
}
