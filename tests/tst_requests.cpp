#include "commands/nativeframe.h"
#include "commands/requests.h"
#include "replies/baudprobe.h"
#include "serial/codec.h"

#include <QtTest>

// Every request frame the tool builds, against wire bytes written down independently.
class RequestsTest : public QObject
{
    Q_OBJECT

private slots:
    void frames_data();
    void frames();
    void deviceNumber_data();
    void deviceNumber();
    void passThroughWrite_data();
    void passThroughWrite();
    void passThroughRefusesOversizedPayload();
};

static QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

void RequestsTest::frames_data()
{
    using namespace requests;
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("measurement, average") << query(Register::Measurement, 0) << hex("000300b4000405fe");
    QTest::newRow("measurement, unit 1") << query(Register::Measurement, 1) << hex("000301b400040402");
    QTest::newRow("measurement, unit 4") << query(Register::Measurement, 4) << hex("000304b4000404ce");
    QTest::newRow("auto clean query") << query(Register::AutoCleanDust) << hex("000300aa0001a5fb");
    QTest::newRow("heat mode query") << query(Register::HeatMode) << hex("000300ab0001f43b");
    QTest::newRow("work mode query") << query(Register::WorkMode) << hex("000300a6000165f8");
    QTest::newRow("device address query") << query(Register::DeviceAddress) << hex("00030000000185db");
    QTest::newRow("self-check query") << query(Register::SelfCheck) << hex("000300a700013438");
    QTest::newRow("global on/off query") << query(Register::GlobalOnOff) << hex("000300ae0001e43a");
    QTest::newRow("temp/humi query") << query(Register::TempHumi) << hex("000300a80001043b");
    QTest::newRow("heat temp query") << query(Register::HeatTemp) << hex("000300ac000145fa");
    QTest::newRow("heat humi query") << query(Register::HeatHumi) << hex("000300ad0001143a");
    QTest::newRow("weights query") << query(Register::Weights) << hex("000300c9000495e6");
    QTest::newRow("calibration query unit 2 PM10") << calibrationQuery(2, 1) << hex("000302c50002d45f");
    QTest::newRow("calibration query average PM2.5") << calibrationQuery(0, 0) << hex("000300c3000235e6");
    QTest::newRow("baud probe") << baudprobe::probeRequest() << hex("00030000000185db");

    QTest::newRow("to Modbus") << write(Register::Protocol, 0, 3) << hex("000600b10003983d");
    QTest::newRow("to native") << write(Register::Protocol, 0, 0) << hex("000600b10000d83c");
    QTest::newRow("factory reset") << write(Register::FactoryReset, 0, 1) << hex("000600a5000159f8");
    QTest::newRow("manual clean 10")
        << write(Register::ManualCleanDust, 0, lowByteOfDecimal("10")) << hex("000600a9000ad83c");
    QTest::newRow("auto clean 60 s every 24 h")
        << write(Register::AutoCleanDust, lowByteOfDecimal("60"), lowByteOfDecimal("24"))
        << hex("000600aa3c18b931");
    QTest::newRow("heat thresholds 40/-10")
        << write(Register::HeatTemp, lowByteOfDecimal("40"), lowByteOfDecimal("-10"))
        << hex("000600ac28f6d67c");
    QTest::newRow("work mode manual, units 1 and 3")
        << write(Register::WorkMode, 3, unitMask(true, false, true, false)) << hex("000600a60305a8cb");
    QTest::newRow("global on/off, all on")
        << write(Register::GlobalOnOff, 0, unitMask(true, true, true, true)) << hex("000600ae000fa9fe");

    QTest::newRow("address 0 sent as 1") << deviceAddressWrite("0") << hex("00060000000149db");
    QTest::newRow("address empty sent as 1") << deviceAddressWrite("") << hex("00060000000149db");
    QTest::newRow("address zz sent as 1") << deviceAddressWrite("zz") << hex("00060000000149db");
    QTest::newRow("address ff") << deviceAddressWrite("ff") << hex("0006000000ffc85b");
    QTest::newRow("address 1ff, low 8 bits") << deviceAddressWrite("1ff") << hex("0006000000ffc85b");
    QTest::newRow("address 0x0a") << deviceAddressWrite("0x0a") << modbus::writeSingleRequest(0, 0x0A);

    QTest::newRow("baud code index 0 (9600)")
        << write(Register::BaudRate, 0, baudRateCodeForIndex(0)) << write(Register::BaudRate, 0, 3);
    QTest::newRow("baud code index 2 (9600)")
        << write(Register::BaudRate, 0, baudRateCodeForIndex(2)) << write(Register::BaudRate, 0, 3);
    QTest::newRow("baud code 4800") << write(Register::BaudRate, 0, baudRateCodeForIndex(1))
                                    << hex("000600cd00029825");
    QTest::newRow("baud code 19200") << write(Register::BaudRate, 0, baudRateCodeForIndex(3))
                                     << hex("000600cd00041827");

    QTest::newRow("calibrate unit 2 PM10 -5 x100") << calibrationWrite(2, 1, "-5", "100")
                                                   << hex("001002c50002040005006433b6");
    QTest::newRow("calibrate average PM2.5 +5 x100") << calibrationWrite(0, 0, "5", "100")
                                                     << hex("001000c3000204010500" "64ab00");
    QTest::newRow("calibrate zero 300, factor 256")
        << calibrationWrite(0, 2, "300", "256")
        << modbus::withCrc(hex("001000c700020401" "2c" "00" "00"));
    QTest::newRow("calibrate zero 0") << calibrationWrite(0, 0, "0", "1")
                                      << modbus::withCrc(hex("001000c30002040000" "00" "01"));

    QTest::newRow("native device info") << native::deviceInfoQuery()
                                        << hex("aaa6000000000000000000000000000000" "00ab");
    QTest::newRow("native firmware query") << native::firmwareQuery()
                                           << hex("aab5000000000000000000000000000000" "00ab");
    QTest::newRow("native sleep") << native::sleepFrame()
                                  << hex("aab406010000000000000000000000ffff05ab");

    QTest::newRow("pass-through read target 1") << passThroughRead(1) << hex("000301110013542f");
    QTest::newRow("pass-through read target 2") << passThroughRead(2) << hex("000302110013546b");
}

