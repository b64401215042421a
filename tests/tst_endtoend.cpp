#include "app/mainwindow.h"
#include "messageboxcloser.h"
#include "serial/codec.h"
#include "simulatorprocess.h"

#include <QtTest>
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QLabel>
#include <QTextEdit>
#include <QTranslator>

#include <memory>

// The real window against the simulated sensor over a pseudo-terminal.
class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void measurementLine_data();
    void measurementLine();
    void deviceAddressSetAndQueried();
    void autoCleaningSetAndQueried();
    void heaterSetAndQueried();
    void workModeSetAndQueried();
    void globalSwitchesSetAndQueried();
    void calibrationSetAndQueried_data();
    void calibrationSetAndQueried();
    void readOnlyValues();
    void sleepAndWake();
    void protocolSwitchesAndFactoryReset();
    void twoQueriesNeverShareAnAnswer();
    void faultyReplyShowsNothingUntilTheNextWholeOne_data();
    void faultyReplyShowsNothingUntilTheNextWholeOne();
    void unansweredQueryEndsInOneLine_data();
    void unansweredQueryEndsInOneLine();
    void temperatureReplyNeverMakesAMeasurementLine();
    void typedEntries_data();
    void typedEntries();

    void deviceIdAndFirmwareEveryTime();
    void baudSearchFindsTheSensor_data();
    void baudSearchFindsTheSensor();
    void baudSearchStaysBehindItsBox();
    void baudSearchRunsOut();
    void sensorRateChangedThenFound();
    void passThroughWriteAndRead();

private:
    void start(const QStringList &simulatorArguments, const QString &rate = "9600");
    void click(const char *name);
    void setText(const char *name, const QString &text);
    void select(const char *name, int index);
    void check(const char *name, bool checked);
    QString text(const char *name) const;
    bool isChecked(const char *name) const;
    QString logText() const { return window->findChild<QTextEdit *>("textEditPM")->toPlainText(); }
    void clickAndAwaitAnswer(const char *name);
    static QString noAnswerLine(const char *query)
    {
        return QString("查询“%1”未收到有效应答。").arg(QString::fromUtf8(query));
    }

    QTranslator catalogue;
    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
};

// A query answered at 9600 baud needs well under one tick; a few ticks is a safe bound.
constexpr int answerTimeoutMs = 2500;

void EndToEndTest::initTestCase()
{
    QVERIFY(catalogue.load(":/ts/zh_CN.qm"));
    QCoreApplication::installTranslator(&catalogue);
}

void EndToEndTest::cleanup()
{
    window.reset();
    sim.reset();
}

void EndToEndTest::start(const QStringList &simulatorArguments, const QString &rate)
{
    replyWaitFlags = {};
    sim = std::make_unique<SimulatorProcess>(simulatorArguments + QStringList{"--verbose"});
    QVERIFY(sim->start());
    window = std::make_unique<MainWindow>();
    window->show();
    window->findChild<QComboBox *>("comboBoxCOM")->setEditText(sim->ptyPath());
    auto *rates = window->findChild<QComboBox *>("comboBox_BoudRate");
    rates->setCurrentIndex(rates->findText(rate));
    click("pushButtonOpen");
    QVERIFY(window->findChild<QWidget *>("pushButtonClose")->isEnabled());
}

void EndToEndTest::click(const char *name)
{
    auto *button = window->findChild<QAbstractButton *>(name);
    QVERIFY2(button, name);
    button->click();
}

void EndToEndTest::setText(const char *name, const QString &value)
{
    window->findChild<QLineEdit *>(name)->setText(value);
}

void EndToEndTest::select(const char *name, int index)
{
    window->findChild<QComboBox *>(name)->setCurrentIndex(index);
}

void EndToEndTest::check(const char *name, bool checked)
{
    window->findChild<QAbstractButton *>(name)->setChecked(checked);
}

QString EndToEndTest::text(const char *name) const
{
    if (auto *label = window->findChild<QLabel *>(name))
        return label->text();
    return window->findChild<QLineEdit *>(name)->text();
}

bool EndToEndTest::isChecked(const char *name) const
{
    return window->findChild<QAbstractButton *>(name)->isChecked();
}

