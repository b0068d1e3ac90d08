<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>ResultsSummary</name>
    <message>
        <source>Show in Finder</source>
        <translation>Show in Folder</translation>
    </message>
</context>
</TS>
