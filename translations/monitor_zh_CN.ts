<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>LivePlot</name>
    <message>
        <source>average</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unit %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>µg/m³</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>°C</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%RH</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>temperature</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>humidity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PX8107 monitor chart</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MonitorWindow</name>
    <message>
        <source>5 min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 h</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>24 h</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Average</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unit %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PX8107 monitor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A port from the list, or the path of one</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rate:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Interval:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Objects:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Follow</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep the newest sample in view; zooming or dragging stops it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Alert above:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Readings above this level are shown in red; 0 for none</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save the chart as PNG or SVG</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CSV file to record to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Record</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not recording</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Latest readings (µg/m³)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Temperature (°C):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Humidity (%RH):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a port, or type the path of one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose at least one object to sample.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sampling</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Recording stopped: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rate: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device ID: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Firmware: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Samples: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Timeouts: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bad replies: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port lost (%1); reopening every second</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a file to record to.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot record to %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Recording to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not recording (last: %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Record to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export chart</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PNG image (*.png);;SVG drawing (*.svg)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: the chart is exported as .png or .svg</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot write %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
