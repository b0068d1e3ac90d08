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

    // The controls take their colours from the application's palette (the
    // desktop's, light or dark), which Qt Quick does not pass on by itself.
    SystemPalette { id: activeColours; colorGroup: SystemPalette.Active }
    palette {
        window: activeColours.window
        windowText: activeColours.windowText
        base: activeColours.base
        alternateBase: activeColours.alternateBase
        text: activeColours.text
        button: activeColours.button
        buttonText: activeColours.buttonText
        light: activeColours.light
        midlight: activeColours.midlight
        mid: activeColours.mid
        dark: activeColours.dark
        shadow: activeColours.shadow
        highlight: activeColours.highlight
        highlightedText: activeColours.highlightedText
        placeholderText: activeColours.placeholderText
    }

    // The desktop's usual key for quitting; a run in progress still finishes its files.
    Shortcut {
        sequence: "Ctrl+Q"
        onActivated: window.close()
    }

    ContentView {
        id: content
        anchors.fill: parent
    }
}
