#include "faultplan.h"
#include "requestframer.h"
#include "sensorline.h"
#include "sensormodel.h"
#include "simulatorprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int answerTimeoutMs = 1500;
constexpr int silenceTimeoutMs = 400; // far beyond any reply at 4800 baud

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Bytes in, answers out, as the line delivers them: framed, then served one by one.
QByteArray answer(SensorModel &model, const QByteArray &bytes, Exchange *last = nullptr)
{
    RequestFramer framer;
    framer.append(bytes);
    QByteArray replies;
    const auto serve = [&](const Request &request) {
        const Exchange exchange = model.handle(request);
        replies += exchange.reply;
        if (last)
            *last = exchange;
    };
    while (std::optional<Request> request = framer.next())
        serve(*request);
    for (const Request &request : framer.flush())
        serve(request);
    return replies;
}

// The tool's side of the pseudo-terminal, opened as a serial port would be.
class Terminal
{
public:
    ~Terminal()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool open(const QString &path, speed_t speed)
    {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd_ >= 0 && setSpeed(speed);
    }

    bool setSpeed(speed_t speed)
    {
        termios settings{};
        if (tcgetattr(fd_, &settings) != 0)
            return false;
        cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
        return tcsetattr(fd_, TCSANOW, &settings) == 0;
    }

    // Raw, at speed, with extra control and input flags such as CSTOPB, PARODD or INPCK.
    bool setLine(speed_t speed, tcflag_t controlFlags, tcflag_t inputFlags)
    {
        termios settings{};
        if (!setSpeed(speed) || tcgetattr(fd_, &settings) != 0)
            return false;
        settings.c_cflag &= ~(CSTOPB | PARENB | PARODD | CMSPAR);
        settings.c_iflag &= ~INPCK;
        settings.c_cflag |= controlFlags;
        settings.c_iflag |= inputFlags;
        return tcsetattr(fd_, TCSANOW, &settings) == 0;
    }

    bool send(const QByteArray &bytes)
    {
        return ::write(fd_, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Whatever arrives until size bytes are in or the time is up.
    QByteArray receive(int size, int timeoutMs)
    {
        QByteArray bytes;
        QDeadlineTimer deadline(timeoutMs);
        while (bytes.size() < size && !deadline.hasExpired()) {
            pollfd request{fd_, POLLIN, 0};
            if (poll(&request, 1, int(deadline.remainingTime())) <= 0)
                break;
            char chunk[64];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0)
                break;
            bytes.append(chunk, int(n));
        }
        return bytes;
    }

    // The simulator's end went away: a hang-up, or a read that fails or finds the end.
    bool waitForHangUp(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            pollfd request{fd_, POLLIN, 0};
            if (poll(&request, 1, int(deadline.remainingTime())) <= 0)
                return false;
            if (request.revents & POLLHUP)
                return true;
            char byte;
            const ssize_t n = ::read(fd_, &byte, 1);
            if (n == 0 || (n < 0 && errno != EAGAIN))
                return true;
        }
        return false;
    }

private:
    int fd_ = -1;
};

const QByteArray addressQuery = hex("00030000000185db");
const QByteArray addressReply = hex("01030200017984");

} // namespace

class SimulatorTest : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void writeThenRead_data();
    void writeThenRead();
    void answers_data();
    void answers();
    void measurements_data();
    void measurements();
    void nativeProtocol_data();
    void nativeProtocol();
    void factoryReset_data();
    void factoryReset();
    void factoryResetKeepsReadingsAndDefersRate();
    void lineRateChangesAfterTheAnswer_data();
    void lineRateChangesAfterTheAnswer();
    void randomWalkIsRepeatable();
    void replyFaults_data();
    void replyFaults();

    void answersOverPseudoTerminal();
    void noAnswerAtAnotherRate();
    void rateWriteTakesEffectAfterEcho();
    void dropsEverySecondReply();
    void splitsReplyIntoTwoWrites();
    void vanishesAfterRequests();
    void refusesBadOption();

    void collisions_data();
    void collisions();
    void collisionsNeverPassForAFrame();
    void unitNoiseIsSeededAndSpread();
    void lineSettingsGate_data();
    void lineSettingsGate();
    void fourSensorsOnOneLine();
    void requestLogShowsEveryRequest();
    void returnsAfterVanishing();
    void refusesBadSensorOptions_data();
    void refusesBadSensorOptions();
};

