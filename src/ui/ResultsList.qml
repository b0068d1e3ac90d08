import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Pictavo

// One row per result of the last run, in a box that grows to 140 high and
// then scrolls. Tab reaches the list; the arrow keys move through its rows.
Rectangle {
    id: box
    objectName: "resultsList"

    required property ResultList results

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
        // Rows keep clear of the scroll bar, so it never covers a reason.
        rightMargin: box.padding + (scrollBar.size < 1 ? scrollBar.width : 0)
        spacing: 4
        boundsBehavior: Flickable.StopAtBounds
        model: box.results
        // Rows beyond the box are made as they scroll into view, never ahead in
        // the background, where a change of the results would cancel them.
        cacheBuffer: 0
        ScrollBar.vertical: ScrollBar {
            id: scrollBar
            objectName: "resultsScrollBar"
            // In view exactly while there is more to see than the box shows
            // (no fading in and out as the rows come).
            policy: ScrollBar.AlwaysOn
            visible: size < 1
            Accessible.name: list.Accessible.name
        }

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
            required property string fileName
            required property string reason
            required property bool ok
            objectName: "resultRow"
            width: ListView.view.width - ListView.view.leftMargin - ListView.view.rightMargin

            Accessible.role: Accessible.ListItem
            Accessible.name: row.ok ? box.fill(qsTr("%1 converted"), [row.fileName])
                                    : box.fill(qsTr("%1 failed: %2"), [row.fileName, row.reason])

            StatusSymbol {
                objectName: "resultStatus"
                ok: row.ok
            }

            // The name gives way, so that the reason beside it is always read in full.
            MiddleElidedLabel {
                objectName: "resultFileName"
                leastWidth: 48
                text: row.fileName
                font.pixelSize: Theme.calloutPixelSize
            }

            Label {
                objectName: "resultError"
                visible: row.reason !== ""
                // Never gives way: the name beside it does.
                Layout.minimumWidth: Math.ceil(implicitWidth)
                text: qsTr("— %1").arg(row.reason)
                color: Theme.failure
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