// Clicks a setting button and waits until the sensor's answer has been logged.
void EndToEndTest::clickAndAwaitAnswer(const char *name)
{
    const int linesBefore = logText().isEmpty() ? 0 : logText().count('\n') + 1;
    click(name);
    QTRY_VERIFY_WITH_TIMEOUT(logText().count('\n') + 1 > linesBefore && logText().endsWith(' '),
                             answerTimeoutMs);
}

void EndToEndTest::measurementLine_data()
{
    QTest::addColumn<int>("object");
    QTest::addColumn<QString>("line");
    QTest::newRow("average") << 0 << "All Sensor: PM2.5 = 12  PM10 = 45.6  PM100 = 790";
    QTest::newRow("unit 2") << 2 << "Sensor 2:  PM2.5 = 13.5  PM10 = 48  PM100 = 812";
}

void EndToEndTest::measurementLine()
{
    QFETCH(int, object);
    QFETCH(QString, line);
    start({"--unit", "1=120,450,789", "--unit", "2=135,480,812", "--unit", "3=110,430,760",
           "--unit", "4=115,464,801"});
    select("comboBoxSendObject", object);
    click("pushButton_GetSensorData");
    QTRY_VERIFY_WITH_TIMEOUT(logText().endsWith(line), answerTimeoutMs);
    QCOMPARE(replyWaitFlags.waitSensorData, quint8(0));
}

