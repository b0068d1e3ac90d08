import QtQuick
import QtQuick.Controls

// A push button of the window. Tab reaches it, a mouse click leaves the
// keyboard focus where it was, and screen readers, voice control and switch
// access press it through the accessibility Press action exactly as a click
// does (Qt Quick's own Button ignores that action).
Button {
    id: button
    focusPolicy: Qt.TabFocus
    Accessible.name: text
    Accessible.onPressAction: {
        if (button.enabled)
            button.clicked()
    }
}
