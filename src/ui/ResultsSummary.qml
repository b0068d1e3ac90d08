import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Pictavo

// How many files the last run converted and how many failed, and the button
// that shows the written files in the file manager.
RowLayout {
    id: summary
    objectName: "resultsSummary"

    required property ResultList results
    // The run was stopped before its last file: a warning, like a failure.
    property bool stopped: false

    signal revealRequested()


    Label {
        objectName: "summaryText"
        // Takes the room the row has left, beside the convert button, and
        // wraps there rather than widening the window.
        Layout.fillWidth: true
        Layout.preferredWidth: 0
        horizontalAlignment: Text.AlignRight
        wrapMode: Text.WordWrap
        readonly property string convertedText: qsTr("%n converted", "", summary.results.convertedCount)
        readonly property int failed: summary.results.failedCount
        //: The number of converted files, then the number of failed ones
        text: failed > 0 ? qsTr("%1, %2").arg(convertedText).arg(qsTr("%n failed", "", failed)) : convertedText
        color: failed > 0 || summary.stopped ? Theme.warning : Theme.success
    }

    AccessibleButton {
        objectName: "revealButton"
        visible: summary.results.canReveal
        text: qsTr("Show in Finder")
        onClicked: summary.revealRequested()
    }
}
