#include "replies/baudprobe.h"
#include "replies/classify.h"
#include "replies/decoders.h"

#include <QtTest>

Q_DECLARE_METATYPE(ReplyKind)

// Classification and decoders over the 60-byte receive buffer.
class DecodersTest : public QObject
{
    Q_OBJECT

private slots:
    void classification_data();
    void classification();
    void bufferKeepsSixtyBytes();
    void nativeReplies_data();
    void nativeReplies();
    void writeEchoes_data();
    void writeEchoes();
    void measurementLine_data();
    void measurementLine();
    void byteValues();
    void workMode_data();
    void workMode();
    void masks();
    void weightsAndTransRead();
    void probeAcceptance_data();
    void probeAcceptance();
    void probeSchedule();
};

static RxBuffer rx(const char *hexText)
{
    return RxBuffer::fromRead(QByteArray::fromHex(hexText));
}

static QByteArray nativeFrame(const char *command, const char *data15)
{
    QByteArray frame = QByteArray::fromHex("aa") + QByteArray::fromHex(command) +
                       QByteArray::fromHex(data15);
    quint8 sum = 0;
    for (int i = 2; i < 17; ++i)
        sum = quint8(sum + quint8(frame[i]));
    return frame + char(sum) + QByteArray::fromHex("ab");
}

void DecodersTest::classification_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<ReplyKind>("kind");
    QTest::addColumn<int>("nativeFrames");
    const QByteArray a6 = nativeFrame("a6", "000000000000120000000000000000");
    QTest::newRow("nothing") << QByteArray() << ReplyKind::Unmatched << 0;
    QTest::newRow("3-byte function 3") << QByteArray::fromHex("010302") << ReplyKind::FunctionThree << 0;
    QTest::newRow("one native frame") << a6 << ReplyKind::NativeFrames << 1;
    QTest::newRow("two native frames") << a6 + a6 << ReplyKind::NativeFrames << 2;
    QTest::newRow("native then garbage") << a6 + QByteArray(19, '\x03') << ReplyKind::NativeFrames << 1;
    QByteArray notNative = QByteArray(38, '\0');
    notNative[1] = 3;
    QTest::newRow("38 bytes, not native, B1=3") << notNative << ReplyKind::FunctionThree << 0;
    QByteArray nativeWithBadTail = a6;
    nativeWithBadTail[18] = 0;
    QTest::newRow("19 bytes, bad tail") << nativeWithBadTail << ReplyKind::Unmatched << 0;
    QTest::newRow("write echo") << QByteArray::fromHex("000600b10003983d") << ReplyKind::WriteEcho << 0;
    QTest::newRow("unknown echo still rule c")
        << QByteArray::fromHex("000300b10003983d").replace(1, 1, "\x06") << ReplyKind::WriteEcho << 0;
    QTest::newRow("9 bytes B1=6") << QByteArray::fromHex("000600b10003983d00") << ReplyKind::Unmatched << 0;
    QByteArray longRead(61, '\0');
    longRead[1] = 3;
    QTest::newRow("61 bytes B1=3") << longRead << ReplyKind::FunctionThree << 0;
    QTest::newRow("foreign bytes") << QByteArray::fromHex("1234") << ReplyKind::Unmatched << 0;
}

void DecodersTest::classification()
{
    QFETCH(QByteArray, read);
    QFETCH(ReplyKind, kind);
    QFETCH(int, nativeFrames);
    const Classification c = classify(RxBuffer::fromRead(read));
    QCOMPARE(c.kind, kind);
    QCOMPARE(c.nativeFrameCount, nativeFrames);
}

void DecodersTest::bufferKeepsSixtyBytes()
{
    QByteArray read(100, '\x7f');
    read[59] = 1;
    read[60] = 2;
    const RxBuffer b = RxBuffer::fromRead(read);
    QCOMPARE(b.length, 100);
    QCOMPARE(b[59], quint8(1));
    QCOMPARE(b[60], quint8(0));
    QCOMPARE(b[-1], quint8(0));
    QVERIFY(!isLogged(3));
    QVERIFY(isLogged(4));
}

void DecodersTest::nativeReplies_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("reply");
    QTest::addColumn<QString>("text");
    QTest::newRow("device id 12ab-0c3d")
        << nativeFrame("a6", "00000000000012ab0c3d0000000000") << int(decode::NativeReply::DeviceId)
        << "12ab-0c3d";
    QTest::newRow("device id 0000-0001")
        << nativeFrame("a6", "000000000000000000010000000000") << int(decode::NativeReply::DeviceId)
        << "0000-0001";
    QTest::newRow("firmware 17-7-11")
        << nativeFrame("b5", "0000000000000011070b0000000000") << int(decode::NativeReply::Firmware)
        << "17-7-11";
    QTest::newRow("firmware signed bytes")
        << nativeFrame("b5", "0000000000000080007f0000000000") << int(decode::NativeReply::Firmware)
        << "-128-0-127";
    QTest::newRow("wrong checksum used anyway")
        << nativeFrame("b5", "000000000000000102030000000000").replace(17, 1, "\x55")
        << int(decode::NativeReply::Firmware) << "1-2-3";
    QTest::newRow("unknown command") << nativeFrame("a7", "000000000000000102030000000000")
                                     << int(decode::NativeReply::Other) << "";
}