void SimulatorTest::framing_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArrayList>("framed");
    QTest::addColumn<QByteArrayList>("framedWhenQuiet");

    const QByteArray nativeQuery = hex("aaa6000000000000000000000000000000"
                                       "00ab");
    const QByteArray passThrough = hex("00100111000a0201023a34");
    const QByteArray tempQuery = hex("000300a80001043b");
    QTest::newRow("read") << addressQuery << QByteArrayList{addressQuery} << QByteArrayList{};
    QTest::newRow("write multiple, length from byte count")
        << passThrough << QByteArrayList{passThrough} << QByteArrayList{};
    QTest::newRow("native frame") << nativeQuery << QByteArrayList{nativeQuery} << QByteArrayList{};
    QTest::newRow("two requests back to back")
        << passThrough + addressQuery << QByteArrayList{passThrough, addressQuery}
        << QByteArrayList{};
    QTest::newRow("garbage before a request")
        << hex("ff12") + addressQuery << QByteArrayList{addressQuery} << QByteArrayList{};
    QTest::newRow("bad CRC dropped, next request found")
        << hex("00030000000185dc") + tempQuery << QByteArrayList{tempQuery} << QByteArrayList{};
    QTest::newRow("incomplete request dropped when quiet")
        << hex("00030000") << QByteArrayList{} << QByteArrayList{};
    QTest::newRow("long byte count hides a request until quiet")
        << hex("011000000001ff") + addressQuery << QByteArrayList{} << QByteArrayList{addressQuery};
    QTest::newRow("native header delays a request until quiet")
        << hex("aa") + addressQuery << QByteArrayList{} << QByteArrayList{addressQuery};
    const QByteArray mei = hex("012b0e01007077");
    QTest::newRow("read input registers, length of function 4")
        << hex("010400000001") + hex("31ca") << QByteArrayList{hex("01040000000131ca")}
        << QByteArrayList{};
    QTest::newRow("unknown length: all of it, once its CRC holds")
        << hex("ff") + mei << QByteArrayList{mei} << QByteArrayList{};
    QTest::newRow("unknown length, incomplete: dropped when quiet")
        << mei.left(5) << QByteArrayList{} << QByteArrayList{};
    QTest::newRow("unknown function before a request is garbage")
        << hex("0141") + addressQuery << QByteArrayList{addressQuery} << QByteArrayList{};
    QTest::newRow("native frame with wrong checksum") << hex("aaa6000000000000000000000000000000"
                                                             "01ab")
                                                      << QByteArrayList{} << QByteArrayList{};
}

void SimulatorTest::framing()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArrayList, framed);
    QFETCH(QByteArrayList, framedWhenQuiet);

    RequestFramer framer;
    framer.append(stream);
    QByteArrayList found;
    while (std::optional<Request> request = framer.next())
        found.append(request->bytes);
    QCOMPARE(found, framed);
    found.clear();
    for (const Request &request : framer.flush())
        found.append(request.bytes);
    QCOMPARE(found, framedWhenQuiet);
    QCOMPARE(framer.pendingBytes(), 0);
}

void SimulatorTest::writeThenRead_data()
{
    QTest::addColumn<QByteArray>("write");
    QTest::addColumn<QByteArray>("writeReply");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArray>("readReply");

    // A function-6 write is answered with its exact echo.
    const auto echoed = [](const char *name, const char *write, const char *read,
                           const char *readReply) {
        QTest::newRow(name) << hex(write) << hex(write) << hex(read) << hex(readReply);
    };
    QTest::newRow("device address 0x0a, answered from it")
        << hex("00060000000a081c") << hex("00060000000a081c") << addressQuery
        << hex("0a0302000a9d82");
    echoed("asleep", "000600a2000029f9", "000300a200012439", "0103020000b844");
    echoed("manual work, units 1 and 3", "000600a60305a8cb", "000300a6000165f8", "010302030578b7");
    echoed("manual cleaning 20", "000600a900145834", "000300a9000155fb", "0103020014b84b");
    echoed("auto cleaning 60 s every 24 h", "000600aa3c18b931", "000300aa0001a5fb",
           "0103023c18a94e");
    echoed("manual heating on", "000600ab0001383b", "000300ab0001f43b", "01030200017984");
    echoed("heating at 40 / -10 degC", "000600ac28f6d67c", "000300ac000145fa", "01030228f62602");
    echoed("heating at 90 / 40 %", "000600ad5a282344", "000300ad0001143a", "0103025a2882fa");
    echoed("units 2 and 4 on", "000600ae000a69fd", "000300ae0001e43a", "010302000a3843");
    QTest::newRow("calibration unit 2 PM10 -5 x100")
        << hex("001002c50002040005006433b6") << hex("011002c50002504d") << hex("000302c50002d45f")
        << hex("01030400050064ebd9");
    QTest::newRow("calibration average PM2.5 +5 x100")
        << hex("001000c300020401050064ab00") << hex("011000c30002b1f4") << hex("000300c3000235e6")
        << hex("01030401050064ea25");
    QTest::newRow("calibration unit 4 PM100 +44 x0")
        << hex("001004c7000204012c00004810") << hex("011004c70002f105") << hex("000304c700027517")
        << hex("010304012c00003a06");
    QTest::newRow("calibration of another range untouched")
        << hex("001002c50002040005006433b6") << hex("011002c50002504d") << hex("000302c30002345e")
        << hex("01030400000064fbd8");
    QTest::newRow("pass-through target 1, padded to 38 bytes")
        << hex("00100111000a0201023a34") << hex("01100111000a11f7") << hex("000301110013542f")
        << hex("0103260102") + QByteArray(36, '\0') + hex("5af9");
    QTest::newRow("pass-through of the native sleep frame")
        << hex("00100111000a14aab406010000000000000000000000ffff05ab002755")
        << hex("01100111000a11f7") << hex("000301110013542f")
        << hex("010326"
               "aab40601"
               "0000000000000000000000"
               "ffff05ab"
               "00") +
               QByteArray(18, '\0') + hex("2118");
    QTest::newRow("pass-through target 2 untouched")
        << hex("00100111000a0201023a34") << hex("01100111000a11f7") << hex("000302110013546b")
        << hex("010326") + QByteArray(38, '\0') + hex("f050");
}

