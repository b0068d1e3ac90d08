import QtQuick
import QtQuick.Controls

// The application's window: one ContentView, and with it one Model.
ApplicationWindow {
    id: window
    objectName: "mainWindow"
    title: qsTr("Pictavo")
    visible: true

    // Never smaller than 520 × 520, nor than the content needs.
    minimumWidth: Math.max(520, content.implicitWidth)
    minimumHeight: Math.max(520, content.implicitHeight)
    width: 520
    height: 520
    // Grow with the content (results appearing) rather than cut it off.
    onMinimumWidthChanged: if (width < minimumWidth) width = minimumWidth
    onMinimumHeightChanged: if (height < minimumHeight) height = minimumHeight

    ContentView {
        id: content
        anchors.fill: parent
    }
}