void DecodersTest::nativeReplies()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, reply);
    QFETCH(QString, text);
    QCOMPARE(frame.size(), 19);
    // The same frame decodes alike at position 0 and behind another frame at position 19.
    for (const QByteArray &read : {frame, nativeFrame("00", "000000000000000000000000000000") + frame}) {
        const decode::NativeFrameContent content =
            decode::nativeFrame(RxBuffer::fromRead(read), read.size() - 19);
        QCOMPARE(int(content.reply), reply);
        QCOMPARE(content.text, text);
    }
}

void DecodersTest::writeEchoes_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QString>("message");
    QTest::newRow("to Modbus") << QByteArray::fromHex("000600b10003983d") << "Device change to MODBUS!";
    QTest::newRow("to native") << QByteArray::fromHex("000600b10000d83c") << "Device change to Orvel!";
    QTest::newRow("factory reset") << QByteArray::fromHex("000600a5000159f8")
                                   << "Device change to FactoryConfig!";
    QTest::newRow("bytes 0, 2, 4 corrupted") << QByteArray::fromHex("550677b19903983d")
                                             << "Device change to MODBUS!";
    QTest::newRow("address 1: other CRC") << QByteArray::fromHex("010600b1000399ec") << "";
    QTest::newRow("value 5") << QByteArray::fromHex("000600b10005983d") << "";
    QTest::newRow("with other bytes") << QByteArray::fromHex("000600b10003983d00") << "";
    QTest::newRow("reset with wrong value") << QByteArray::fromHex("000600a5000259f8") << "";
}

void DecodersTest::writeEchoes()
{
    QFETCH(QByteArray, read);
    QFETCH(QString, message);
    const auto echo = decode::writeEcho(RxBuffer::fromRead(read));
    QCOMPARE(echo.has_value(), !message.isEmpty());
    if (echo)
        QCOMPARE(QString::fromLatin1(decode::writeEchoMessage(*echo)), message);
}

void DecodersTest::measurementLine_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<int>("object");
    QTest::addColumn<QString>("line");
    const QByteArray reply = QByteArray::fromHex("000308007b01c80315000000");
    QTest::newRow("average") << reply << 0 << "All Sensor: PM2.5 = 12.3  PM10 = 45.6  PM100 = 789";
    QTest::newRow("unit 2") << reply << 2 << "Sensor 2:  PM2.5 = 12.3  PM10 = 45.6  PM100 = 789";
    QTest::newRow("maximum") << QByteArray::fromHex("000308ffffffffffff0000") << 0
                             << "All Sensor: PM2.5 = 6553.5  PM10 = 6553.5  PM100 = 65535";
    QTest::newRow("whole number, no .0") << QByteArray::fromHex("0003080078000500000000") << 4
                                         << "Sensor 4:  PM2.5 = 12  PM10 = 0.5  PM100 = 0";
    QTest::newRow("short read") << QByteArray::fromHex("000308007b") << 0
                                << "All Sensor: PM2.5 = 12.3  PM10 = 0  PM100 = 0";
}

void DecodersTest::measurementLine()
{
    QFETCH(QByteArray, read);
    QFETCH(int, object);
    QFETCH(QString, line);
    QCOMPARE(decode::measurementLine(decode::measurement(RxBuffer::fromRead(read)), quint8(object)),
             line);
}

void DecodersTest::byteValues()
{
    const RxBuffer thresholds = rx("000302" "28f6");
    QCOMPARE(decode::heatTemp(thresholds).high, 40);
    QCOMPARE(decode::heatTemp(thresholds).low, -10);
    QCOMPARE(decode::heatHumi(thresholds).high, 40);
    QCOMPARE(decode::heatHumi(thresholds).low, 246);
    QCOMPARE(decode::tempHumi(rx("000302fb37")).high, -5);
    QCOMPARE(decode::tempHumi(rx("000302fb37")).low, 55);
    QCOMPARE(decode::tempHumi(rx("000302")).high, 0);
    QCOMPARE(decode::tempHumi(rx("000302")).low, 0);
    QCOMPARE(decode::autoCleanDust(rx("0003023c18")).high, 60);
    QCOMPARE(decode::autoCleanDust(rx("0003023c18")).low, 24);
    QCOMPARE(decode::calibration(rx("00030400050064")).zeroOffset, -5);
    QCOMPARE(decode::calibration(rx("00030400050064")).factor, 100);
    QCOMPARE(decode::calibration(rx("00030401050064")).zeroOffset, 5);
    QCOMPARE(decode::calibration(rx("00030400000064")).zeroOffset, 0);
    QCOMPARE(decode::deviceAddressText(rx("000302000a")), QString("a"));
    QCOMPARE(decode::deviceAddressText(rx("000302ffff")), QString("ff"));
    QCOMPARE(decode::heatModeAutomatic(rx("0003020100")), std::optional<bool>(true));
    QCOMPARE(decode::heatModeAutomatic(rx("0003020001")), std::optional<bool>(false));
    QVERIFY(!decode::heatModeAutomatic(rx("0003020200")).has_value());
}