void SimulatorTest::writeThenRead()
{
    QFETCH(QByteArray, write);
    QFETCH(QByteArray, writeReply);
    QFETCH(QByteArray, read);
    QFETCH(QByteArray, readReply);

    SensorModel model;
    QCOMPARE(answer(model, write).toHex(' '), writeReply.toHex(' '));
    QCOMPARE(answer(model, read).toHex(' '), readReply.toHex(' '));
}

void SimulatorTest::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("bad CRC: no answer") << hex("00030000000185dc") << QByteArray();
    QTest::newRow("other unit: no answer") << hex("0203000000018439") << QByteArray();
    QTest::newRow("own unit address") << hex("010300000001840a") << addressReply;
    QTest::newRow("garbage, then a request") << hex("ff12") + addressQuery << addressReply;
    QTest::newRow("two requests, two answers")
        << addressQuery + hex("000300a700013438") << addressReply + hex("010302000ff840");
    QTest::newRow("native frame while Modbus is selected")
        << hex("aaa6000000000000000000000000000000"
               "00ab")
        << QByteArray();
    QTest::newRow("temperature 25, humidity 45")
        << hex("000300a80001043b") << hex("010302192d73c9");
    QTest::newRow("weights") << hex("000300c9000495e6") << hex("010308323c465005060708c688");
    QTest::newRow("unknown register") << hex("00030050000185ca") << hex("018302c0f1");
    QTest::newRow("read running into an unknown register")
        << hex("000300ae0002a43b") << hex("018302c0f1");
    QTest::newRow("write to read-only temperature") << hex("000600a8000009fb") << hex("018602c3a1");
    QTest::newRow("unknown rate code") << hex("000600cd0005d9e7") << hex("0186030261");
    QTest::newRow("work mode 4") << hex("000600a604006af8") << hex("0186030261");
    QTest::newRow("address 0") << hex("000600000000881b") << hex("0186030261");
    QTest::newRow("calibration sign 2") << hex("001000c300020402050064ab44") << hex("0190030c01");
    // A conformant slave: unsupported functions get exception 01, ranges past 0xffff 02.
    QTest::newRow("function 4 to unit 1: exception 01")
        << hex("01040000000131ca") << hex("01840182c0");
    QTest::newRow("function 7, four bytes") << hex("00074072") << hex("0187018230");
    QTest::newRow("function 15, by its byte count")
        << hex("000f000000080101fe99") << hex("018f0185f0");
    QTest::newRow("function 23, by its byte count")
        << hex("0017000000010000000102000ad628") << hex("0197018ff0");
    QTest::newRow("function 43, by its CRC") << hex("002b0e01004db7") << hex("01ab019ef0");
    QTest::newRow("function 4 to another unit: no answer")
        << hex("02040000000131f9") << QByteArray();
    QTest::newRow("function 4 with a bad CRC: no answer")
        << hex("01040000000131cb") << QByteArray();
    QTest::newRow("read past 0xffff: exception 02") << hex("0003ffff0002c5fe") << hex("018302c0f1");
    QTest::newRow("write past 0xffff: exception 02")
        << hex("0010ffff000204000100022da2") << hex("019002cdc1");
}

void SimulatorTest::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);

    SensorModel model;
    QCOMPARE(answer(model, request).toHex(' '), reply.toHex(' '));
}

void SimulatorTest::measurements_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray averageQuery = hex("000300b4000405fe");
    const QByteArray unit1Query = hex("000301b400040402");
    const QByteArray zeros = hex("010308000000000000000095d7");
    const QByteArray unit1Off = hex("000600ae000e683e");
    QTest::newRow("average 12.3 / 45.6 / 790")
        << QByteArray() << averageQuery << hex("010308007b01c8031600005f51");
    QTest::newRow("unit 1") << QByteArray() << unit1Query << hex("010308007801c2031500000450");
    QTest::newRow("unit 4") << QByteArray() << hex("000304b4000404ce")
                            << hex("010308007f01d203210000f29d");
    QTest::newRow("PM2.5 of unit 2 alone")
        << QByteArray() << hex("000302b40001c445") << hex("0103020087f826");
    QTest::newRow("fourth register")
        << QByteArray() << hex("000300b7000135fd") << hex("0103020000b844");
    QTest::newRow("unit 1 off reads 0") << unit1Off << unit1Query << zeros;
    QTest::newRow("average of the units still on")
        << unit1Off << averageQuery << hex("010308007c01ca031700000191");
    QTest::newRow("all units off") << hex("000600ae0000e9fa") << averageQuery << zeros;
    QTest::newRow("asleep") << hex("000600a2000029f9") << unit1Query << zeros;
    QTest::newRow("woken again") << hex("000600a2000029f9000600a20001e839") << averageQuery
                                 << hex("010308007b01c8031600005f51");
}

