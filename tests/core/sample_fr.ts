<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>Sample</name>
    <message id="sample.everywhere">
        <source>Everywhere</source>
        <translation>Partout</translation>
    </message>
</context>
</TS>