void EndToEndTest::deviceAddressSetAndQueried()
{
    start({});
    click("pushButton_GetDeviceAddr");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_DeviceAddr"), QString("1"), answerTimeoutMs);
    setText("lineEdit_DeviceAddr", "0x2a");
    clickAndAwaitAnswer("pushButton_SetDeviceAddr");

    click("pushButton_GetDeviceAddr");
    QCOMPARE(text("lineEdit_DeviceAddr"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_DeviceAddr"), QString("2a"), answerTimeoutMs);
}

void EndToEndTest::autoCleaningSetAndQueried()
{
    start({});
    select("comboBoxAutoCleanDust", 1);
    setText("lineEdit_AutoCleanTime", "60");
    setText("lineEdit_AutoCleanDustJianGe", "24");
    clickAndAwaitAnswer("pushButton_AutoCleanDust");
    QCOMPARE(text("lineEdit_TransSend_2"), QString("00 06 00 aa 3c 18 b9 31 "));
    select("comboBoxAutoCleanDust", 0);
    click("pushButton_AutoCleanDust");
    QCOMPARE(text("lineEdit_AutoCleanTime"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_AutoCleanTime"), QString("60"), answerTimeoutMs);
    QCOMPARE(text("lineEdit_AutoCleanDustJianGe"), QString("24"));

    clickAndAwaitAnswer("pushButton_2");

    QVERIFY(logText().endsWith("00 06 00 a9 00 0a d8 3c "));
}

void EndToEndTest::heaterSetAndQueried()
{
    start({});
    check("radioButton_StartHeat", true);
    clickAndAwaitAnswer("pushButton_ManualHeat");

    click("pushButton_GetHeatMode");
    QTRY_VERIFY_WITH_TIMEOUT(isChecked("radioButton_ManualHeat"), answerTimeoutMs);
    QVERIFY(!isChecked("radioButton_AutoHeat"));

    clickAndAwaitAnswer("pushButton_AutoHeat");

    click("pushButton_GetHeatMode");
    QTRY_VERIFY_WITH_TIMEOUT(isChecked("radioButton_AutoHeat"), answerTimeoutMs);

    // The query clears both buttons, the checked one included, and leaves on the line.
    const int requestsBefore = sim->log().count(" rx 00 03 00 ab 00 01 f4 3b");
    click("pushButton_GetHeatMode");
    QVERIFY(!isChecked("radioButton_AutoHeat"));
    QVERIFY(!isChecked("radioButton_ManualHeat"));
    QTRY_COMPARE_WITH_TIMEOUT(sim->log().count(" rx 00 03 00 ab 00 01 f4 3b"), requestsBefore + 1,
                              answerTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(isChecked("radioButton_AutoHeat"), answerTimeoutMs);

    select("comboBox_HeatTemp", 1);
    setText("lineEdit_HeatTempHigh", "40");
    setText("lineEdit_HeatTempLow", "-10");
    clickAndAwaitAnswer("pushButton_HeatTemp");

    select("comboBox_HeatHumi", 1);
    setText("lineEdit_HeatHumiHigh", "90");
    setText("lineEdit_HeatHumiLow", "50");
    clickAndAwaitAnswer("pushButton_HeatHumi");


    select("comboBox_HeatTemp", 0);
    click("pushButton_HeatTemp");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_HeatTempLow"), QString("-10"), answerTimeoutMs);
    QCOMPARE(text("lineEdit_HeatTempHigh"), QString("40"));
    select("comboBox_HeatHumi", 0);
    click("pushButton_HeatHumi");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_HeatHumiHigh"), QString("90"), answerTimeoutMs);
    QCOMPARE(text("lineEdit_HeatHumiLow"), QString("50"));
}

void EndToEndTest::workModeSetAndQueried()
{
    start({});
    check("checkBox_No1", true);
    check("checkBox_No3", true);
    clickAndAwaitAnswer("pushButton_ManualSet");

    check("checkBox_No2", true);
    click("pushButton_GetWorkMode");
    QVERIFY(!isChecked("checkBox_No2"));
    QTRY_VERIFY_WITH_TIMEOUT(isChecked("radioButton_Manualset"), answerTimeoutMs);
    QVERIFY(isChecked("checkBox_No1"));
    QVERIFY(!isChecked("checkBox_No2"));
    QVERIFY(isChecked("checkBox_No3"));
    QVERIFY(!isChecked("checkBox_No4"));

    clickAndAwaitAnswer("pushButton_AutoSingle");

    click("pushButton_GetWorkMode");
    QTRY_VERIFY_WITH_TIMEOUT(isChecked("radioButton_Autosingle"), answerTimeoutMs);
    QVERIFY(!isChecked("radioButton_Manualset"));
}

void EndToEndTest::globalSwitchesSetAndQueried()
{
    start({"--unit", "1=100,100,100", "--unit", "2=200,200,200", "--unit", "3=300,300,300",
           "--unit", "4=400,400,400"});
    check("checkBox_Global2", true);
    check("checkBox_Global4", true);
    clickAndAwaitAnswer("pushButton_SetGlobalOnOff");
    QCOMPARE(text("lineEdit_TransSend_2"), QString("00 06 00 ae 00 0a 69 fd "));
    check("checkBox_Global1", true);
    click("pushButton_GetGlobalOnOff");
    QTRY_VERIFY_WITH_TIMEOUT(isChecked("checkBox_Global4"), answerTimeoutMs);
    QVERIFY(!isChecked("checkBox_Global1"));
    QVERIFY(isChecked("checkBox_Global2"));
    QVERIFY(!isChecked("checkBox_Global3"));

    // Units switched off no longer count in the average.
    click("pushButton_GetSensorData");
    QTRY_VERIFY_WITH_TIMEOUT(logText().endsWith("All Sensor: PM2.5 = 30  PM10 = 30  PM100 = 300"),
                             answerTimeoutMs);
}

void EndToEndTest::calibrationSetAndQueried_data()
{
    QTest::addColumn<int>("object");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("zero");
    QTest::addColumn<QString>("factor");
    QTest::addColumn<QString>("shownZero");
    QTest::newRow("unit 2, PM10, -5 x100") << 2 << 1 << "-5" << "100" << "-5";
    QTest::newRow("average, PM2.5, +5 x100") << 0 << 0 << "+5" << "100" << "5";
    QTest::newRow("unit 4, PM100, 0 x7") << 4 << 2 << "0" << "7" << "0";
}

void EndToEndTest::calibrationSetAndQueried()
{
    QFETCH(int, object);
    QFETCH(int, range);
    QFETCH(QString, zero);
    QFETCH(QString, factor);
    QFETCH(QString, shownZero);
    start({});
    select("comboBox_CalibrateObject", object);
    select("comboBox_CalibrateRange", range);
    select("comboBox_Calibrate", 1);
    setText("lineEdit_CalibrZero", zero);
    setText("lineEdit_CalibrateFactor", factor);
    clickAndAwaitAnswer("pushButton_Calibrate");

    // Another object's calibration stays at its default.
    select("comboBox_Calibrate", 0);
    select("comboBox_CalibrateObject", object == 1 ? 3 : 1);
    click("pushButton_Calibrate");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_CalibrateFactor"), QString("100"), answerTimeoutMs);
    QCOMPARE(text("lineEdit_CalibrZero"), QString("0"));

    select("comboBox_CalibrateObject", object);
    click("pushButton_Calibrate");
    QCOMPARE(text("lineEdit_CalibrZero"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_CalibrateFactor"), factor, answerTimeoutMs);
    QCOMPARE(text("lineEdit_CalibrZero"), shownZero);
}

void EndToEndTest::readOnlyValues()
{
    start({"--temperature", "-5", "--humidity", "55", "--self-check", "0x0e", "--weights",
           "10,20,30,40,1,2,3,4"});
    click("pushButton_GetTempHumi");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_Temp"), QString("-5"), answerTimeoutMs);
    QCOMPARE(text("lineEdit_Humi"), QString("55"));

    click("pushButton_GetSelfCheck");
    QTRY_VERIFY_WITH_TIMEOUT(isChecked("checkBox_Selfcheck1"), answerTimeoutMs);
    QVERIFY(!isChecked("checkBox_Selfcheck2"));
    QVERIFY(!isChecked("checkBox_Selfcheck3"));
    QVERIFY(!isChecked("checkBox_Selfcheck4"));

    click("pushButton_GetFactor");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_4Factor_2"), QString("4"), answerTimeoutMs);
    const char *weights[] = {"lineEdit_1Factor",   "lineEdit_2Factor",   "lineEdit_3Factor",
                             "lineEdit_4Factor",   "lineEdit_1Factor_2", "lineEdit_2Factor_2",
                             "lineEdit_3Factor_2", "lineEdit_4Factor_2"};
    const QStringList expected{"10", "20", "30", "40", "1", "2", "3", "4"};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(text(weights[i]), expected[i]);
}

void EndToEndTest::sleepAndWake()
{
    start({"--unit", "1=10,20,30", "--unit", "2=10,20,30", "--unit", "3=10,20,30", "--unit",
           "4=10,20,30"});
    clickAndAwaitAnswer("pushButton_SetSleep");

    click("pushButton_GetSensorData");
    QTRY_VERIFY_WITH_TIMEOUT(logText().endsWith("All Sensor: PM2.5 = 0  PM10 = 0  PM100 = 0"),
                             answerTimeoutMs);
    clickAndAwaitAnswer("pushButton_WakeDevice");

    click("pushButton_GetSensorData");
    QTRY_VERIFY_WITH_TIMEOUT(logText().endsWith("All Sensor: PM2.5 = 1  PM10 = 2  PM100 = 30"),
                             answerTimeoutMs);
}

void EndToEndTest::protocolSwitchesAndFactoryReset()
{
    start({});
    MessageBoxCloser closer;
    click("pushButton_ChangeToModbus_2");
    QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), 1, answerTimeoutMs);
    QCOMPARE(closer.seen[0].title, QString("Information"));
    QCOMPARE(closer.seen[0].text, QString("设备转换为Orvel自有协议！"));
    QTRY_VERIFY_WITH_TIMEOUT(logText().endsWith("\n设备转换为Orvel自有协议！"), answerTimeoutMs);

    // In the native protocol the sensor no longer answers Modbus reads.
    click("pushButton_GetDeviceAddr");
    QTRY_VERIFY_WITH_TIMEOUT(logText().endsWith(noAnswerLine("设备地址")), answerTimeoutMs);
    QCOMPARE(text("lineEdit_DeviceAddr"), QString());
    QCOMPARE(replyWaitFlags.waitDeviceAddr, quint8(0));

    click("pushButton_ChangeToModbus");
    QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), 2, answerTimeoutMs);
    QCOMPARE(closer.seen[1].text, QString("设备转换为MODBUS协议！"));

    select("comboBox_HeatTemp", 1);
    setText("lineEdit_HeatTempHigh", "40");
    setText("lineEdit_HeatTempLow", "-10");
    clickAndAwaitAnswer("pushButton_HeatTemp");

    click("pushButton_SetFactoryConfig");
    QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), 3, answerTimeoutMs);
    QCOMPARE(closer.seen[2].text, QString("设备已恢复出厂设置！"));
    QTRY_VERIFY_WITH_TIMEOUT(logText().endsWith("\n设备已恢复出厂设置！"), answerTimeoutMs);

    select("comboBox_HeatTemp", 0);
    click("pushButton_HeatTemp");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_HeatTempLow"), QString("-5"), answerTimeoutMs);
    QCOMPARE(text("lineEdit_HeatTempHigh"), QString("30"));
}

// Both answers usually arrive in one read, of which only the first reply is read: the
// temperature answer no longer shows humidity 60 as device address "3c".
void EndToEndTest::twoQueriesNeverShareAnAnswer()
{
    start({"--temperature", "21", "--humidity", "60"});
    click("pushButton_GetTempHumi");
    click("pushButton_GetDeviceAddr");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_Temp"), QString("21"), answerTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(replyWaitFlags.waitDeviceAddr, quint8(0), answerTimeoutMs);
    if (text("lineEdit_DeviceAddr").isEmpty())
        QVERIFY(logText().contains(noAnswerLine("设备地址")));
    else
        QCOMPARE(text("lineEdit_DeviceAddr"), QString("1"));
}

void EndToEndTest::faultyReplyShowsNothingUntilTheNextWholeOne_data()
{
    QTest::addColumn<QStringList>("faults"); // the second reply is faulty
    QTest::addColumn<int>("hexLines");       // lines it leaves in the log
    QTest::newRow("corrupted") << QStringList{"--corrupt-every", "2"} << 1;
    QTest::newRow("split across ticks: short, then the rest")
        << QStringList{"--split-every", "2", "--split-pause", "450"} << 2;
}

void EndToEndTest::faultyReplyShowsNothingUntilTheNextWholeOne()
{
    QFETCH(QStringList, faults);
    QFETCH(int, hexLines);
    start(faults + QStringList{"--unit", "1=466,466,801", "--unit", "2=466,466,801", "--unit",
                               "3=466,466,801", "--unit", "4=466,466,801"});
    const QString line = "All Sensor: PM2.5 = 46.6  PM10 = 46.6  PM100 = 801";
    click("pushButton_GetSensorData");
    QTRY_VERIFY_WITH_TIMEOUT(logText().endsWith(line), answerTimeoutMs);

    const int linesBefore = logText().count('\n');
    click("pushButton_GetSensorData");
    QTRY_COMPARE_WITH_TIMEOUT(logText().count('\n'), linesBefore + hexLines, answerTimeoutMs);
    QVERIFY(logText().endsWith(' '));
    QCOMPARE(replyWaitFlags.waitSensorData, quint8(1));

    click("pushButton_GetSensorData");
    QTRY_COMPARE_WITH_TIMEOUT(logText().count("PM2.5"), 2, answerTimeoutMs);
    QVERIFY(logText().endsWith(line));
}

void EndToEndTest::unansweredQueryEndsInOneLine_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("lateReply"); // logged after the line, shown nowhere
    QTest::newRow("self-check dropped")
        << QStringList{"--drop-every", "1"} << "pushButton_GetSelfCheck"
        << "自检状态"
        << "";
    QTest::newRow("temperature late")
        << QStringList{"--delay-every", "1", "--delay-ms", "1600"} << "pushButton_GetTempHumi"
        << "内部温湿度"
        << "\n01 03 02 19 2d ";
}

