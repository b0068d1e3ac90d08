import QtQuick
import QtQuick.Shapes
import Pictavo

// The drop zone's picture: two photos, one behind the other, drawn in the
// secondary text colour so that it follows the palette as the text does.
Item {
    id: symbol

    implicitWidth: 40
    implicitHeight: 40

    // Drawn in a 40 × 40 box, scaled to the symbol's size.
    Item {
        width: 40
        height: 40
        scale: symbol.width / 40
        transformOrigin: Item.TopLeft

        // The photo behind, tilted.
        Shape {
            anchors.fill: parent
            antialiasing: true
            transform: Rotation { origin.x: 22; origin.y: 15; angle: -10 }
            ShapePath {
                strokeColor: Theme.secondary
                strokeWidth: 2
                joinStyle: ShapePath.RoundJoin
                fillColor: "transparent"
                PathSvg { path: "M12 5 H32 A3 3 0 0 1 35 8 V22 A3 3 0 0 1 32 25 H12 A3 3 0 0 1 9 22 V8 A3 3 0 0 1 12 5 Z" }
            }
        }

        // The photo in front, hiding the one behind, with a sun and two hills.
        Shape {
            anchors.fill: parent
            antialiasing: true
            ShapePath {
                strokeColor: Theme.secondary
                strokeWidth: 2
                joinStyle: ShapePath.RoundJoin
                fillColor: Theme.palette.base
                PathSvg { path: "M8 13 H29 A3 3 0 0 1 32 16 V31 A3 3 0 0 1 29 34 H8 A3 3 0 0 1 5 31 V16 A3 3 0 0 1 8 13 Z" }
            }
            ShapePath {
                strokeColor: "transparent"
                fillColor: Theme.secondary
                PathSvg { path: "M9.5 20 A2.5 2.5 0 1 0 14.5 20 A2.5 2.5 0 1 0 9.5 20 Z M7 31 L15 23 L20 28 L24 24 L30 31 Z" }
            }
        }
    }
}
