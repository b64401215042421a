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
    <message>
        <source>Cannot open serial port &quot;%1&quot;: %2</source>
        <translation>无法打开串口“%1”：%2</translation>
    </message>
    <message>
        <source>Serial port &quot;%1&quot; was lost and has been closed: %2</source>
        <translation>串口“%1”已断开，已关闭：%2</translation>
    </message>
    <message>
        <source>Access to the port was refused: your user may need to be in the &quot;dialout&quot; group (sudo usermod -aG dialout $USER, then log out and in again).</source>
        <translation>串口访问被拒绝：当前用户可能需要加入 &quot;dialout&quot; 组（sudo usermod -aG dialout $USER，然后注销并重新登录）。</translation>
    </message>
    <message>
        <source>The port is held by another program (a terminal, another copy of this tool): close it, then open the port again.</source>
        <translation>串口被其他程序占用（串口终端或本工具的另一个实例）：请关闭该程序，然后重新打开串口。</translation>
    </message>
    <message>
        <source>Reconnect the adapter and open the port again. If access is then refused, your user may need to be in the &quot;dialout&quot; group; if the port is busy, close the other program that holds it.</source>
        <translation>请重新连接串口适配器并再次打开串口。如果访问被拒绝，当前用户可能需要加入 &quot;dialout&quot; 组；如果串口被占用，请关闭占用它的其他程序。</translation>
    </message>
    <message>
        <source>Nothing was sent: writing to the serial port failed (%1).</source>
        <translation>未发送任何数据：写入串口失败（%1）。</translation>
    </message>
    <message>
        <source>Nothing was sent: the serial port is not open.</source>
        <translation>未发送任何数据：串口未打开。</translation>
    </message>
    <message>
        <source>manual cleaning time</source>
        <translation>手动除尘时间</translation>
    </message>
    <message>
        <source>automatic cleaning time (s)</source>
        <translation>自动除尘时间(秒)</translation>
    </message>
    <message>
        <source>automatic cleaning interval (h)</source>
        <translation>自动除尘间隔时间(小时)</translation>
    </message>
    <message>
        <source>heating temperature high threshold</source>
        <translation>加热温度高门限(℃)</translation>
    </message>
    <message>
        <source>heating temperature low threshold</source>
        <translation>加热温度低门限(℃)</translation>
    </message>
    <message>
        <source>heating humidity high threshold</source>
        <translation>加热湿度高门限(%)</translation>
    </message>
    <message>
        <source>heating humidity low threshold</source>
        <translation>加热湿度低门限(%)</translation>
    </message>
    <message>
        <source>device address</source>
        <translation>设备地址</translation>
    </message>
    <message>
        <source>calibration value (zero offset)</source>
        <translation>数值校准</translation>
    </message>
    <message>
        <source>calibration factor</source>
        <translation>比例校准</translation>
    </message>
    <message>
        <source>Not sent: the %1 must be a hexadecimal number from %2 to %3; &quot;%4&quot; is not.</source>
        <translation>未发送：%1必须是 %2 到 %3 之间的十六进制数，“%4”不符合。</translation>
    </message>
    <message>
        <source>Not sent: the %1 must be a whole decimal number from %2 to %3; &quot;%4&quot; is not.</source>
        <translation>未发送：%1必须是 %2 到 %3 之间的十进制整数，“%4”不符合。</translation>
    </message>
    <message>
        <source>Not sent: pass-through part %1, &quot;%2&quot;, is not a hexadecimal byte (00 to ff).</source>
        <translation>未发送：透传内容第 %1 项“%2”不是十六进制字节（00 到 ff）。</translation>
    </message>
    <message>
        <source>measurement</source>
        <translation>检测数值</translation>
    </message>
    <message>
        <source>automatic cleaning</source>
        <translation>自动除尘时间</translation>
    </message>
    <message>
        <source>heating mode</source>
        <translation>加热控制方式</translation>
    </message>
    <message>
        <source>work mode</source>
        <translation>工作方式</translation>
    </message>
    <message>
        <source>self-check</source>
        <translation>自检状态</translation>
    </message>
    <message>
        <source>global switches</source>
        <translation>全局开关</translation>
    </message>
    <message>
        <source>temperature and humidity</source>
        <translation>内部温湿度</translation>
    </message>
    <message>
        <source>heating temperature thresholds</source>
        <translation>加热温度门限</translation>
    </message>
    <message>
        <source>heating humidity thresholds</source>
        <translation>加热湿度门限</translation>
    </message>
    <message>
        <source>calibration</source>
        <translation>校准</translation>
    </message>
    <message>
        <source>pass-through read</source>
        <translation>透传读取</translation>
    </message>
    <message>
        <source>self-check weights</source>
        <translation>全部自检（权重）</translation>
    </message>
    <message>
        <source>No valid answer came to the %1 query.</source>
        <translation>查询“%1”未收到有效应答。</translation>
    </message>
</context>
</TS>