void SimulatorTest::measurements()
{
    QFETCH(QByteArray, setup);
    QFETCH(QByteArray, read);
    QFETCH(QByteArray, reply);

    SensorModel model;
    answer(model, setup);
    QCOMPARE(answer(model, read).toHex(' '), reply.toHex(' '));
}

void SimulatorTest::nativeProtocol_data()
{
    QTest::addColumn<QByteArray>("requests");
    QTest::addColumn<QByteArray>("replies");

    const QByteArray infoQuery = hex("aaa6000000000000000000000000000000"
                                     "00ab");
    const QByteArray toModbus = hex("000600b10003983d");
    QTest::newRow("device information") << infoQuery
                                        << hex("aaa6000000000000202401070000000000"
                                               "4cab");
    QTest::newRow("firmware 17-7-11") << hex("aab5000000000000000000000000000000"
                                             "00ab")
                                      << hex("aab5"
                                             "00000000000000"
                                             "11070b"
                                             "0000000000"
                                             "23ab");
    QTest::newRow("device number set, then reported") << hex("aaa7000000000000"
                                                             "12ab0c3d"
                                                             "0000000000"
                                                             "06ab") +
                                                             infoQuery
                                                      << hex("aaa6000000000000"
                                                             "12ab0c3d"
                                                             "0000000000"
                                                             "06ab");
    QTest::newRow("Modbus read ignored") << addressQuery << QByteArray();
    QTest::newRow("Modbus write ignored") << hex("000600ae0003a9fb") << QByteArray();
    QTest::newRow("wrong checksum ignored") << hex("aaa6000000000000000000000000000000"
                                                   "01ab")
                                            << QByteArray();
    QTest::newRow("unknown command ignored") << hex("aa01000000000000000000000000000000"
                                                    "00ab")
                                             << QByteArray();
    QTest::newRow("back to Modbus") << toModbus + addressQuery << toModbus + addressReply;
    QTest::newRow("native sleep, measured 0 in Modbus")
        << hex("aab40601"
               "0000000000000000000000"
               "ffff05ab") +
               toModbus + hex("000300b4000405fe")
        << toModbus + hex("010308000000000000000095d7");
}

void SimulatorTest::nativeProtocol()
{
    QFETCH(QByteArray, requests);
    QFETCH(QByteArray, replies);

    SensorModel model;
    const QByteArray toNative = hex("000600b10000d83c");
    QCOMPARE(answer(model, toNative).toHex(' '), toNative.toHex(' '));
    QCOMPARE(answer(model, requests).toHex(' '), replies.toHex(' '));
}

void SimulatorTest::factoryReset_data()
{
    QTest::addColumn<QByteArray>("change");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArray>("factoryReply");

    QTest::newRow("address") << hex("00060000000a081c") << addressQuery << addressReply;
    QTest::newRow("heating temperature thresholds")
        << hex("000600ac28f6d67c") << hex("000300ac000145fa") << hex("0103021efbf067");
    QTest::newRow("global on/off")
        << hex("000600ae0003a9fb") << hex("000300ae0001e43a") << hex("010302000ff840");
    QTest::newRow("calibration") << hex("001002c50002040005006433b6") << hex("000302c50002d45f")
                                 << hex("01030400000064fbd8");
    QTest::newRow("sleep") << hex("000600a2000029f9") << hex("000300b4000405fe")
                           << hex("010308007b01c8031600005f51");
}

void SimulatorTest::factoryReset()
{
    QFETCH(QByteArray, change);
    QFETCH(QByteArray, read);
    QFETCH(QByteArray, factoryReply);

    SensorModel model;
    const QByteArray reset = hex("000600a5000159f8");
    QVERIFY(!answer(model, change).isEmpty());
    QVERIFY(answer(model, read) != factoryReply);
    QCOMPARE(answer(model, reset).toHex(' '), reset.toHex(' '));
    QCOMPARE(answer(model, read).toHex(' '), factoryReply.toHex(' '));
}

void SimulatorTest::factoryResetKeepsReadingsAndDefersRate()
{
    SensorSettings settings;
    settings.lineRate = 19200;
    SensorReadings readings;
    readings.temperature = -5;
    readings.humidity = 55;
    SensorModel model(settings, readings);

    Exchange exchange;
    QCOMPARE(answer(model, hex("000600a5000159f8"), &exchange).toHex(),
             QByteArray("000600a5000159f8"));
    QCOMPARE(model.lineRate(), 19200);
    QCOMPARE(exchange.lineRateAfterReply, 9600);
    QCOMPARE(answer(model, hex("000300a80001043b")).toHex(' '), hex("010302fb37baa2").toHex(' '));
}

void SimulatorTest::lineRateChangesAfterTheAnswer_data()
{
    QTest::addColumn<QByteArray>("write");
    QTest::addColumn<qint32>("rate");
    QTest::addColumn<QByteArray>("codeReply");

    QTest::newRow("4800") << hex("000600cd00029825") << 4800 << hex("01030200023985");
    QTest::newRow("19200") << hex("000600cd00041827") << 19200 << hex("0103020004b987");
    QTest::newRow("9600") << hex("000600cd000359e5") << 9600 << hex("0103020003f845");
}

