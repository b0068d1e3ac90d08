import QtQuick
import Pictavo

// The drop zone's picture: two photos, one behind the other, drawn in the
// secondary text colour, so that it follows the palette as the text does.
Image {
    sourceSize.width: 40
    sourceSize.height: 40
    source: Theme.svgImage(
        '<svg xmlns="http://www.w3.org/2000/svg" width="40" height="40" viewBox="0 0 40 40">'
        + '<g fill="none" stroke="' + Theme.secondary + '" stroke-width="2" stroke-linejoin="round">'
        + '<rect x="9" y="5" width="26" height="20" rx="3" transform="rotate(-10 22 15)"/>'
        + '<rect x="5" y="13" width="27" height="21" rx="3" fill="' + Theme.palette.base + '"/></g>'
        + '<circle cx="12" cy="20" r="2.5" fill="' + Theme.secondary + '"/>'
        + '<path d="M7 31 L15 23 L20 28 L24 24 L30 31 Z" fill="' + Theme.secondary + '"/></svg>')
}
