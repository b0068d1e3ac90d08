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
    SystemPalette { id: active; colorGroup: SystemPalette.Active }
    SystemPalette { id: disabled; colorGroup: SystemPalette.Disabled }
    palette {
        window: active.window
        windowText: active.windowText
        base: active.base
        alternateBase: active.alternateBase
        text: active.text
        button: active.button
        buttonText: active.buttonText
        light: active.light
        midlight: active.midlight
        mid: active.mid
        dark: active.dark
        shadow: active.shadow
        highlight: active.highlight
        highlightedText: active.highlightedText
        placeholderText: active.placeholderText
        disabled.windowText: disabled.windowText
        disabled.text: disabled.text
        disabled.buttonText: disabled.buttonText
        disabled.button: disabled.button
    }

    ContentView {
        id: content
        anchors.fill: parent
    }
}
