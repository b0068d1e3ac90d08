import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Pictavo

// How many files the last run converted and how many failed, and the button
// that shows the written files in the file manager.
RowLayout {
    id: summary
    objectName: "resultsSummary"

    // One map per result: fileName, output ("" when none), error, ok.
    required property var results
    // The run was stopped before its last file: a warning, like a failure.
    property bool stopped: false

    signal revealRequested()

    readonly property int succeeded: results.filter(result => result.ok).length
    readonly property int failed: results.length - succeeded
    // The first converted file decides whether there is anything to show.
    readonly property var firstConverted: results.find(result => result.ok)

    Label {
        objectName: "summaryText"
        // Takes the room the row has left, beside the convert button, and
        // wraps there rather than widening the window.
        Layout.fillWidth: true
        Layout.preferredWidth: 0
        horizontalAlignment: Text.AlignRight
        wrapMode: Text.WordWrap
        readonly property string convertedText: qsTr("%n converted", "", summary.succeeded)
        //: The number of converted files, then the number of failed ones
        text: summary.failed > 0 ? qsTr("%1, %2").arg(convertedText).arg(qsTr("%n failed", "", summary.failed))
                                 : convertedText
        color: summary.failed > 0 || summary.stopped ? Theme.warning : Theme.success
    }

    AccessibleButton {
        objectName: "revealButton"
        visible: summary.firstConverted !== undefined && summary.firstConverted.output !== ""
        text: qsTr("Show in Finder")
        onClicked: summary.revealRequested()
    }
}
