<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
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
        <translation>Qualité</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>%1%</source>
        <translation>%1&#x202f;%</translation>
    </message>
    <message>
        <location line="+20"/>
        <source>Resize to</source>
        <translation>Réduire à</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Resize to a long side of</source>
        <translation>Réduire à un grand côté de</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Long side in pixels</source>
        <translation>Grand côté en pixels</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>px</source>
        <translation>px</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Remove location</source>
        <translation>Retirer la localisation</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Save to folder:</source>
        <translation>Enregistrer dans le dossier&#xa0;:</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Not set</source>
        <translation>Non défini</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Choose…</source>
        <translation>Choisir…</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Choose output folder…</source>
        <translation>Choisir le dossier de destination…</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>(saves next to originals)</source>
        <translation>(enregistre à côté des originaux)</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Converting…</source>
        <translation>Conversion en cours…</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Convert %1to %2</source>
        <translation>Convertir %1en %2</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Convert to %1</source>
        <translation>Convertir en %1</translation>
    </message>
    <message>
        <location line="+32"/>
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message numerus="yes">
        <location line="+32"/>
        <source>Stopped: %n not converted</source>
        <translation>
            <numerusform>Arrêté&#xa0;: %n non converti</numerusform>
            <numerusform>Arrêté&#xa0;: %n non convertis</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>DropZone</name>
    <message>
        <location filename="../DropZone.qml" line="+32"/>
        <source>Drop HEIC files or folders here to add them to the queue</source>
        <translation>Déposez ici des fichiers HEIC ou des dossiers pour les ajouter à la file d’attente</translation>
    </message>
    <message>
        <location line="+62"/>
        <source>Drag HEIC files here</source>
        <translation>Glissez des fichiers HEIC ici</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>or</source>
        <translation>ou</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Choose Files…</source>
        <translation>Choisir des fichiers…</translation>
    </message>
    <message numerus="yes">
        <location line="+10"/>
        <source>%n file(s) ready</source>
        <translation>
            <numerusform>%n fichier prêt</numerusform>
            <numerusform>%n fichiers prêts</numerusform>
        </translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Add More…</source>
        <translation>Ajouter d’autres…</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Clear</source>
        <translation>Vider</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Looking for photos…</source>
        <translation>Recherche des photos…</translation>
    </message>
</context>
<context>
    <name>LaunchArguments</name>
    <message>
        <location filename="../../app/LaunchArguments.cpp" line="+22"/>
        <source>Converts HEIC and HEIF photos to JPG or PNG.</source>
        <translation>Convertit les photos HEIC et HEIF en JPG ou PNG.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Photos and folders to queue, as paths or file URLs.</source>
        <translation>Photos et dossiers à mettre en file d’attente, en chemins ou en URL de fichiers.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>[PHOTO or FOLDER…]</source>
        <translation>[PHOTO ou DOSSIER…]</translation>
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
        <translation>Images HEIC et HEIF</translation>
    </message>
</context>
<context>
    <name>ResultsList</name>
    <message>
        <location filename="../ResultsList.qml" line="+60"/>
        <source>Results</source>
        <translation>Résultats</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>%1 converted</source>
        <translation>%1 converti</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 failed: %2</source>
        <translation>Échec de %1&#xa0;: %2</translation>
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
            <numerusform>%n converti</numerusform>
            <numerusform>%n convertis</numerusform>
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
            <numerusform>%n échec</numerusform>
            <numerusform>%n échecs</numerusform>
        </translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Show in Finder</source>
        <translation>Afficher dans le dossier</translation>
    </message>
</context>
<context>
    <name>RunProgress</name>
    <message>
        <location filename="../RunProgress.qml" line="+26"/>
        <source>Files processed</source>
        <translation>Fichiers traités</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>%1 of %2</source>
        <translation>%1 sur %2</translation>
    </message>
</context>
<context>
    <name>pictavo::Model</name>
    <message>
        <location filename="../../model/Model.cpp" line="+244"/>
        <source>Choose HEIC files to convert</source>
        <translation>Choisissez les fichiers HEIC à convertir</translation>
    </message>
    <message>
        <location line="+59"/>
        <source>Choose output folder</source>
        <translation>Choisissez le dossier de destination</translation>
    </message>
</context>
<context>
    <name>pictavo::ResultList</name>
    <message>
        <location filename="../../model/ResultList.cpp" line="+72"/>
        <source>Could not create output</source>
        <translation>Impossible de créer le fichier de sortie</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Write failed</source>
        <translation>Échec de l’écriture</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Could not read image</source>
        <translation>Impossible de lire l’image</translation>
    </message>
</context>
</TS>
