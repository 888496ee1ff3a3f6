<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Tessaron</name>
    <message>
        <source>Node status fast</source>
        <translation>Fast</translation>
    </message>
    <message>
        <source>Node status online</source>
        <translation>Online</translation>
    </message>
    <message>
        <source>Node status offline</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>Node status busy</source>
        <translation>Busy</translation>
    </message>
    <message>
        <source>Node status checking</source>
        <translation>Checking</translation>
    </message>
    <message>
        <source>Node status paused</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>UpdateRequired.autoInstall</source>
        <translation>Tessaron opens the download page for you. Install the new version, then open Tessaron again.</translation>
    </message>
    <message>
        <source>UpdateRequired.button</source>
        <translation>Update Tessaron</translation>
    </message>
    <message>
        <source>UpdateRequired.download</source>
        <translation>Open download page</translation>
    </message>
</context>
</TS>
