<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>Device change to FactoryConfig!</source>
        <translation>设备已恢复出厂设置！</translation>
    </message>
    <message>
        <source>Device change to MODBUS!</source>
        <translation>设备转换为MODBUS协议！</translation>
    </message>
    <message>
        <source>Device change to Orvel!</source>
        <translation>设备转换为Orvel自有协议！</translation>
    </message>
</context>
</TS>
