import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Pictavo

// One row per result of the last run, in a box that grows to 140 high and
// then scrolls. Tab reaches the list; the arrow keys move through its rows.
Rectangle {
    id: box
    objectName: "resultsList"

    // One map per result: id, fileName, error ("" when none), ok.
    required property var results

    readonly property real padding: 8

    implicitHeight: Math.min(140, list.contentHeight + 2 * padding)
    color: Theme.withAlpha(Theme.secondary, 0.05)
    radius: 8
    clip: true

    ListView {
        id: list
        objectName: "resultsListView"
        anchors.fill: parent
        topMargin: box.padding
        bottomMargin: box.padding
        leftMargin: box.padding
        rightMargin: box.padding
        spacing: 4
        boundsBehavior: Flickable.StopAtBounds
        model: box.results
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

        activeFocusOnTab: true
        keyNavigationEnabled: true
        highlightMoveDuration: 0
        highlightResizeDuration: 0
        // The current row is marked only while the list has the keyboard.
        highlight: Rectangle {
            objectName: "resultsFocusMark"
            visible: list.activeFocus
            radius: 4
            color: Theme.withAlpha(Theme.accent, 0.25)
            border.color: Theme.accent
        }

        Accessible.role: Accessible.List
        Accessible.name: qsTr("Results")

        delegate: RowLayout {
            id: row
            required property var modelData
            objectName: "resultRow"
            width: ListView.view.width - ListView.view.leftMargin - ListView.view.rightMargin

            Accessible.role: Accessible.ListItem
            Accessible.name: row.modelData.ok
                             ? box.fill(qsTr("%1 converted"), [row.modelData.fileName])
                             : box.fill(qsTr("%1 failed: %2"), [row.modelData.fileName, row.modelData.error])

            Image {
                objectName: "resultStatus"
                source: row.modelData.ok ? "icons/check.svg" : "icons/cross.svg"
                sourceSize.width: 16
                sourceSize.height: 16
            }

            Label {
                objectName: "resultFileName"
                text: row.modelData.fileName
                font.pixelSize: Theme.calloutPixelSize
            }

            Label {
                objectName: "resultError"
                visible: row.modelData.error !== ""
                Layout.fillWidth: true
                text: qsTr("— %1").arg(row.modelData.error)
                color: Theme.failure
                elide: Text.ElideRight
                font.pixelSize: Theme.calloutPixelSize
            }

            Item { Layout.fillWidth: true }
        }
    }

    // The template with %1, %2… replaced by the values in one pass, so a "%2"
    // inside a file name stays as it is.
    function fill(template, values) {
        return template.replace(/%(\d)/g, (placeholder, number) => values[number - 1] ?? placeholder)
    }
}