void EndToEndTest::unansweredQueryEndsInOneLine()
{
    QFETCH(QStringList, faults);
    QFETCH(QString, button);
    QFETCH(QString, query);
    QFETCH(QString, lateReply);
    start(faults);
    click(qPrintable(button));
    QTRY_COMPARE_WITH_TIMEOUT(logText(), noAnswerLine(qPrintable(query)), answerTimeoutMs);
    const ReplyWaitFlags none{};
    QVERIFY(memcmp(&replyWaitFlags, &none, sizeof none) == 0);
    if (!lateReply.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains(lateReply), answerTimeoutMs);
    for (const char *box : {"checkBox_Selfcheck1", "checkBox_Selfcheck2", "checkBox_Selfcheck3",
                            "checkBox_Selfcheck4"})
        QVERIFY(!isChecked(box));
    QCOMPARE(text("lineEdit_Temp"), QString());
}

void EndToEndTest::temperatureReplyNeverMakesAMeasurementLine()
{
    start({"--drop-every", "2"}); // the measurement's answer is dropped
    click("pushButton_GetDeviceAddr");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_DeviceAddr"), QString("1"), answerTimeoutMs);
    click("pushButton_GetSensorData");
    QTRY_VERIFY_WITH_TIMEOUT(sim->log().contains("reply 2 dropped"), answerTimeoutMs);
    click("pushButton_GetTempHumi");
    QTRY_VERIFY_WITH_TIMEOUT(logText().endsWith(noAnswerLine("检测数值")), answerTimeoutMs);
    QCOMPARE(text("lineEdit_Temp"), QString("25"));
    QVERIFY(!logText().contains("PM2.5"));
}

