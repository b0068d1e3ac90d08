<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>ContentView</name>
    <message>
        <location filename="../ContentView.qml" line="+57"/>
        <source>Pictavo</source>
        <translation>Pictavo</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>Quality</source>
        <translation>Qualität</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>%1%</source>
        <translation>%1&#x202f;%</translation>
    </message>
    <message>
        <location line="+20"/>
        <source>Resize to</source>
        <translation>Verkleinern auf</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Resize to a long side of</source>
        <translation>Verkleinern auf eine längere Seite von</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Long side in pixels</source>
        <translation>Längere Seite in Pixeln</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>px</source>
        <translation>px</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Remove location</source>
        <translation>Standort entfernen</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Save to folder:</source>
        <translation>In Ordner speichern:</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Not set</source>
        <translation>Nicht festgelegt</translation>
    </message>
    <message>
        <location line="+7"/>
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
        <location line="+22"/>
        <source>Converting…</source>
        <translation>Wird umgewandelt…</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Convert %1to %2</source>
        <translation>%1in %2 umwandeln</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Convert to %1</source>
        <translation>In %1 umwandeln</translation>
    </message>
    <message>
        <location line="+32"/>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message numerus="yes">
        <location line="+32"/>
        <source>Stopped: %n not converted</source>
        <translation>
            <numerusform>Gestoppt: %n nicht umgewandelt</numerusform>
            <numerusform>Gestoppt: %n nicht umgewandelt</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>DropZone</name>
    <message>
        <location filename="../DropZone.qml" line="+32"/>
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
        <location line="+9"/>
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
        <location line="+11"/>
        <source>Add More…</source>
        <translation>Weitere hinzufügen…</translation>
    </message>
    <message>
        <location line="+6"/>
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
        <location filename="../Main.qml" line="+9"/>
        <source>Pictavo</source>
        <translation>Pictavo</translation>
    </message>
</context>
<context>
    <name>QtFileDialogs</name>
    <message>
        <location filename="../QtFileDialogs.cpp" line="+83"/>
        <source>HEIC and HEIF images</source>
        <translation>HEIC- und HEIF-Bilder</translation>
    </message>
</context>
<context>
    <name>ResultsList</name>
    <message>
        <location filename="../ResultsList.qml" line="+60"/>
        <source>Results</source>
        <translation>Ergebnisse</translation>
    </message>
    <message>
        <location line="+11"/>
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
    <message numerus="yes">
        <location filename="../ResultsSummary.qml" line="+27"/>
        <source>%n converted</source>
        <translation>
            <numerusform>%n umgewandelt</numerusform>
            <numerusform>%n umgewandelt</numerusform>
        </translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1, %2</source>
        <extracomment>The number of converted files, then the number of failed ones</extracomment>
        <translation>%1, %2</translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>%n failed</source>
        <translation>
            <numerusform>%n fehlgeschlagen</numerusform>
            <numerusform>%n fehlgeschlagen</numerusform>
        </translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Show in Finder</source>
        <translation>In Ordner zeigen</translation>
    </message>
</context>
<context>
    <name>RunProgress</name>
    <message>
        <location filename="../RunProgress.qml" line="+26"/>
        <source>Files processed</source>
        <translation>Verarbeitete Dateien</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
</context>
<context>
    <name>pictavo::Model</name>
    <message>
        <location filename="../../model/Model.cpp" line="+244"/>
        <source>Choose HEIC files to convert</source>
        <translation>HEIC-Dateien zum Umwandeln auswählen</translation>
    </message>
    <message>
        <location line="+59"/>
        <source>Choose output folder</source>
        <translation>Zielordner auswählen</translation>
    </message>
</context>
<context>
    <name>pictavo::ResultList</name>
    <message>
        <location filename="../../model/ResultList.cpp" line="+72"/>
        <source>Could not create output</source>
        <translation>Ausgabedatei konnte nicht erstellt werden</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Write failed</source>
        <translation>Schreiben fehlgeschlagen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Could not read image</source>
        <translation>Bild konnte nicht gelesen werden</translation>
    </message>
</context>
</TS>
