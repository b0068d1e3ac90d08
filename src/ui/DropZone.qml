import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Shapes
import Pictavo

// The dashed panel through which files enter the queue: a drop target for
// local files, with an invitation or the number of queued files.
Item {
    id: zone
    objectName: "dropZone"

    required property Model model
    // True while a drag carrying local files hovers over the zone.
    property bool targeted: false

    readonly property int fileCount: model.fileCount
    // While dropped folders are searched, a busy line takes the place of the
    // headline and the buttons.
    readonly property bool scanning: model.isScanning
    // Which presentation shows: the invitation, or the count with its buttons.
    readonly property bool inviting: fileCount === 0 && !scanning
    readonly property bool counting: fileCount > 0 && !scanning
    readonly property real cornerRadius: 14
    readonly property real lineWidth: 2

    implicitHeight: 170
    height: 170

    Accessible.role: Accessible.Pane
    Accessible.name: zone.scanning ? scanningLabel.text : zone.fileCount === 0 ? invitation.text : countHeadline.text
    Accessible.description: qsTr("Drop HEIC files or folders here to add them to the queue")

    Rectangle {
        objectName: "dropZoneFill"
        anchors.fill: parent
        radius: zone.cornerRadius
        color: zone.targeted ? Theme.withAlpha(Theme.accent, 0.08) : Theme.withAlpha(Theme.secondary, 0.05)
    }

    // The border lies wholly inside the zone: its path is inset by half the line width.
    Shape {
        id: border
        anchors.fill: parent

        readonly property real inset: zone.lineWidth / 2
        readonly property real cornerRadius: zone.cornerRadius - inset
        readonly property real x0: inset
        readonly property real y0: inset
        readonly property real x1: width - inset
        readonly property real y1: height - inset

        ShapePath {
            objectName: "dropZoneBorder"
            strokeColor: zone.targeted ? Theme.accent : Theme.withAlpha(Theme.secondary, 0.5)
            strokeWidth: zone.lineWidth
            strokeStyle: ShapePath.DashLine
            // In units of the line width: 8 drawn, 6 gap.
            dashPattern: [4, 3]
            dashOffset: 0
            capStyle: ShapePath.FlatCap
            joinStyle: ShapePath.MiterJoin
            miterLimit: 10
            fillColor: "transparent"

            startX: border.x0 + border.cornerRadius
            startY: border.y0
            PathLine { x: border.x1 - border.cornerRadius; y: border.y0 }
            PathArc { x: border.x1; y: border.y0 + border.cornerRadius; radiusX: border.cornerRadius; radiusY: border.cornerRadius }
            PathLine { x: border.x1; y: border.y1 - border.cornerRadius }
            PathArc { x: border.x1 - border.cornerRadius; y: border.y1; radiusX: border.cornerRadius; radiusY: border.cornerRadius }
            PathLine { x: border.x0 + border.cornerRadius; y: border.y1 }
            PathArc { x: border.x0; y: border.y1 - border.cornerRadius; radiusX: border.cornerRadius; radiusY: border.cornerRadius }
            PathLine { x: border.x0; y: border.y0 + border.cornerRadius }
            PathArc { x: border.x0 + border.cornerRadius; y: border.y0; radiusX: border.cornerRadius; radiusY: border.cornerRadius }
        }
    }

    ColumnLayout {
        objectName: "dropZoneContent"
        anchors.centerIn: parent
        spacing: 10

        PhotoSymbol {
            objectName: "photoSymbol"
            Layout.alignment: Qt.AlignHCenter
        }

        Label {
            id: invitation
            objectName: "invitationHeadline"
            visible: zone.inviting
            Layout.alignment: Qt.AlignHCenter
            text: qsTr("Drag HEIC files here")
            font.bold: true
        }

        Label {
            objectName: "invitationOr"
            visible: zone.inviting
            Layout.alignment: Qt.AlignHCenter
            text: qsTr("or")
            color: Theme.secondary
        }

        AccessibleButton {
            id: chooseFilesButton
            objectName: "chooseFilesButton"
            visible: zone.inviting
            Layout.alignment: Qt.AlignHCenter
            text: qsTr("Choose Files…")
            onClicked: zone.keepKeyboardFocus(this, () => zone.model.chooseFiles())
        }

        Label {
            id: countHeadline
            objectName: "countHeadline"
            visible: zone.counting
            Layout.alignment: Qt.AlignHCenter
            // The English string table gives the singular and plural wording.
            text: qsTr("%n file(s) ready", "", zone.fileCount)
            font.bold: true
        }

        RowLayout {
            visible: zone.counting
            Layout.alignment: Qt.AlignHCenter

            AccessibleButton {
                id: addMoreButton
                objectName: "addMoreButton"
                text: qsTr("Add More…")
                onClicked: zone.model.chooseFiles()
            }

            AccessibleButton {
                objectName: "clearButton"
                text: qsTr("Clear")
                onClicked: zone.keepKeyboardFocus(this, () => zone.model.clear())
            }
        }

        RowLayout {
            objectName: "scanningLine"
            visible: zone.scanning
            Layout.alignment: Qt.AlignHCenter
            spacing: 8

            BusyIndicator {
                objectName: "scanningIndicator"
                running: zone.scanning
                Layout.preferredWidth: 24
                Layout.preferredHeight: 24
                Accessible.name: scanningLabel.text
            }

            Label {
                id: scanningLabel
                objectName: "scanningLabel"
                text: qsTr("Looking for photos…")
                font.bold: true
            }
        }
    }

    DropArea {
        id: dropArea
        objectName: "dropArea"
        anchors.fill: parent

        onEntered: drag => {
            if (zone.localFiles(drag).length === 0) {
                drag.accepted = false
                return
            }
            drag.accept(Qt.CopyAction)
            zone.targeted = true
        }
        onExited: zone.targeted = false
        onDropped: drop => {
            zone.targeted = false
            const urls = zone.localFiles(drop)
            if (urls.length === 0)
                return
            drop.accept(Qt.CopyAction)
            zone.model.addFiles(urls)
        }
    }

    // Runs an action of a button that may hide itself (the presentation
    // switches); a keyboard user's focus moves on to the first button of the
    // new presentation instead of getting lost.
    function keepKeyboardFocus(button, action) {
        const hadFocus = button.activeFocus
        action()
        if (hadFocus && !button.visible)
            (zone.fileCount === 0 ? chooseFilesButton : addMoreButton).forceActiveFocus(Qt.TabFocusReason)
    }

    // The local file URLs a drag carries; anything else is not handed on.
    function localFiles(drag) {
        if (!drag.hasUrls)
            return []
        return drag.urls.filter(url => url.toString().startsWith("file:"))
    }
}