// A refused entry names its field and range in a box and the log, and nothing reaches the
// sensor; an accepted one sends the bytes it always sent.
void EndToEndTest::typedEntries_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("fields"); // object names, then what is typed into each
    QTest::addColumn<QString>("refusal");    // empty: accepted
    QTest::addColumn<QByteArray>("frame");
    const auto row = [](const char *name, const char *button, const QStringList &fields,
                        const char *refusal, const char *frame = "") {
        QTest::newRow(name) << button << fields << QString::fromUtf8(refusal)
                            << (*frame ? modbus::withCrc(QByteArray::fromHex(frame))
                                       : QByteArray());
    };
    const char *clean = "pushButton_2", *temp = "pushButton_HeatTemp",
               *addr = "pushButton_SetDeviceAddr", *calib = "pushButton_Calibrate";
    const auto cleanTime = [](const char *t) { return QStringList{"lineEdit_CleanDustTime", t}; };
    const auto temps = [](const char *high, const char *low) {
        return QStringList{"lineEdit_HeatTempHigh", "lineEdit_HeatTempLow", high, low};
    };
    const auto address = [](const char *t) { return QStringList{"lineEdit_DeviceAddr", t}; };
    const auto calibration = [](const char *zero, const char *factor) {
        return QStringList{"lineEdit_CalibrZero", "lineEdit_CalibrateFactor", zero, factor};
    };
    row("clean: out of range", clean, cleanTime("256"), "手动除尘时间必须是 0 到 255");
    row("clean: empty", clean, cleanTime(""), "手动除尘时间必须是 0 到 255");
    row("clean: sign", clean, cleanTime("-1"), "手动除尘时间必须是 0 到 255");
    row("auto clean: junk", "pushButton_AutoCleanDust",
        {"lineEdit_AutoCleanTime", "lineEdit_AutoCleanDustJianGe", "2O", "24"},
        "自动除尘时间(秒)必须是 0 到 255");
    row("heat temp: 300", temp, temps("300", "-10"), "加热温度高门限(℃)必须是 1 到 127");
    row("heat temp: wrong base", temp, temps("0x28", "-10"), "加热温度高门限(℃)必须是 1 到 127");
    row("heat temp: low above 0", temp, temps("40", "10"), "加热温度低门限(℃)必须是 -128 到 -1");
    row("heat humi: decimal point", "pushButton_HeatHumi",
        {"lineEdit_HeatHumiHigh", "lineEdit_HeatHumiLow", "90", "50.5"},
        "加热湿度低门限(%)必须是 0 到 100");
    row("address: 1g", addr, address("1g"), "设备地址必须是 1 到 f7 之间的十六进制数");
    row("address: 300", addr, address("300"), "设备地址必须是 1 到 f7 之间的十六进制数");
    row("address: 0", addr, address("0"), "设备地址必须是 1 到 f7 之间的十六进制数");
    row("calibration: factor 1.05", calib, calibration("0", "1.05"), "比例校准必须是 0 到 255");
    row("calibration: zero 256", calib, calibration("256", "100"), "数值校准必须是 -255 到 255");
    row("pass-through: zz", "pushButton_TransSend", {"lineEdit_TransSend", "01 zz 03"},
        "透传内容第 2 项“zz”");
    row("clean 255", clean, cleanTime(" 255 "), "", "000600a900ff");
    row("heat temp 127/-128", temp, temps("+127", "-128"), "", "000600ac7f80");
    row("address F7", addr, address("F7"), "", "0006000000f7");
    row("calibration -255 x255", calib, calibration("-255", "255"), "", "001000c300020400ff00ff");
    row("pass-through, trailing space", "pushButton_TransSend", {"lineEdit_TransSend", "aa 0x1 "},
        "", "00100111000a03aa0100");
}