void SimulatorTest::lineRateChangesAfterTheAnswer()
{
    QFETCH(QByteArray, write);
    QFETCH(qint32, rate);
    QFETCH(QByteArray, codeReply);

    SensorModel model;
    Exchange exchange;
    QCOMPARE(answer(model, write, &exchange).toHex(' '), write.toHex(' '));
    QCOMPARE(model.lineRate(), 9600);
    QCOMPARE(exchange.lineRateAfterReply, rate);
    model.setLineRate(exchange.lineRateAfterReply);
    QCOMPARE(answer(model, hex("000300cd00011424")).toHex(' '), codeReply.toHex(' '));
}

void SimulatorTest::randomWalkIsRepeatable()
{
    const QByteArray averageQuery = hex("000300b4000405fe");
    SensorModel first, again, other;
    first.enableRandomWalk(7);
    again.enableRandomWalk(7);
    other.enableRandomWalk(8);
    QByteArray firstReplies, againReplies, otherReplies;
    constexpr int reads = 5;
    for (int i = 0; i < reads; ++i) {
        firstReplies += answer(first, averageQuery);
        againReplies += answer(again, averageQuery);
        otherReplies += answer(other, averageQuery);
    }
    QCOMPARE(firstReplies.toHex(' '), againReplies.toHex(' '));
    QVERIFY(firstReplies != otherReplies);

    const Measurement start = SensorReadings().units[0];
    const Measurement now = first.readings().units[0];
    const int moved = qAbs(now.pm25Tenths - start.pm25Tenths) +
                      qAbs(now.pm10Tenths - start.pm10Tenths) + qAbs(now.pm100 - start.pm100);
    QVERIFY(moved > 0);
    QVERIFY(qAbs(now.pm25Tenths - start.pm25Tenths) <= 5 * reads);
}

void SimulatorTest::replyFaults_data()
{
    QTest::addColumn<int>("corruptEvery");
    QTest::addColumn<int>("noiseEvery");
    QTest::addColumn<int>("splitEvery");
    QTest::addColumn<int>("replyNumber");
    QTest::addColumn<QByteArray>("firstPart");
    QTest::addColumn<QByteArray>("secondPart");

    QTest::newRow("middle byte flipped")
        << 2 << 0 << 0 << 4 << hex("010302ff017984") << QByteArray();
    QTest::newRow("not this reply") << 2 << 0 << 0 << 3 << addressReply << QByteArray();
    QTest::newRow("noise after the reply")
        << 0 << 3 << 0 << 3 << hex("01030200017984ff") << QByteArray();
    QTest::newRow("split in halves") << 0 << 0 << 1 << 1 << hex("010302") << hex("00017984");
    QTest::newRow("noise split with the reply")
        << 0 << 1 << 1 << 1 << hex("01030200") << hex("017984ff");
}

void SimulatorTest::replyFaults()
{
    QFETCH(int, corruptEvery);
    QFETCH(int, noiseEvery);
    QFETCH(int, splitEvery);
    QFETCH(int, replyNumber);
    QFETCH(QByteArray, firstPart);
    QFETCH(QByteArray, secondPart);

    FaultPlan plan;
    plan.corruptEvery = corruptEvery;
    plan.noiseEvery = noiseEvery;
    plan.splitEvery = splitEvery;
    const ShapedReply shaped = shapeReply(plan, replyNumber, addressReply);
    QVERIFY(!shaped.dropped);
    QCOMPARE(shaped.firstPart.toHex(' '), firstPart.toHex(' '));
    QCOMPARE(shaped.secondPart.toHex(' '), secondPart.toHex(' '));
}

void SimulatorTest::answersOverPseudoTerminal()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sensor"));
    SimulatorProcess simulator({QStringLiteral("--link"), link, QStringLiteral("--verbose")});
    QVERIFY(simulator.start());
    QCOMPARE(QFile::symLinkTarget(link), simulator.ptyPath());

    Terminal terminal;
    QVERIFY(terminal.open(link, B9600));
    QVERIFY(terminal.send(addressQuery));
    QCOMPARE(terminal.receive(addressReply.size(), answerTimeoutMs).toHex(' '),
             addressReply.toHex(' '));
    QTRY_VERIFY(simulator.log().contains("tx 01 03 02 00 01 79 84"));

    simulator.stop();
    QCOMPARE(simulator.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void SimulatorTest::noAnswerAtAnotherRate()
{
    SimulatorProcess simulator({QStringLiteral("--verbose")});
    QVERIFY(simulator.start());
    Terminal terminal;
    QVERIFY(terminal.open(simulator.ptyPath(), B4800));
    QVERIFY(terminal.send(addressQuery));
    QCOMPARE(terminal.receive(1, silenceTimeoutMs), QByteArray());
    QTRY_VERIFY(simulator.log().contains("at 4800 baud"));

    QVERIFY(terminal.setSpeed(B9600));
    QVERIFY(terminal.send(addressQuery));
    QCOMPARE(terminal.receive(addressReply.size(), answerTimeoutMs).toHex(' '),
             addressReply.toHex(' '));
}

void SimulatorTest::rateWriteTakesEffectAfterEcho()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    Terminal terminal;
    QVERIFY(terminal.open(simulator.ptyPath(), B9600));
    const QByteArray to4800 = hex("000600cd00029825");
    QVERIFY(terminal.send(to4800));
    QCOMPARE(terminal.receive(to4800.size(), answerTimeoutMs).toHex(' '), to4800.toHex(' '));

    QVERIFY(terminal.send(addressQuery));
    QCOMPARE(terminal.receive(1, silenceTimeoutMs), QByteArray());
    QVERIFY(terminal.setSpeed(B4800));
    QVERIFY(terminal.send(addressQuery));
    QCOMPARE(terminal.receive(addressReply.size(), answerTimeoutMs).toHex(' '),
             addressReply.toHex(' '));
}

