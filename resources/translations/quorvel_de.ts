<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>QVController</name>
    <message>
        <source>Remove Application</source>
        <translation>Programm entfernen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>Remove %@?</source>
        <translation>%@ entfernen?</translation>
    </message>
    <message>
        <source>Choose Applications</source>
        <translation>Programme wählen</translation>
    </message>
    <message>
        <source>Applications (*.desktop)</source>
        <translation>Programme (*.desktop)</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
</context>
</TS>
