<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>LivePlot</name>
    <message>
        <source>average</source>
        <translation>平均</translation>
    </message>
    <message>
        <source>unit %1</source>
        <translation>单元 %1</translation>
    </message>
    <message>
        <source>°C</source>
        <translation>°C</translation>
    </message>
    <message>
        <source>%RH</source>
        <translation>%RH</translation>
    </message>
    <message>
        <source>temperature</source>
        <translation>温度</translation>
    </message>
    <message>
        <source>humidity</source>
        <translation>湿度</translation>
    </message>
    <message>
        <source>PX8107 monitor chart</source>
        <translation>PX8107 监测图表</translation>
    </message>
    <message>
        <source>PM2.5, PM10 µg/m³</source>
        <translation>PM2.5、PM10 µg/m³</translation>
    </message>
    <message>
        <source>PM100 µg/m³ (dash-dot)</source>
        <translation>PM100 µg/m³（点划线）</translation>
    </message>
</context>
<context>
    <name>MonitorWindow</name>
    <message>
        <source>5 min</source>
        <translation>5 分钟</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 小时</translation>
    </message>
    <message>
        <source>24 h</source>
        <translation>24 小时</translation>
    </message>
    <message>
        <source>All</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>平均</translation>
    </message>
    <message>
        <source>Unit %1</source>
        <translation>单元 %1</translation>
    </message>
    <message>
        <source>PX8107 monitor</source>
        <translation>PX8107 监测</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>A port from the list, or the path of one</source>
        <translation>从列表选择串口，或输入其路径</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source> s</source>
        <translation> 秒</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>串口：</translation>
    </message>
    <message>
        <source>Rate:</source>
        <translation>波特率：</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>地址：</translation>
    </message>
    <message>
        <source>Interval:</source>
        <translation>间隔：</translation>
    </message>
    <message>
        <source>Objects:</source>
        <translation>对象：</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Follow</source>
        <translation>跟随</translation>
    </message>
    <message>
        <source>Keep the newest sample in view; zooming or dragging stops it</source>
        <translation>保持最新采样可见；缩放或拖动会停止跟随</translation>
    </message>
    <message>
        <source>Readings above this level are shown in red; 0 for none</source>
        <translation>高于此值的读数显示为红色；0 表示不报警</translation>
    </message>
    <message>
        <source>Save the chart as PNG or SVG</source>
        <translation>将图表保存为 PNG 或 SVG</translation>
    </message>
    <message>
        <source>CSV file to record to</source>
        <translation>记录到的 CSV 文件</translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation>选择…</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>记录</translation>
    </message>
    <message>
        <source>Not recording</source>
        <translation>未记录</translation>
    </message>
    <message>
        <source>Latest readings (µg/m³)</source>
        <translation>最新读数 (µg/m³)</translation>
    </message>
    <message>
        <source>Temperature (°C):</source>
        <translation>温度 (°C)：</translation>
    </message>
    <message>
        <source>Humidity (%RH):</source>
        <translation>湿度 (%RH)：</translation>
    </message>
    <message>
        <source>Choose a port, or type the path of one.</source>
        <translation>请选择串口，或输入其路径。</translation>
    </message>
    <message>
        <source>Choose at least one object to sample.</source>
        <translation>请至少选择一个采样对象。</translation>
    </message>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>无法打开 %1：%2</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>断开</translation>
    </message>
    <message>
        <source>Sampling</source>
        <translation>正在采样</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>已断开</translation>
    </message>
    <message>
        <source>Recording stopped: %1</source>
        <translation>记录已停止：%1</translation>
    </message>
    <message>
        <source>Port: %1</source>
        <translation>串口：%1</translation>
    </message>
    <message>
        <source>Rate: %1</source>
        <translation>波特率：%1</translation>
    </message>
    <message>
        <source>Address: %1</source>
        <translation>地址：%1</translation>
    </message>
    <message>
        <source>Device ID: %1</source>
        <translation>设备 ID：%1</translation>
    </message>
    <message>
        <source>Firmware: %1</source>
        <translation>固件：%1</translation>
    </message>
    <message>
        <source>Samples: %1</source>
        <translation>采样：%1</translation>
    </message>
    <message>
        <source>Timeouts: %1</source>
        <translation>超时：%1</translation>
    </message>
    <message>
        <source>Bad replies: %1</source>
        <translation>错误应答：%1</translation>
    </message>
    <message>
        <source>Port lost (%1); reopening every second</source>
        <translation>串口丢失（%1）；每秒重新打开</translation>
    </message>
    <message>
        <source>Choose a file to record to.</source>
        <translation>请选择记录文件。</translation>
    </message>
    <message>
        <source>Cannot record to %1: %2</source>
        <translation>无法记录到 %1：%2</translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation>停止记录</translation>
    </message>
    <message>
        <source>Recording to %1</source>
        <translation>正在记录到 %1</translation>
    </message>
    <message>
        <source>Not recording (last: %1)</source>
        <translation>未记录（上次：%1）</translation>
    </message>
    <message>
        <source>Record to</source>
        <translation>记录到</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV 文件 (*.csv);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Export chart</source>
        <translation>导出图表</translation>
    </message>
    <message>
        <source>PNG image (*.png);;SVG drawing (*.svg)</source>
        <translation>PNG 图像 (*.png);;SVG 图形 (*.svg)</translation>
    </message>
    <message>
        <source>%1: the chart is exported as .png or .svg</source>
        <translation>%1：图表只能导出为 .png 或 .svg</translation>
    </message>
    <message>
        <source>Cannot write %1</source>
        <translation>无法写入 %1</translation>
    </message>
    <message>
        <source>Alert above</source>
        <translation>报警阈值</translation>
    </message>
    <message>
        <source>off</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Export chart…</source>
        <translation>导出图表…</translation>
    </message>
    <message>
        <source>%1 samples dropped while the buffer was full</source>
        <translation>缓冲区满时丢弃了 %1 个样本</translation>
    </message>
    <message>
        <source>%1 samples not delivered to the broker</source>
        <translation>%1 个样本未送达代理服务器</translation>
    </message>
    <message>
        <source>MQTT: every sample delivered</source>
        <translation>MQTT：所有样本均已送达</translation>
    </message>
    <message>
        <source>MQTT: %1</source>
        <translation>MQTT：%1</translation>
    </message>
    <message>
        <source>MQTT: refused</source>
        <translation>MQTT：被拒绝</translation>
    </message>
    <message>
        <source>MQTT publishing stopped: %1</source>
        <translation>MQTT 发布已停止：%1</translation>
    </message>
    <message>
        <source>MQTT: waiting for the first sample</source>
        <translation>MQTT：等待第一个样本</translation>
    </message>
    <message>
        <source>MQTT: %1, %2 buffered, %3 dropped</source>
        <translation>MQTT：%1，缓冲 %2，丢弃 %3</translation>
    </message>
    <message>
        <source>connected</source>
        <translation>已连接</translation>
    </message>
    <message>
        <source>not connected</source>
        <translation>未连接</translation>
    </message>
</context>
</TS>
