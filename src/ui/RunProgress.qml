import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Pictavo

// How far a run has got: a bar and "N of M", N the files finished (failures
// included) of the M in the run. Tab reaches the bar, so a screen reader can
// read the count on demand.
RowLayout {
    id: progress
    objectName: "runProgress"

    required property int finished
    required property int total

    spacing: 10

    ProgressBar {
        id: bar
        objectName: "progressBar"
        Layout.fillWidth: true
        focusPolicy: Qt.TabFocus
        from: 0
        to: progress.total
        value: progress.finished
        Accessible.name: qsTr("Files processed")
        Accessible.description: count.text

        // The bar draws no focus of its own.
        FocusRing {
            visible: bar.activeFocus
            innerRadius: 1
        }
    }

    Label {
        id: count
        objectName: "progressCount"
        // As wide as the count will ever be, so the bar keeps its length while N grows.
        Layout.preferredWidth: Math.ceil(widest.advanceWidth)
        horizontalAlignment: Text.AlignRight
        text: progress.format(progress.finished)
    }

    TextMetrics {
        id: widest
        font: count.font
        text: progress.format(progress.total)
    }

    function format(finished) {
        return qsTr("%1 of %2").arg(finished).arg(progress.total)
    }
}
