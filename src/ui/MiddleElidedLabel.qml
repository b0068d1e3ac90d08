import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One line that loses characters in its middle when its row runs out of
// room, never widening the row; the whole text is its tooltip and accessible
// name. Widths are whole pixels: the layout rounds, and a text cut short by a
// fraction of a pixel would lose characters.
Label {
    // The least room it takes while others need theirs.
    property int leastWidth: 40

    Layout.fillWidth: true
    Layout.preferredWidth: Math.ceil(implicitWidth)
    Layout.maximumWidth: Math.ceil(implicitWidth)
    Layout.minimumWidth: Math.min(Math.ceil(implicitWidth), leastWidth)
    elide: Text.ElideMiddle
    maximumLineCount: 1
    wrapMode: Text.NoWrap
    Accessible.name: text
    ToolTip.text: text
    ToolTip.visible: truncated && hover.hovered
    ToolTip.delay: 500

    HoverHandler { id: hover }
}