void DecodersTest::workMode_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("units");
    QTest::newRow("manual, units 1 and 3") << QByteArray::fromHex("0003020305") << 3 << "1010";
    QTest::newRow("automatic all") << QByteArray::fromHex("000302010f") << 1 << "1111";
    QTest::newRow("automatic single") << QByteArray::fromHex("0003020208") << 2 << "0001";
    QTest::newRow("mode 4 changes nothing") << QByteArray::fromHex("000302040f") << 0 << "";
    QTest::newRow("mode 0 changes nothing") << QByteArray::fromHex("000302000f") << 0 << "";
}

void DecodersTest::workMode()
{
    QFETCH(QByteArray, read);
    QFETCH(int, mode);
    QFETCH(QString, units);
    const auto decoded = decode::workMode(RxBuffer::fromRead(read));
    QCOMPARE(decoded.has_value(), mode != 0);
    if (!decoded)
        return;
    QCOMPARE(decoded->mode, mode);
    QString bits;
    for (bool unit : decoded->units)
        bits += unit ? '1' : '0';
    QCOMPARE(bits, units);
}

void DecodersTest::masks()
{
    using Units = std::array<bool, 4>;
    QCOMPARE(decode::selfCheckFailed(rx("000302000f")), (Units{false, false, false, false}));
    QCOMPARE(decode::selfCheckFailed(rx("0003020000")), (Units{true, true, true, true}));
    QCOMPARE(decode::selfCheckFailed(rx("000302000e")), (Units{true, false, false, false}));
    QCOMPARE(decode::globalOn(rx("0003020005")), (Units{true, false, true, false}));
    QCOMPARE(decode::globalOn(rx("00030200f0")), (Units{false, false, false, false}));
}

void DecodersTest::weightsAndTransRead()
{
    QCOMPARE(decode::weights(rx("0003080a141e2801020304")),
             (std::array<int, 8>{10, 20, 30, 40, 1, 2, 3, 4}));
    QCOMPARE(decode::passThroughReadText(rx("000300")), QString());
    QCOMPARE(decode::passThroughReadText(rx("000302abcd")), QString("ab cd "));

    QByteArray full = QByteArray::fromHex("000326");
    for (int i = 0; i < 38; ++i)
        full.append(char(i));
    QString expected;
    for (int i = 0; i < 38; ++i)
        expected += QString("%1 ").arg(i, 2, 16, QChar('0'));
    QCOMPARE(decode::passThroughReadText(RxBuffer::fromRead(full)), expected);

    // A byte count past the buffer shows what the 60 bytes hold.
    const QString cut = decode::passThroughReadText(rx("0003ff"));
    QCOMPARE(cut.size(), 57 * 3);
}

void DecodersTest::probeAcceptance_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("address 1 answers") << QByteArray::fromHex("01030200017984") << true;
    QTest::newRow("register value differs") << QByteArray::fromHex("0103020002") << false;
    QTest::newRow("two registers") << QByteArray::fromHex("0103040001") << false;
    QTest::newRow("address 0, nothing else") << QByteArray::fromHex("000302") << true;
}

void DecodersTest::probeAcceptance()
{
    QFETCH(QByteArray, read);
    QFETCH(bool, accepted);
    QCOMPARE(baudprobe::acceptsReply(RxBuffer::fromRead(read)), accepted);
}

void DecodersTest::probeSchedule()
{
    // First search after start: 19200 for one tick, then three ticks each, then back to 9600.
    quint8 state = 1;
    quint32 ticks = 0;
    QList<qint32> retunes;
    QList<int> statesAfterTicks;
    for (int tick = 0; tick < 20 && state != 0; ++tick) {
        const baudprobe::TickStep step = baudprobe::endOfTick(state, ticks);
        state = step.newState;
        ticks = step.newTicks;
        if (step.retuneTo)
            retunes << *step.retuneTo;
        statesAfterTicks << state;
    }
    QCOMPARE(retunes, (QList<qint32>{9600, 4800, 2400, 9600}));
    QCOMPARE(statesAfterTicks, (QList<int>{2, 2, 2, 3, 3, 3, 4, 4, 4, 0}));
    QCOMPARE(ticks, quint32(10));

    // The counter is never reset: a second search leaves 19200 when ticks reaches 13.
    const baudprobe::TickStep idle = baudprobe::endOfTick(0, ticks);
    QCOMPARE(idle.newTicks, ticks);
    QVERIFY(!baudprobe::endOfTick(1, 10).retuneTo.has_value());
    QVERIFY(!baudprobe::endOfTick(1, 11).retuneTo.has_value());
    QCOMPARE(baudprobe::endOfTick(1, 12).retuneTo, std::optional<qint32>(9600));
    QCOMPARE(QString(baudprobe::messageOfState(3)), QString("Baudrate is 4800 !"));
}

QTEST_APPLESS_MAIN(DecodersTest)
#include "tst_decoders.moc"
