<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>Sample</name>
    <message id="sample.everywhere">
        <source>Everywhere</source>
        <translation>Partout</translation>
    </message>
    <message id="sample.same_as_key">
        <source>Not the key</source>
        <translation>sample.same_as_key</translation>
    </message>
    <message id="sample.progress">
        <source>%lld of %lld done (%@)</source>
        <translation>%3$@ : %2$lld sur %1$lld à 100 %%</translation>
    </message>
</context>
</TS>
