import QtQuick
import QtQuick.Shapes
import Pictavo

// A result's mark: a filled circle with a check (converted) or a cross
// (failed), in the palette's success or failure colour, the mark cut out in
// the colour of the window behind.
Item {
    id: symbol

    property bool ok: true

    implicitWidth: 16
    implicitHeight: 16

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        antialiasing: true
        color: symbol.ok ? Theme.success : Theme.failure
    }

    // Drawn in a 16 × 16 box, scaled to the symbol's size.
    Shape {
        width: 16
        height: 16
        scale: symbol.width / 16
        transformOrigin: Item.TopLeft
        antialiasing: true

        ShapePath {
            strokeColor: Theme.symbolMark
            strokeWidth: 1.8
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            joinStyle: ShapePath.RoundJoin
            PathSvg {
                path: symbol.ok ? "M4.5 8.2 L7 10.7 L11.5 5.6" : "M5.2 5.2 L10.8 10.8 M10.8 5.2 L5.2 10.8"
            }
        }
    }
}