void SimulatorTest::dropsEverySecondReply()
{
    SimulatorProcess simulator({QStringLiteral("--drop-every"), QStringLiteral("2")});
    QVERIFY(simulator.start());
    Terminal terminal;
    QVERIFY(terminal.open(simulator.ptyPath(), B9600));
    const QList<bool> answered = {true, false, true};
    for (const bool expected : answered) {
        QVERIFY(terminal.send(addressQuery));
        const QByteArray reply =
            terminal.receive(addressReply.size(), expected ? answerTimeoutMs : silenceTimeoutMs);
        QCOMPARE(reply.toHex(' '), expected ? addressReply.toHex(' ') : QByteArray());
    }
}

void SimulatorTest::splitsReplyIntoTwoWrites()
{
    SimulatorProcess simulator({QStringLiteral("--split-every"), QStringLiteral("1"),
                                QStringLiteral("--split-pause"), QStringLiteral("300")});
    QVERIFY(simulator.start());
    Terminal terminal;
    QVERIFY(terminal.open(simulator.ptyPath(), B9600));
    QVERIFY(terminal.send(addressQuery));
    const QByteArray firstPart = terminal.receive(1, answerTimeoutMs);
    QCOMPARE(firstPart.toHex(' '), hex("010302").toHex(' '));
    const QByteArray rest =
        terminal.receive(addressReply.size() - firstPart.size(), answerTimeoutMs);
    QCOMPARE((firstPart + rest).toHex(' '), addressReply.toHex(' '));
}

void SimulatorTest::vanishesAfterRequests()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sensor"));
    SimulatorProcess simulator(
        {QStringLiteral("--vanish-after"), QStringLiteral("1"), QStringLiteral("--link"), link});
    QVERIFY(simulator.start());
    Terminal terminal;
    QVERIFY(terminal.open(simulator.ptyPath(), B9600));
    QVERIFY(terminal.send(addressQuery));
    QCOMPARE(terminal.receive(addressReply.size(), answerTimeoutMs).toHex(' '),
             addressReply.toHex(' '));
    QVERIFY(terminal.waitForHangUp(answerTimeoutMs));
    QVERIFY(simulator.waitForExit(answerTimeoutMs));
    QCOMPARE(simulator.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void SimulatorTest::refusesBadOption()
{
    SimulatorProcess simulator({QStringLiteral("--baud"), QStringLiteral("1234")});
    QVERIFY(!simulator.start());
    QVERIFY(simulator.waitForExit(answerTimeoutMs));
    QCOMPARE(simulator.exitCode(), 2);
    QVERIFY(simulator.log().contains("--baud"));
}

void SimulatorTest::collisions_data()
{
    QTest::addColumn<QString>("sensors"); // address/rate of each
    QTest::addColumn<QString>("line");    // rate and data bits, parity, stop bits
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("onTheLine");
    QTest::addColumn<int>("answering");

    const QString two = QStringLiteral("1/9600 2/9600");
    const QString at9600 = QStringLiteral("9600 8N1");
    QTest::newRow("unit 0, units 1 and 2: answers ANDed")
        << two << at9600 << addressQuery << hex("00030200007984") << 2;
    QTest::newRow("unit 0, one address twice: CRC broken")
        << "1/9600 1/9600" << at9600 << addressQuery << hex("01030200017985") << 2;
    QTest::newRow("unit 0 write: two echoes, CRC broken")
        << two << at9600 << hex("00060000000a081c") << hex("00060000000a081d") << 2;
    QTest::newRow("unit 1 shared by two of three")
        << "1/9600 2/9600 1/9600" << at9600 << hex("010300000001840a") << hex("01030200017985")
        << 2;
    QTest::newRow("sensor 2 at another rate")
        << "1/9600 2/19200" << at9600 << addressQuery << addressReply << 1;
    QTest::newRow("rate of no sensor") << two << "4800 8N1" << addressQuery << QByteArray() << 0;
    QTest::newRow("even parity") << two << "9600 8E1" << addressQuery << QByteArray() << 0;
    QTest::newRow("7 data bits") << two << "9600 7N1" << addressQuery << QByteArray() << 0;
    QTest::newRow("2 stop bits") << two << "9600 8N2" << addressQuery << QByteArray() << 0;
}

void SimulatorTest::collisions()
{
    QFETCH(QString, sensors);
    QFETCH(QString, line);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, onTheLine);
    QFETCH(int, answering);

    std::vector<SensorModel> models;
    for (const QString &sensor : sensors.split(QLatin1Char(' '))) {
        SensorSettings settings;
        settings.address = quint8(sensor.section(QLatin1Char('/'), 0, 0).toInt());
        settings.lineRate = sensor.section(QLatin1Char('/'), 1, 1).toInt();
        models.emplace_back(settings);
    }
    SensorLine sensorLine(std::move(models));
    const QString format = line.section(QLatin1Char(' '), 1, 1);
    const LineSettings settings{line.section(QLatin1Char(' '), 0, 0).toInt(),
                                format[0].digitValue(), format[1].toLatin1(),
                                format[2].digitValue()};
    const LineExchange exchange = sensorLine.handle({FrameKind::Modbus, request}, settings);
    QCOMPARE(exchange.reply.toHex(' '), onTheLine.toHex(' '));
    QCOMPARE(exchange.answering, answering);
    QCOMPARE(holdsValidFrame(exchange.reply), answering == 1);
}