void EndToEndTest::typedEntries()
{
    QFETCH(QString, button);
    QFETCH(QStringList, fields);
    QFETCH(QString, refusal);
    QFETCH(QByteArray, frame);
    start({});
    for (const char *selector :
         {"comboBoxAutoCleanDust", "comboBox_HeatTemp", "comboBox_HeatHumi", "comboBox_Calibrate"})
        select(selector, 1);
    for (int i = 0; i < fields.size() / 2; ++i)
        setText(qPrintable(fields[i]), fields[fields.size() / 2 + i]);
    if (refusal.isEmpty()) {
        clickAndAwaitAnswer(qPrintable(button));
        QCOMPARE(text("lineEdit_TransSend_2"), toHexText(frame));
        QVERIFY(sim->log().contains(" rx " + toHexText(frame).trimmed().toLatin1()));
        return;
    }
    MessageBoxCloser closer;
    click(qPrintable(button));
    QCOMPARE(closer.seen.size(), 1);
    QVERIFY2(closer.seen[0].text.startsWith("未发送：") && closer.seen[0].text.contains(refusal),
             qPrintable(closer.seen[0].text));
    QCOMPARE(logText(), closer.seen[0].text);
    QCOMPARE(text("lineEdit_TransSend_2"), QString());
    // The next request is the first the sensor sees.
    click("pushButton_GetTempHumi");
    QTRY_VERIFY_WITH_TIMEOUT(sim->log().contains(" rx "), answerTimeoutMs);
    QCOMPARE(sim->log().count(" rx "), 1);
    QVERIFY(sim->log().contains(" rx 00 03 00 a8 00 01 04 3b"));
}

