<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>ContentView</name>
    <message>
        <location filename="../ContentView.qml" line="+50"/>
        <source>Pictavo</source>
        <translation>Pictavo</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <location line="+31"/>
        <source>Quality</source>
        <translation>Qualität</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>%1%</source>
        <translation>%1&#x202f;%</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Save to folder:</source>
        <translation>In Ordner speichern:</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>Choose…</source>
        <translation>Auswählen…</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Choose output folder…</source>
        <translation>Zielordner auswählen…</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>(saves next to originals)</source>
        <translation>(speichert neben den Originalen)</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>Converting…</source>
        <translation>Wird umgewandelt…</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Convert %1to %2</source>
        <translation>%1in %2 umwandeln</translation>
    </message>
</context>
<context>
    <name>DialogPanels</name>
    <message>
        <location filename="../DialogPanels.cpp" line="+40"/>
        <source>HEIC and HEIF images</source>
        <translation>HEIC- und HEIF-Bilder</translation>
    </message>
</context>
<context>
    <name>DropZone</name>
    <message>
        <location filename="../DropZone.qml" line="+29"/>
        <source>Drop HEIC files or folders here to add them to the queue</source>
        <translation>HEIC-Dateien oder Ordner hier ablegen, um sie zur Warteschlange hinzuzufügen</translation>
    </message>
    <message>
        <location line="+62"/>
        <source>Drag HEIC files here</source>
        <translation>HEIC-Dateien hierher ziehen</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>or</source>
        <translation>oder</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Choose Files…</source>
        <translation>Dateien auswählen…</translation>
    </message>
    <message numerus="yes">
        <location line="+10"/>
        <source>%n file(s) ready</source>
        <translation>
            <numerusform>%n Datei bereit</numerusform>
            <numerusform>%n Dateien bereit</numerusform>
        </translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Add More…</source>
        <translation>Weitere hinzufügen…</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Looking for photos…</source>
        <translation>Fotos werden gesucht…</translation>
    </message>
</context>
<context>
    <name>LaunchArguments</name>
    <message>
        <location filename="../../app/LaunchArguments.cpp" line="+22"/>
        <source>Converts HEIC and HEIF photos to JPG or PNG.</source>
        <translation>Wandelt HEIC- und HEIF-Fotos in JPG oder PNG um.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Photos and folders to queue, as paths or file URLs.</source>
        <translation>Fotos und Ordner für die Warteschlange, als Pfade oder Datei-URLs.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>[PHOTO or FOLDER…]</source>
        <translation>[FOTO oder ORDNER…]</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <location filename="../Main.qml" line="+8"/>
        <source>Pictavo</source>
        <translation>Pictavo</translation>
    </message>
</context>
<context>
    <name>ResultsList</name>
    <message>
        <location filename="../ResultsList.qml" line="+55"/>
        <source>Results</source>
        <translation>Ergebnisse</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>%1 converted</source>
        <translation>%1 umgewandelt</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 failed: %2</source>
        <translation>%1 fehlgeschlagen: %2</translation>
    </message>
    <message>
        <location line="+20"/>
        <source>— %1</source>
        <translation>— %1</translation>
    </message>
</context>
<context>
    <name>ResultsSummary</name>
    <message>
        <location filename="../ResultsSummary.qml" line="+34"/>
        <source>Show in Finder</source>
        <translation>In Ordner zeigen</translation>
    </message>
</context>
<context>
    <name>pictavo::Model</name>
    <message>
        <location filename="../../model/Model.cpp" line="+304"/>
        <source>Choose HEIC files to convert</source>
        <translation>HEIC-Dateien zum Umwandeln auswählen</translation>
    </message>
    <message>
        <location line="+47"/>
        <source>Choose output folder</source>
        <translation>Zielordner auswählen</translation>
    </message>
</context>
</TS>
