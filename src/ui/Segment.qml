import QtQuick
import QtQuick.Controls
import Pictavo

// One segment of a segmented control; `checked` marks the chosen one. The
// chosen segment is filled with the accent colour, and keyboard focus draws a
// ring around a segment, clear of its edge, so that neither is taken for the
// other in a light or a dark palette.
AccessibleButton {
    id: segment

    // A ring reaches over the neighbouring segment.
    z: visualFocus ? 1 : 0
    Accessible.checkable: true
    Accessible.checked: checked

    contentItem: Label {
        text: segment.text
        font: segment.font
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        color: segment.checked ? Theme.chosenText : segment.palette.buttonText
    }

    background: Rectangle {
        implicitWidth: 80
        implicitHeight: 24
        radius: 3
        color: segment.checked ? Theme.chosen : Qt.darker(segment.palette.button, segment.down ? 1.1 : 1.0)
        border.color: segment.checked ? Theme.chosen : Qt.darker(segment.palette.button, 1.4)

        FocusRing {
            visible: segment.visualFocus
            innerRadius: parent.radius
        }
    }
}