void SimulatorTest::collisionsNeverPassForAFrame()
{
    const QByteArray nativeInfo = hex("aaa6000000000000202401070000000000"
                                      "4cab");
    QVERIFY(holdsValidFrame(hex("ff") + addressReply + hex("00")) && holdsValidFrame(nativeInfo));
    QVERIFY(!holdsValidFrame(collide({nativeInfo, nativeInfo})));

    // Near copies of one answer, and random bytes: no run of the mix is a frame.
    QRandomGenerator random(11);
    for (int round = 0; round < 300; ++round) {
        QByteArray near = addressReply, noise(random.bounded(4, 40), '\0');
        near[random.bounded(near.size())] = char(random.bounded(256));
        for (char &byte : noise)
            byte = char(random.bounded(256));
        const QByteArray mix = collide({addressReply, near, round % 2 ? noise : near});
        QVERIFY2(!holdsValidFrame(mix), mix.toHex(' ').constData());
    }
}

void SimulatorTest::unitNoiseIsSeededAndSpread()
{
    UnitNoise noise;
    noise.standardDeviation[1] = 5.0; // ug/m3: 50 tenths on PM2.5
    SensorModel model, again;
    model.setUnitNoise(noise);
    again.setUnitNoise(noise);
    constexpr int reads = 400;
    double sum = 0, squares = 0;
    for (int i = 0; i < reads; ++i) {
        QCOMPARE(answer(model, hex("000302b40001c445")), answer(again, hex("000302b40001c445")));
        sum += model.measurement(2).pm25Tenths;
        squares += qPow(model.measurement(2).pm25Tenths, 2);
        QCOMPARE(model.measurement(1).pm25Tenths, quint16(120));
    }
    const double mean = sum / reads, deviation = std::sqrt(squares / reads - mean * mean);
    QVERIFY2(qAbs(mean - 135) < 8 && qAbs(deviation - 50) < 8,
             qPrintable(QStringLiteral("mean %1, deviation %2").arg(mean).arg(deviation)));
}

void SimulatorTest::lineSettingsGate_data()
{
    QTest::addColumn<uint>("control");
    QTest::addColumn<uint>("input");
    QTest::addColumn<QByteArray>("logged");

    QTest::newRow("2 stop bits") << uint(CSTOPB) << 0u << QByteArray("at 9600 baud 8N2");
    QTest::newRow("odd parity") << uint(PARENB | PARODD) << 0u << QByteArray("at 9600 baud 8O1");
    QTest::newRow("even parity, checked as libmodbus does")
        << uint(PARENB) << uint(INPCK) << QByteArray("at 9600 baud 8E1");
    QTest::newRow("mark parity") << uint(PARENB | CMSPAR | PARODD) << 0u
                                 << QByteArray("at 9600 baud 8M1");
}

void SimulatorTest::lineSettingsGate()
{
    QFETCH(uint, control);
    QFETCH(uint, input);
    QFETCH(QByteArray, logged);

    SimulatorProcess simulator({QStringLiteral("--verbose")});
    QVERIFY(simulator.start());
    Terminal terminal;
    QVERIFY(terminal.open(simulator.ptyPath(), B9600));
    QVERIFY(terminal.setLine(B9600, control, input));
    QVERIFY(terminal.send(addressQuery));
    QCOMPARE(terminal.receive(1, silenceTimeoutMs), QByteArray());
    QTRY_VERIFY(simulator.log().contains("received " + logged));

    QVERIFY(terminal.setLine(B9600, 0, 0));
    QVERIFY(terminal.send(addressQuery));
    QCOMPARE(terminal.receive(addressReply.size(), answerTimeoutMs).toHex(' '),
             addressReply.toHex(' '));
}

