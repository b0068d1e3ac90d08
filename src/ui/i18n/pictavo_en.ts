<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>ContentView</name>
    <message>
        <location filename="../ContentView.qml" line="+57"/>
        <source>Pictavo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+21"/>
        <source>Format</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+26"/>
        <source>Quality</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+21"/>
        <source>%1%</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+20"/>
        <source>Resize to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Resize to a long side of</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Long side in pixels</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>px</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Remove location</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Save to folder:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Not set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Choose…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Choose output folder…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>(saves next to originals)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Converting…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Convert %1to %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Convert to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+32"/>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+32"/>
        <source>Stopped: %n not converted</source>
        <translation>
            <numerusform>Stopped: %n not converted</numerusform>
            <numerusform>Stopped: %n not converted</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>DropZone</name>
    <message>
        <location filename="../DropZone.qml" line="+32"/>
        <source>Drop HEIC files or folders here to add them to the queue</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+62"/>
        <source>Drag HEIC files here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>or</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Choose Files…</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+10"/>
        <source>%n file(s) ready</source>
        <translation>
            <numerusform>%n file ready</numerusform>
            <numerusform>%n files ready</numerusform>
        </translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Add More…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Looking for photos…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LaunchArguments</name>
    <message>
        <location filename="../../app/LaunchArguments.cpp" line="+22"/>
        <source>Converts HEIC and HEIF photos to JPG or PNG.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Photos and folders to queue, as paths or file URLs.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>[PHOTO or FOLDER…]</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <location filename="../Main.qml" line="+9"/>
        <source>Pictavo</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QtFileDialogs</name>
    <message>
        <location filename="../QtFileDialogs.cpp" line="+83"/>
        <source>HEIC and HEIF images</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ResultsList</name>
    <message>
        <location filename="../ResultsList.qml" line="+60"/>
        <source>Results</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+11"/>
        <source>%1 converted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 failed: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+20"/>
        <source>— %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ResultsSummary</name>
    <message numerus="yes">
        <location filename="../ResultsSummary.qml" line="+27"/>
        <source>%n converted</source>
        <translation>
            <numerusform>%n converted</numerusform>
            <numerusform>%n converted</numerusform>
        </translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1, %2</source>
        <extracomment>The number of converted files, then the number of failed ones</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>%n failed</source>
        <translation>
            <numerusform>%n failed</numerusform>
            <numerusform>%n failed</numerusform>
        </translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Show in Finder</source>
        <translation>Show in Folder</translation>
    </message>
</context>
<context>
    <name>RunProgress</name>
    <message>
        <location filename="../RunProgress.qml" line="+26"/>
        <source>Files processed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+26"/>
        <source>%1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>pictavo::Model</name>
    <message>
        <location filename="../../model/Model.cpp" line="+244"/>
        <source>Choose HEIC files to convert</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+59"/>
        <source>Choose output folder</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>pictavo::ResultList</name>
    <message>
        <location filename="../../model/ResultList.cpp" line="+72"/>
        <source>Could not create output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Write failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Could not read image</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
