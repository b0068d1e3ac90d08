import QtQuick
import QtQuick.Controls

// A push button of the window. Tab reaches it, a mouse click leaves the
// keyboard focus where it was, and screen readers, voice control and switch
// access press it through the accessibility Press action as a click does (Qt
// Quick's own Button ignores that action). The click comes once the action's
// call has returned: a button that opens a modal dialog would otherwise keep
// the assistive tool waiting for its answer until the dialog closed.
Button {
    id: button
    focusPolicy: Qt.TabFocus
    Accessible.name: text
    Accessible.onPressAction: Qt.callLater(() => {
        if (button.enabled)
            button.clicked()
    })
}
