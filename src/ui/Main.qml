import QtQuick
import QtQuick.Controls
import Pictavo

// The application's window: one ContentView over the model the application made.
ApplicationWindow {
    id: window
    objectName: "mainWindow"
    title: qsTr("Pictavo")
    visible: true

    // The window's one state object, kept for its lifetime.
    required property Model model
    // Shows written files in the file manager; replaceable for tests.
    property QtObject revealer: FileRevealer {}

    // Never smaller than 520 × 520, and only the user changes its size: the
    // content fits into that (a long folder loses characters in its middle,
    // the results list shrinks and scrolls), whatever it holds.
    minimumWidth: 520
    minimumHeight: 520
    width: 520
    height: 520

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

    // The desktop's usual key for quitting; a run in progress ends with the window.
    Shortcut {
        sequence: "Ctrl+Q"
        onActivated: window.close()
    }

    ContentView {
        anchors.fill: parent
        model: window.model
        revealer: window.revealer
    }
}
