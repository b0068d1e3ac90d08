import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Pictavo

// The window's content: headline, drop zone, format and quality, output
// folder, the convert button with the results summary, and the results list.
Item {
    id: root
    objectName: "contentView"

    required property Model model
    // Shows written files in the file manager: an object with reveal(paths).
    required property QtObject revealer

    // While folders are searched the queue is not complete yet.
    readonly property bool canConvert: model.fileCount > 0 && !model.isConverting && !model.isScanning
    readonly property bool hasResults: model.results.count > 0

    implicitWidth: column.implicitWidth + 2 * column.anchors.margins
    implicitHeight: column.implicitHeight + 2 * column.anchors.margins

    // Return presses the focused button or switch, as Space does; anywhere
    // else it presses the convert button (when that is enabled). Buttons take
    // focus from Tab only, so after a mouse click Return still converts.
    Shortcut {
        sequences: ["Return", "Enter"]
        onActivated: {
            const focused = root.Window.activeFocusItem
            if (root.isButton(focused) && focused !== convertButton)
                root.press(focused)
            else if (root.canConvert)
                root.model.convertAll()
        }
    }

    Shortcut {
        sequences: [StandardKey.Open]
        onActivated: root.model.chooseFiles()
    }

    // Escape ends a run, as the Stop button does.
    Shortcut {
        sequences: [StandardKey.Cancel]
        enabled: root.model.isConverting
        onActivated: root.model.stop()
    }

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: 24
        spacing: 16

        Label {
            objectName: "headline"
            text: qsTr("Pictavo")
            font.pixelSize: 26
            font.bold: true
        }

        DropZone {
            Layout.fillWidth: true
            Layout.preferredHeight: 170
            model: root.model
        }

        // The settings of the next run, closer together than the parts of the window.
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 10

            RowLayout {
                objectName: "formatRow"
                Layout.fillWidth: true
                spacing: 20

                Row {
                    id: formatPicker
                    objectName: "formatPicker"
                    Layout.preferredWidth: 160
                    Accessible.role: Accessible.Grouping
                    Accessible.name: qsTr("Format")

                    Repeater {
                        model: root.model.formats
                        delegate: Segment {
                            id: segment
                            required property string modelData
                            objectName: "formatButton" + segment.modelData
                            width: formatPicker.width / root.model.formats.length
                            text: segment.modelData
                            // Shows the model's format; a click chooses, never unchooses.
                            checked: root.model.format === segment.modelData
                            onClicked: root.model.format = segment.modelData
                            Accessible.description: formatPicker.Accessible.name
                        }
                    }
                }

                RowLayout {
                    objectName: "qualityGroup"
                    visible: root.model.format === "JPG"
                    spacing: 6

                    Label {
                        id: qualityLabel
                        objectName: "qualityLabel"
                        text: qsTr("Quality")
                    }

                    Slider {
                        objectName: "qualitySlider"
                        Layout.preferredWidth: 130
                        from: 0.1
                        to: 1.0
                        stepSize: 0
                        value: root.model.quality
                        onMoved: root.model.quality = value
                        Accessible.name: qualityLabel.text
                        Accessible.description: qualityPercentage.text
                    }

                    Label {
                        id: qualityPercentage
                        objectName: "qualityPercentage"
                        Layout.preferredWidth: 40
                        horizontalAlignment: Text.AlignRight
                        // Truncated, never rounded: 0.57 shows 56%.
                        text: qsTr("%1%").arg(Math.trunc(root.model.quality * 100))
                    }
                }

                Item { Layout.fillWidth: true }
            }

            // Smaller photos, and photos without their location. Changes made
            // while a run goes would not reach it, so the controls wait for its end.
            RowLayout {
                objectName: "optionsRow"
                Layout.fillWidth: true
                enabled: !root.model.isConverting
                spacing: 6

                Switch {
                    id: resizeSwitch
                    objectName: "resizeSwitch"
                    focusPolicy: Qt.TabFocus
                    leftPadding: 0
                    text: qsTr("Resize to")
                    checked: root.model.resize
                    onToggled: root.model.resize = checked
                    Accessible.name: qsTr("Resize to a long side of")
                    Accessible.onPressAction: root.press(this)
                    Accessible.onToggleAction: root.press(this)
                }

                SpinBox {
                    objectName: "longSideField"
                    Layout.preferredWidth: 100
                    enabled: root.model.resize
                    editable: true
                    from: root.model.smallestLongSide
                    to: root.model.largestLongSide
                    stepSize: 16
                    value: root.model.longSide
                    onValueModified: root.model.longSide = value
                    // A size in pixels, as digits alone: "2048", in every language.
                    textFromValue: (value, locale) => String(value)
                    valueFromText: (text, locale) => parseInt(text, 10)
                    validator: IntValidator {
                        bottom: root.model.smallestLongSide
                        top: root.model.largestLongSide
                    }
                    Accessible.name: qsTr("Long side in pixels")
                    // Tab stops at the field inside: that is what a screen reader announces.
                    Component.onCompleted: contentItem.Accessible.name = Accessible.name
                }

                Label {
                    objectName: "pixelsUnit"
                    text: qsTr("px")
                    enabled: root.model.resize
                }

                Item { Layout.fillWidth: true }

                CheckBox {
                    objectName: "removeLocationBox"
                    focusPolicy: Qt.TabFocus
                    rightPadding: 0
                    text: qsTr("Remove location")
                    checked: root.model.removeLocation
                    onToggled: root.model.removeLocation = checked
                    Accessible.name: text
                    Accessible.onPressAction: root.press(this)
                    Accessible.onToggleAction: root.press(this)
                }
            }

            RowLayout {
                objectName: "outputRow"
                Layout.fillWidth: true

                Switch {
                    objectName: "customOutputSwitch"
                    focusPolicy: Qt.TabFocus
                    leftPadding: 0
                    text: qsTr("Save to folder:")
                    checked: root.model.useCustomOutput
                    onToggled: root.model.useCustomOutput = checked
                    Accessible.name: text
                    // Assistive tools press and toggle it as Space does.
                    Accessible.onPressAction: root.press(this)
                    Accessible.onToggleAction: root.press(this)
                }

                // A deep folder never widens the row, nor the window.
                MiddleElidedLabel {
                    objectName: "outputFolderText"
                    visible: root.model.useCustomOutput
                    text: root.model.outputDirPath !== "" ? root.model.outputDirPath : qsTr("Not set")
                    color: Theme.secondary
                }

                AccessibleButton {
                    objectName: "chooseOutputButton"
                    visible: root.model.useCustomOutput
                    text: qsTr("Choose…")
                    onClicked: root.model.chooseOutputDir()
                    Accessible.name: qsTr("Choose output folder…")
                }

                Label {
                    objectName: "nextToOriginalsHint"
                    visible: !root.model.useCustomOutput
                    text: qsTr("(saves next to originals)")
                    color: Theme.secondary
                }

                Item { Layout.fillWidth: true }
            }
        }

        RowLayout {
            objectName: "actionRow"
            Layout.fillWidth: true

            AccessibleButton {
                id: convertButton
                objectName: "convertButton"
                enabled: root.canConvert
                topPadding: 8
                bottomPadding: 8
                leftPadding: 16
                rightPadding: 16
                // The empty queue's label has its own text: other languages word
                // (and capitalise) it differently from the label with a count.
                text: root.model.isConverting
                      ? qsTr("Converting…")
                      : root.model.fileCount > 0
                        ? qsTr("Convert %1to %2").arg(root.model.fileCount + " ").arg(root.model.format)
                        : qsTr("Convert to %1").arg(root.model.format)
                onClicked: root.model.convertAll()

                contentItem: RowLayout {
                    spacing: 0

                    BusyIndicator {
                        objectName: "convertBusyIndicator"
                        visible: root.model.isConverting
                        running: visible
                        padding: 0
                        palette.text: Theme.secondary
                        Layout.preferredWidth: 16
                        Layout.preferredHeight: 16
                    }

                    Label {
                        objectName: "convertLabel"
                        Layout.alignment: Qt.AlignHCenter
                        leftPadding: root.model.isConverting ? 4 : 0
                        text: convertButton.text
                        font: convertButton.font
                        color: convertButton.enabled ? convertButton.palette.buttonText : Theme.disabledText
                    }
                }
            }

            AccessibleButton {
                objectName: "stopButton"
                visible: root.model.isConverting
                topPadding: convertButton.topPadding
                bottomPadding: convertButton.bottomPadding
                text: qsTr("Stop")
                onClicked: root.model.stop()
            }

            ResultsSummary {
                Layout.fillWidth: true
                visible: root.hasResults
                results: root.model.results
                stopped: root.model.notConvertedCount > 0
                onRevealRequested: root.revealer.reveal(root.model.results.writtenFiles())
            }
        }

        // While a run goes, how far it has got; after it, what Stop left
        // unconverted, the results list, and below them the room that keeps
        // the rows above at the top of a tall window.
        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 0

            RunProgress {
                Layout.fillWidth: true
                visible: root.model.isConverting
                finished: root.model.finishedCount
                total: root.model.runSize
            }

            Label {
                objectName: "stoppedText"
                Layout.bottomMargin: root.hasResults ? 8 : 0
                visible: root.model.notConvertedCount > 0
                text: qsTr("Stopped: %n not converted", "", root.model.notConvertedCount)
                color: Theme.warning
            }

            // Grows with its rows up to 140, but gives way (and scrolls) where the
            // window is too low for that: the window never grows by itself.
            ResultsList {
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.maximumHeight: implicitHeight
                Layout.minimumHeight: Math.min(implicitHeight, 48)
                visible: root.hasResults
                results: root.model.results
            }

            Item {
                Layout.fillHeight: true
            }
        }
    }

    // Buttons, switches and segments: the items that Space presses.
    function isButton(item) {
        return item !== null && typeof item.toggle === "function" && item.checkable !== undefined
    }

    // What Space does to a focused button: toggles it when it is checkable, then clicks it.
    function press(button) {
        if (button.checkable) {
            button.toggle()
            button.toggled()
        }
        button.clicked()
    }
}