void RequestsTest::frames()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, wire);
    QCOMPARE(built.toHex(' '), wire.toHex(' '));
}

void RequestsTest::deviceNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("frame");
    const auto frame = [](const char *idBytes, const char *sum) {
        return hex("aaa7000000000000") + hex(idBytes) + hex("0000000000") + hex(sum) + hex("ab");
    };
    QTest::newRow("initial text") << "ffff-ffff" << frame("ffffffff", "fc");
    QTest::newRow("12ab-0c3d") << "12ab-0c3d" << frame("12ab0c3d", "06");
    QTest::newRow("no dash: both halves") << "abcd" << frame("abcdabcd", "f0");
    QTest::newRow("middle part ignored") << "1-2-3" << frame("00010003", "04");
    QTest::newRow("low 16 bits") << "12345-0" << frame("23450000", "68");
    QTest::newRow("empty") << "" << frame("00000000", "00");
    QTest::newRow("only a dash") << "-" << frame("00000000", "00");
}

void RequestsTest::deviceNumber()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, frame);
    QCOMPARE(native::setDeviceNumberFrame(native::parseDeviceNumber(text)).toHex(' '),
             frame.toHex(' '));
}

void RequestsTest::passThroughWrite_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("empty field") << hex("00") << hex("00100111000a01008d8a");
    QTest::newRow("01 02") << hex("0102") << hex("00100111000a0201023a34");
    QTest::newRow("sleep frame with trailing space")
        << hex("aab406010000000000000000000000ffff05ab00")
        << hex("00100111000a14aab406010000000000000000000000ffff05ab002755");
    QTest::newRow("typed native frame gets its checksum")
        << hex("aab406010000000000000000000000ffff00ab")
        << hex("00100111000a13aab406010000000000000000000000ffff05ab7990");
}

void RequestsTest::passThroughWrite()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, wire);
    const auto frame = requests::passThroughWrite(1, payload);
    QVERIFY(frame.has_value());
    QCOMPARE(frame->toHex(' '), wire.toHex(' '));
}

void RequestsTest::passThroughRefusesOversizedPayload()
{
    const auto largest = requests::passThroughWrite(3, QByteArray(91, '\x11'));
    QVERIFY(largest.has_value());
    QCOMPARE(largest->size(), 100);
    QCOMPARE(quint8(largest->at(6)), quint8(91));
    QVERIFY(!requests::passThroughWrite(3, QByteArray(92, '\x11')).has_value());
}

QTEST_APPLESS_MAIN(RequestsTest)
#include "tst_requests.moc"