void EndToEndTest::deviceIdAndFirmwareEveryTime()
{
    start({"--protocol", "native", "--device-id", "12ab-0c3d", "--firmware", "17,7,11"});
    for (int round = 0; round < 20; ++round) {
        click("pushButton_GetInfo");
        QCOMPARE(text("Edit_DeviceID"), QString());
        QCOMPARE(text("label_softid"), QString());
        QTRY_COMPARE_WITH_TIMEOUT(text("Edit_DeviceID"), QString("12ab-0c3d"), answerTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(text("label_softid"), QString("17-7-11"), answerTimeoutMs);
    }
}

void EndToEndTest::baudSearchFindsTheSensor_data()
{
    QTest::addColumn<QString>("rate");
    for (const char *rate : {"19200", "9600", "4800", "2400"})
        QTest::newRow(rate) << QString(rate);
}

void EndToEndTest::baudSearchFindsTheSensor()
{
    QFETCH(QString, rate);
    start({"--baud", rate}, rate == "9600" ? "4800" : "9600");
    MessageBoxCloser closer;
    click("pushButton_GetBaudrate");
    QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), 1, 6000);
    QCOMPARE(closer.seen[0].title, QString("Information"));
    QCOMPARE(closer.seen[0].text, QString("Baudrate is %1 !").arg(rate));
    QTRY_COMPARE_WITH_TIMEOUT(replyWaitFlags.baudProbeState, quint8(0), 1000);

    // The port stays at the rate that answered: a query is answered there.
    click("pushButton_GetDeviceAddr");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_DeviceAddr"), QString("1"), 4 * answerTimeoutMs);
    QCOMPARE(closer.seen.size(), 1);
}