void SimulatorTest::fourSensorsOnOneLine()
{
    // Sensor 1: unit 1 at 9600; sensor 2: unit 2 at 9600; sensor 3: unit 1 at 19200; sensor 4:
    // native at 4800, with the fourth default device ID.
    SimulatorProcess simulator(QStringLiteral("--sensor --address 2 --sensor --baud 19200 "
                                              "--sensor --protocol native --baud 4800")
                                   .split(QLatin1Char(' ')));
    QVERIFY(simulator.start());
    Terminal terminal;
    QVERIFY(terminal.open(simulator.ptyPath(), B9600));
    struct Step
    {
        speed_t speed;
        const char *request;
        const char *reply;
    };
    const Step steps[] = {
        {B9600, "010300000001840a", "01030200017984"},
        {B9600, "0203000000018439", "02030200027d85"},
        {B9600, "00030000000185db", "00030200007984"},  // sensors 1 and 2 collide
        {B19200, "010300000001840a", "01030200017984"}, // sensor 3
        {B19200, "0203000000018439", ""},
        {B9600, "02060000000549fa", "02060000000549fa"}, // sensor 2 to unit 5
        {B9600, "050300000001858e", "05030200058987"},
        {B19200, "010600cd000299f4", "010600cd000299f4"}, // sensor 3 to 4800
        {B19200, "010300000001840a", ""},
        {B4800, "010300000001840a", "01030200017984"},
        {B4800, "aaa600000000000000000000000000000000ab", "aaa60000000000002024010a00000000004fab"},
        {B9600, "00030000000185db", "01030200010984"}, // sensors 1 and 2 (unit 5) collide
    };
    for (const Step &step : steps) {
        QVERIFY(terminal.setSpeed(step.speed));
        QVERIFY(terminal.send(hex(step.request)));
        const QByteArray expected = hex(step.reply);
        const QByteArray got =
            terminal.receive(expected.isEmpty() ? 1 : expected.size(),
                             expected.isEmpty() ? silenceTimeoutMs : answerTimeoutMs);
        QCOMPARE(got.toHex(' '), expected.toHex(' '));
    }
}

void SimulatorTest::requestLogShowsEveryRequest()
{
    SimulatorProcess simulator({QStringLiteral("--verbose")});
    QVERIFY(simulator.start());
    QVERIFY(simulator.requests().isEmpty());
    Terminal terminal;
    QVERIFY(terminal.open(simulator.ptyPath(), B9600));
    QVERIFY(terminal.send(addressQuery));
    QCOMPARE(terminal.receive(addressReply.size(), answerTimeoutMs).size(), addressReply.size());
    QVERIFY(terminal.send(hex("ff")));
    QTRY_VERIFY(simulator.log().contains("noise [ff]"));
    QVERIFY(terminal.setSpeed(B4800));
    QVERIFY(terminal.send(addressQuery));
    QTRY_COMPARE(simulator.requests(), (QByteArrayList{addressQuery, addressQuery}));
    QCOMPARE(simulator.received(), addressQuery + hex("ff") + addressQuery);
    QVERIFY(simulator.log().contains("request 2 [00 03 00 00 00 01 85 db] at 4800 baud 8N1: "
                                     "not understood"));
}

void SimulatorTest::returnsAfterVanishing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("sensor"));
    SimulatorProcess simulator({QStringLiteral("--vanish-after"), QStringLiteral("1"),
                                QStringLiteral("--return-after"), QStringLiteral("300"),
                                QStringLiteral("--link"), link});
    QVERIFY(simulator.start());
    const QByteArray toA = hex("00060000000a081c");
    {
        Terminal terminal;
        QVERIFY(terminal.open(link, B9600));
        QVERIFY(terminal.send(toA));
        QCOMPARE(terminal.receive(toA.size(), answerTimeoutMs).toHex(' '), toA.toHex(' '));
        QVERIFY(terminal.waitForHangUp(answerTimeoutMs));
    }
    const QString path = simulator.waitForNextPath(3000);
    QVERIFY(!path.isEmpty());
    QCOMPARE(QFile::symLinkTarget(link), path);
    Terminal terminal;
    QVERIFY(terminal.open(link, B9600));
    QVERIFY(terminal.send(addressQuery));
    QCOMPARE(terminal.receive(7, answerTimeoutMs).toHex(' '), hex("0a0302000a9d82").toHex(' '));
    QVERIFY(simulator.isRunning());
}

void SimulatorTest::refusesBadSensorOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("line option after --sensor")
        << QStringList{"--sensor", "--verbose"} << QByteArray("--verbose is an option of the line");
    QTest::newRow("bad rate of sensor 2")
        << QStringList{"--sensor", "--baud", "1234"} << QByteArray("--baud: 1234");
    QTest::newRow("return without vanishing")
        << QStringList{"--return-after", "100"} << QByteArray("--return-after: needs");
    QTest::newRow("noise without a deviation")
        << QStringList{"--unit-noise", "2"} << QByteArray("--unit-noise: '2'");
}

void SimulatorTest::refusesBadSensorOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);

    SimulatorProcess simulator(arguments);
    QVERIFY(!simulator.start());
    QVERIFY(simulator.waitForExit(answerTimeoutMs));
    QCOMPARE(simulator.exitCode(), 2);
    QVERIFY2(simulator.log().contains(message), simulator.log().constData());
}

QTEST_GUILESS_MAIN(SimulatorTest)
#include "tst_simulator.moc"
