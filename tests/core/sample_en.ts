<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Sample</name>
    <message id="sample.everywhere">
        <source>Everywhere</source>
        <translation>Everywhere</translation>
    </message>
    <message id="sample.english_only">
        <source>Only in English</source>
        <translation>Only in English</translation>
    </message>
</context>
</TS>
