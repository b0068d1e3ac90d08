import QtQuick
import Pictavo

// The keyboard focus ring drawn around a control, clear of its edge, for
// controls whose style draws no focus of its own. Its parent is the control
// (or its background); `innerRadius` is the corner radius of what it rings.
Rectangle {
    property real innerRadius: 0

    anchors.fill: parent
    anchors.margins: -(Theme.focusRingWidth + 1)
    radius: innerRadius - anchors.margins
    color: "transparent"
    border.width: Theme.focusRingWidth
    border.color: Theme.focusRing
}