void EndToEndTest::baudSearchStaysBehindItsBox()
{
    start({"--baud", "4800"});
    // While the announcement is open, several ticks pass without the search moving on.
    MessageBoxCloser closer(1500);
    click("pushButton_GetBaudrate");
    QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), 1, 6000);
    QCOMPARE(closer.seen[0].text, QString("Baudrate is 4800 !"));
    QTRY_COMPARE_WITH_TIMEOUT(replyWaitFlags.baudProbeState, quint8(0), 3000);
    click("pushButton_GetTempHumi");
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_Temp"), QString("25"), 4 * answerTimeoutMs);
}

void EndToEndTest::baudSearchRunsOut()
{
    // A sensor that never answers: every reply dropped.
    start({"--drop-every", "1"});
    MessageBoxCloser closer;
    click("pushButton_GetBaudrate");
    QTRY_COMPARE_WITH_TIMEOUT(replyWaitFlags.baudProbeState, quint8(0), 8000);
    QTest::qWait(700);
    QCOMPARE(closer.seen.size(), 0);

    // Five probes, at 19200, 9600, 4800, 2400 and 9600 again.
    QStringList rates;
    const QList<QByteArray> lines = sim->log().split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines[i].contains("rx 00 03 00 00 00 01 85 db"))
            continue;
        const QByteArray next = i + 1 < lines.size() ? lines[i + 1] : QByteArray();
        const int at = next.indexOf("received at ");
        rates << (at >= 0 ? QString(next.mid(at + 12).split(' ').first()) : QString("9600"));
    }
    QCOMPARE(rates, (QStringList{"19200", "9600", "4800", "2400", "9600"}));
}

void EndToEndTest::sensorRateChangedThenFound()
{
    start({});
    select("comboBox_SetBoudRate", 3);
    clickAndAwaitAnswer("pushButton_SetBaudrate");
    QCOMPARE(text("lineEdit_TransSend_2"), QString("00 06 00 cd 00 04 18 27 "));
    // The tool's own port stays at 9600, where the sensor no longer answers.
    click("pushButton_GetTempHumi");
    QTest::qWait(900);
    QCOMPARE(text("lineEdit_Temp"), QString());

    MessageBoxCloser closer;
    click("pushButton_GetBaudrate");
    QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), 1, 6000);
    QCOMPARE(closer.seen[0].text, QString("Baudrate is 19200 !"));
    // The stale temperature query is not served by the probe's answer; it ends unanswered.
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(noAnswerLine("内部温湿度")), answerTimeoutMs);
    QCOMPARE(text("lineEdit_Temp"), QString());
}

void EndToEndTest::passThroughWriteAndRead()
{
    start({});
    select("comboBoxTransObject", 1);
    select("comboBoxCommonCMD", 1);
    QCOMPARE(text("lineEdit_TransSend"),
             QString("aa b4 06 01 00 00 00 00 00 00 00 00 00 00 00 ff ff 05 ab "));
    setText("lineEdit_TransSend", "01 02 0x7f");
    clickAndAwaitAnswer("pushButton_TransSend");
    QCOMPARE(text("lineEdit_TransSend_2"),
             QString("00 10 02 11 00 0a 03 01 02 7f ") +
                 QString(text("lineEdit_TransSend_2")).right(6));
    click("pushButton_TransRead");
    QCOMPARE(text("lineEdit_TransSend_2"), QString("00 03 02 11 00 13 54 6b "));
    QString expected = "01 02 7f ";
    for (int i = 3; i < 38; ++i)
        expected += "00 ";
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEdit_TransRead"), expected, answerTimeoutMs);

    // More than fits one frame is refused, and nothing is sent.
    QStringList tooMany;
    for (int i = 0; i < 92; ++i)
        tooMany << "11";
    setText("lineEdit_TransSend", tooMany.join(' '));
    click("pushButton_TransSend");
    QVERIFY(logText().endsWith("Pass-through refused: 92 bytes typed, at most 91 fit in one frame. "
                               "Nothing was sent."));
    QCOMPARE(text("lineEdit_TransSend_2"), QString("00 03 02 11 00 13 54 6b "));
}

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
