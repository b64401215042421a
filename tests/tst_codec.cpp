#include "serial/codec.h"

#include <QtTest>

class CodecTest : public QObject
{
    Q_OBJECT

private slots:
    void crc_data();
    void crc();
    void modbusRequests_data();
    void modbusRequests();
    void hexText_data();
    void hexText();
    void fromHex_data();
    void fromHex();
    void nativeSum_data();
    void nativeSum();
};

void CodecTest::crc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint16>("expected");
    QTest::newRow("no bytes") << QByteArray() << quint16(0xFFFF);
    QTest::newRow("check value 123456789") << QByteArray("123456789") << quint16(0x4B37);
    QTest::newRow("factory reset write") << QByteArray::fromHex("000600a50001") << quint16(0xF859);
    QTest::newRow("pass-through read") << QByteArray::fromHex("000301110013") << quint16(0x2F54);
    QTest::newRow("measurement query") << QByteArray::fromHex("000300b40004") << quint16(0xFE05);
}

void CodecTest::crc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(quint16, expected);
    QCOMPARE(crc16Modbus(bytes), expected);
}

void CodecTest::modbusRequests_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("write single, CRC low byte first")
        << modbus::writeSingleRequest(0x00A5, 1) << QByteArray::fromHex("000600a5000159f8");
    QTest::newRow("read, register high byte first")
        << modbus::readRequest(0x0111, 0x13) << QByteArray::fromHex("000301110013542f");
    QTest::newRow("write multiple with byte count")
        << modbus::writeMultipleRequest(0x0111, 10, QByteArray(1, '\0'))
        << QByteArray::fromHex("00100111000a01008d8a");
}

void CodecTest::modbusRequests()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, wire);
    QCOMPARE(built.toHex(' '), wire.toHex(' '));
}

void CodecTest::hexText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("three bytes, trailing space") << QByteArray::fromHex("aaa600") << "aa a6 00 ";
    QTest::newRow("no bytes") << QByteArray() << "";
    QTest::newRow("lower case, zero padded") << QByteArray::fromHex("0f0aff") << "0f 0a ff ";
}

void CodecTest::hexText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(toHexText(bytes), text);
    QCOMPARE(toHexText(reinterpret_cast<const quint8 *>(bytes.constData()), -1), QString());
}

void CodecTest::fromHex_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty text is one 00") << "" << QByteArray::fromHex("00");
    QTest::newRow("trailing space adds 00") << "aa bb " << QByteArray::fromHex("aabb00");
    QTest::newRow("double space adds 00") << "AA  bb" << QByteArray::fromHex("aa00bb");
    QTest::newRow("leading space adds 00") << " 01" << QByteArray::fromHex("0001");
    QTest::newRow("0x prefix") << "0x1f" << QByteArray::fromHex("1f");
    QTest::newRow("not hex") << "zz" << QByteArray::fromHex("00");
    QTest::newRow("low 8 bits of 1ff") << "1ff" << QByteArray::fromHex("ff");
    QTest::newRow("minus one") << "-1" << QByteArray::fromHex("ff");
    QTest::newRow("0x100") << "100" << QByteArray::fromHex("00");
    QTest::newRow("too big for 32 bits") << "1ffffffff" << QByteArray::fromHex("00");
    QTest::newRow("tab is surrounding white space") << "\t7f" << QByteArray::fromHex("7f");
}

void CodecTest::fromHex()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(fromHexText(text).toHex(' '), bytes.toHex(' '));
}

void CodecTest::nativeSum_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<quint8>("sum");
    QTest::newRow("all zero data") << QByteArray::fromHex("aaa6000000000000000000000000000000ffab")
                                   << quint8(0x00);
    QTest::newRow("sleep frame data, wraps")
        << QByteArray::fromHex("aab406010000000000000000000000ffff00ab") << quint8(0x05);
    QTest::newRow("header, command and tail excluded")
        << QByteArray::fromHex("ffff01000000000000000000000000000000ffff") << quint8(0x01);
}

void CodecTest::nativeSum()
{
    QFETCH(QByteArray, frame);
    QFETCH(quint8, sum);
    QCOMPARE(nativeChecksum(frame), sum);
}

QTEST_APPLESS_MAIN(CodecTest)
#include "tst_codec.moc"
