import QtQuick
import Pictavo

// A result's mark: a filled circle with a check (converted) or a cross
// (failed), in the palette's success or failure colour, the mark cut out in
// the colour of the window behind. An image rather than shapes, so that the
// scrolling list clips it like its text.
Image {
    id: symbol

    property bool ok: true

    sourceSize.width: 16
    sourceSize.height: 16
    source: Theme.svgImage(
        '<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">'
        + '<circle cx="8" cy="8" r="7.5" fill="' + (symbol.ok ? Theme.success : Theme.failure) + '"/>'
        + '<path d="' + (symbol.ok ? "M4.5 8.2 L7 10.7 L11.5 5.6" : "M5.2 5.2 L10.8 10.8 M10.8 5.2 L5.2 10.8") + '"'
        + ' fill="none" stroke="' + Theme.symbolMark + '" stroke-width="1.8" stroke-linecap="round"'
        + ' stroke-linejoin="round"/></svg>')
}
