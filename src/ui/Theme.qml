pragma Singleton
import QtQuick

// Colours and sizes shared by the views.
QtObject {
    readonly property color accent: "#308cc6"
    readonly property color secondary: "#7c7c82"
    readonly property color success: "#248a3d"
    readonly property color warning: "#c75c00"
    readonly property color failure: "#d70015"
    readonly property real calloutPixelSize: 13

    function withAlpha(colour, alpha) {
        return Qt.rgba(colour.r, colour.g, colour.b, alpha)
    }
}
