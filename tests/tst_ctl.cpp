#include "ptypair.h"
#include "simulatorprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <memory>

// px8107ctl as a process against the simulated sensor, or against a scripted peer.
class CtlTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { sim.reset(); }

    void commandOutput_data();
    void commandOutput();
    void setWritesAndConfirms();
    void setAddressThenReadAtIt();
    void setRateThenFollow();
    void actionsAndSwitches_data();
    void actionsAndSwitches();
    void badReplies_data();
    void badReplies();
    void scriptedReplies_data();
    void scriptedReplies();
    void readBackThatDiffers();
    void badCommandLines_data();
    void badCommandLines();
    void unwritableOutput();
    void scanFindsEverySensor_data();
    void scanFindsEverySensor();
    void collisionIsABadReply();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    void startSimulator(const QStringList &extra = {});
    Run ctl(const QStringList &arguments, const QString &stdoutFile = {});

    std::unique_ptr<SimulatorProcess> sim;
};

namespace {
// Readings the simulator is started with, so the expected values below come from here.
const QStringList readings = {"--unit",        "1=100,400,700",
                              "--unit",        "2=120,420,720",
                              "--unit",        "3=140,440,740",
                              "--unit",        "4=160,460,760",
                              "--temperature", "-7",
                              "--humidity",    "38",
                              "--self-check",  "0x0b",
                              "--verbose"};

QJsonObject withoutPort(QJsonObject object)
{
    object.remove("port");
    return object;
}

QProcess *startCtl(const QStringList &arguments)
{
    auto *process = new QProcess;
    process->setProgram(PX8107_CTL_PATH);
    process->setArguments(arguments);
    process->start();
    return process;
}
} // namespace

void CtlTest::startSimulator(const QStringList &extra)
{
    sim = std::make_unique<SimulatorProcess>(readings + extra);
    QVERIFY(sim->start());
}

CtlTest::Run CtlTest::ctl(const QStringList &arguments, const QString &stdoutFile)
{
    QProcess process;
    process.setProgram(PX8107_CTL_PATH);
    process.setArguments(arguments);
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

void CtlTest::commandOutput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected"); // exact text, or a JSON document compared without port

    QTest::newRow("read") << QStringList{"read"}
                          << "OBJECT  PM2.5 µg/m³  PM10 µg/m³  PM100 µg/m³\n"
                             "avg     13.0         43.0        730\n";
    QTest::newRow("read unit 3 with environment")
        << QStringList{"read", "--object", "3", "--env"}
        << "OBJECT  PM2.5 µg/m³  PM10 µg/m³  PM100 µg/m³\n"
           "3       14.0         44.0        740\n\n"
           "temperature  -7 °C\n"
           "humidity     38 %RH\n";
    QTest::newRow("read all, json")
        << QStringList{"--json", "read", "--object", "all", "--env"}
        << R"({"address":0,"rate":9600,"unit":"µg/m³","environment":{"temperature":-7,"humidity":38},
              "measurements":[{"object":"avg","pm25":13,"pm10":43,"pm100":730},
                              {"object":1,"pm25":10,"pm10":40,"pm100":700},
                              {"object":2,"pm25":12,"pm10":42,"pm100":720},
                              {"object":3,"pm25":14,"pm10":44,"pm100":740},
                              {"object":4,"pm25":16,"pm10":46,"pm100":760}]})";
    QTest::newRow("get") << QStringList{"get", "heater.temp-low", "self-check",
                                        "calibration.2.pm10.factor", "rate"}
                         << "KEY                        VALUE  UNIT\n"
                            "heater.temp-low            -5     °C\n"
                            "self-check                 1,2,4\n"
                            "calibration.2.pm10.factor  100    %\n"
                            "rate                       9600   baud\n";
    QTest::newRow("get, json")
        << QStringList{"get", "--json", "work-mode", "units-on", "clean.interval-hours"}
        << R"({"settings":{"work-mode":"auto-all","units-on":[1,2,3,4],"clean.interval-hours":12}})";
    QTest::newRow("info") << QStringList{"info", "--address", "1"}
                          << "protocol    modbus\n"
                             "address     1\n"
                             "device-id   -\n"
                             "firmware    -\n"
                             "work-mode   auto-all\n"
                             "work-units  1,2,3,4\n"
                             "units-on    1,2,3,4\n"
                             "self-check  1,2,4\n";
    QTest::newRow("info, json, rate searched")
        << QStringList{"info", "--json", "--baud", "auto"}
        << R"({"rate":9600,"protocol":"modbus","address":1,"device-id":null,"firmware":null,
              "work-mode":"auto-all","work-units":[1,2,3,4],"units-on":[1,2,3,4],
              "self-check":[1,2,4]})";
}

void CtlTest::commandOutput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    startSimulator();
    const Run run = ctl(arguments + QStringList{"--port", sim->ptyPath()});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    if (arguments.contains("--json")) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(withoutPort(document.object()),
                 QJsonDocument::fromJson(expected.toUtf8()).object());
    } else if (arguments.first() == "info") {
        // The port and rate lines come first; the port's name changes from run to run.
        QCOMPARE(run.out.section('\n', 2), expected);
    } else {
        QCOMPARE(run.out, expected);
    }
}

void CtlTest::setWritesAndConfirms()
{
    startSimulator();
    const Run set =
        ctl({"--port", sim->ptyPath(), "set", "heater.temp-low=-12", "clean.interval-hours=6"});
    QVERIFY2(set.exitCode == 0, qPrintable(set.err));
    QVERIFY(set.out.contains(QRegularExpression("heater.temp-low +-12 +°C +confirmed")));
    // Each write keeps the other value of its register, as read just before.
    QTRY_VERIFY(sim->requests().contains(QByteArray::fromHex("000600ac1ef4401d")));
    QTRY_VERIFY(sim->requests().contains(QByteArray::fromHex("000600aa1e062199")));
    const Run get = ctl({"--port", sim->ptyPath(), "--json", "get", "heater.temp-low",
                         "heater.temp-high", "clean.interval-hours", "clean.duration-seconds"});
    QCOMPARE(QJsonDocument::fromJson(get.out.toUtf8()).object(),
             QJsonDocument::fromJson(R"({"settings":{"heater.temp-low":-12,"heater.temp-high":30,
                 "clean.interval-hours":6,"clean.duration-seconds":30}})")
                 .object());
}

void CtlTest::setAddressThenReadAtIt()
{
    startSimulator();
    const Run set = ctl({"--port", sim->ptyPath(), "--address", "1", "set", "address=17"});
    QVERIFY2(set.exitCode == 0, qPrintable(set.err));
    QTRY_VERIFY(sim->requests().contains(QByteArray::fromHex("01060000001149c6")));
    // The read-back went to the new address.
    QTRY_VERIFY(sim->requests().contains(QByteArray::fromHex("110300000001869a")));

    const Run atNew = ctl({"--port", sim->ptyPath(), "--address", "17", "read"});
    QCOMPARE(atNew.exitCode, 0);
    QVERIFY(atNew.out.contains("avg     13.0"));
    const Run atOld = ctl({"--port", sim->ptyPath(), "--address", "1", "--timeout", "200", "read"});
    QCOMPARE(atOld.exitCode, 3);
    QVERIFY(atOld.out.isEmpty());
}

void CtlTest::setRateThenFollow()
{
    startSimulator();
    const Run set = ctl({"--port", sim->ptyPath(), "--json", "set", "rate=19200"});
    QVERIFY2(set.exitCode == 0, qPrintable(set.err));
    QCOMPARE(QJsonDocument::fromJson(set.out.toUtf8()).object().value("rate").toInt(), 19200);
    const Run searched = ctl({"--port", sim->ptyPath(), "--baud", "auto", "get", "rate"});
    QCOMPARE(searched.exitCode, 0);
    QVERIFY(searched.out.contains(QRegularExpression("rate +19200")));
}

void CtlTest::actionsAndSwitches_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QStringList>("assignments");
    QTest::addColumn<QByteArray>("frame"); // the write that does it
    QTest::addColumn<QStringList>("check");
    QTest::addColumn<QString>("checkOutput"); // a pattern in the check's output

    QTest::newRow("sleep") << QStringList() << QStringList{"power=sleep"}
                           << QByteArray("000600a2000029f9") << QStringList{"read"}
                           << "avg +0.0 +0.0 +0\n";
    QTest::newRow("wake") << QStringList() << QStringList{"power=wake"}
                          << QByteArray("000600a20001e839") << QStringList{"read"}
                          << "avg +13.0 +43.0 +730\n";
    QTest::newRow("clean now") << QStringList() << QStringList{"clean.now=5"}
                               << QByteArray("000600a900059838") << QStringList{"read"}
                               << "avg +13.0";
    QTest::newRow("heater on by hand")
        << QStringList() << QStringList{"heater.mode=manual", "heater.on=on"}
        << QByteArray("000600ab0001383b") << QStringList{"get", "heater.mode", "heater.on"}
        << "heater.mode +manual\nheater.on +on\n";
    QTest::newRow("factory reset")
        << QStringList() << QStringList{"heater.temp-high=40", "factory-reset"}
        << QByteArray("000600a5000159f8") << QStringList{"get", "heater.temp-high"}
        << "heater.temp-high +30 ";
    QTest::newRow("to native") << QStringList() << QStringList{"protocol=native"}
                               << QByteArray("000600b10000d83c") << QStringList{"info"}
                               << "protocol +native\naddress +-\ndevice-id +2024-0107\n";
    QTest::newRow("back to Modbus")
        << QStringList{"--protocol", "native"} << QStringList{"protocol=modbus"}
        << QByteArray("000600b10003983d") << QStringList{"read"} << "avg +13.0";
}

void CtlTest::actionsAndSwitches()
{
    QFETCH(QStringList, simulator);
    QFETCH(QStringList, assignments);
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, check);
    QFETCH(QString, checkOutput);
    startSimulator(simulator);
    const Run set = ctl(QStringList{"--port", sim->ptyPath(), "set"} + assignments);
    QVERIFY2(set.exitCode == 0, qPrintable(set.err));
    QTRY_VERIFY(sim->requests().contains(QByteArray::fromHex(frame)));
    const Run after = ctl(QStringList{"--port", sim->ptyPath()} + check);
    QVERIFY2(after.exitCode == 0, qPrintable(after.err));
    QVERIFY2(after.out.contains(QRegularExpression(checkOutput)), qPrintable(after.out));
}

void CtlTest::badReplies_data()
{
    QTest::addColumn<QStringList>("simulatorFaults");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QStringList once{"read", "--retries", "0"};
    QTest::newRow("corrupt") << QStringList{"--corrupt-every", "1"} << once << 4
                             << "read object avg: the reply's CRC does not match (received 01 03";
    QTest::newRow("corrupt every second, retried")
        << QStringList{"--corrupt-every", "2"} << QStringList{"read", "--object", "all"} << 0 << "";
    QTest::newRow("dropped") << QStringList{"--drop-every", "1"} << once << 3
                             << "read object avg: no answer before the timeout";
    QTest::newRow("late") << QStringList{"--delay-every", "1", "--delay-ms", "600"}
                          << QStringList{"read", "--retries", "0", "--timeout", "200"} << 3
                          << "no answer before the timeout";
    QTest::newRow("split, pause under 3.5 characters")
        << QStringList{"--baud", "2400", "--split-every", "1", "--split-pause", "2"}
        << QStringList{"read", "--retries", "0", "--baud", "2400"} << 0 << "";
    QTest::newRow("split, pause over 3.5 characters")
        << QStringList{"--baud", "2400", "--split-every", "1", "--split-pause", "150"}
        << QStringList{"read", "--retries", "0", "--baud", "2400"} << 4
        << "the reply stopped short of its length";
    QTest::newRow("noise after every reply")
        << QStringList{"--noise-every", "1", "--noise", "ffff"}
        << QStringList{"read", "--object", "all", "--retries", "0"} << 0 << "";
    QTest::newRow("port gone after two answers")
        << QStringList{"--vanish-after", "2"} << QStringList{"read", "--object", "all"} << 6
        << "read object 2: the serial port was lost";
}

void CtlTest::badReplies()
{
    QFETCH(QStringList, simulatorFaults);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    startSimulator(simulatorFaults);
    const Run run = ctl(arguments + QStringList{"--port", sim->ptyPath()});
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode == 0) {
        QVERIFY(run.out.contains("avg     13.0         43.0        730\n"));
        return;
    }
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void CtlTest::scriptedReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("from unit 5") << QByteArray("05030800780 1c203150000 1160") << 4
                                 << "the reply is not from the addressed unit";
    QTest::newRow("function 4") << QByteArray("010408007801c203150000b58a") << 4
                                << "the reply carries another function than the request";
    QTest::newRow("two registers of four")
        << QByteArray("010304007801c2fa2b") << 4 << "byte or register count does not match";
    QTest::newRow("exception 02") << QByteArray("018302c0f1") << 5
                                  << "exception 02 (illegal data address)";
    QTest::newRow("exception 03") << QByteArray("0183030131") << 5
                                  << "exception 03 (illegal data value)";
    QTest::newRow("noise before the reply")
        << QByteArray("ff010308007801c2031500000450") << 4 << "the reply's CRC does not match";
    QTest::newRow("silence") << QByteArray() << 3 << "no answer before the timeout";
}

void CtlTest::scriptedReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    PtyPair peer;
    QVERIFY(peer.isValid());
    std::unique_ptr<QProcess> process(startCtl({"--port", peer.slavePath(), "--address", "1",
                                                "--retries", "0", "--timeout", "300", "read"}));
    QCOMPARE(peer.read(8, 10000), QByteArray::fromHex("010300b40004042f"));
    QVERIFY(peer.write(QByteArray::fromHex(reply.replace(" ", ""))));
    QVERIFY(process->waitForFinished(10000));
    QCOMPARE(process->exitCode(), exitCode);
    QVERIFY(process->readAllStandardOutput().isEmpty());
    const QString err = QString::fromUtf8(process->readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
}

void CtlTest::readBackThatDiffers()
{
    PtyPair peer;
    QVERIFY(peer.isValid());
    std::unique_ptr<QProcess> process(startCtl({"--port", peer.slavePath(), "--address", "1",
                                                "--retries", "0", "set", "heater.temp-high=40"}));
    const QByteArray read = QByteArray::fromHex("010300ac0001442b");
    const QByteArray thresholds30AndMinus5 = QByteArray::fromHex("0103021efbf067");
    QCOMPARE(peer.read(8, 10000), read);
    QVERIFY(peer.write(thresholds30AndMinus5));
    const QByteArray write = QByteArray::fromHex("010600ac28fb1668");
    QCOMPARE(peer.read(8, 10000), write);
    QVERIFY(peer.write(write));
    QCOMPARE(peer.read(8, 10000), read);
    QVERIFY(peer.write(thresholds30AndMinus5));
    QVERIFY(process->waitForFinished(10000));
    QCOMPARE(process->exitCode(), 1);
    QVERIFY(process->readAllStandardOutput().isEmpty());
    QVERIFY(process->readAllStandardError().contains(
        "set heater.temp-high: wrote 40, the sensor reports 30"));
}

void CtlTest::badCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown command") << QStringList{"frobnicate"} << "unknown command 'frobnicate'";
    QTest::newRow("unknown option") << QStringList{"read", "--bogus"} << "Unknown option 'bogus'";
    QTest::newRow("object 5") << QStringList{"read", "--object", "5"}
                              << "--object: '5' is not avg, 1 to 4 or all";
    QTest::newRow("address 248") << QStringList{"--address", "248", "read"}
                                 << "--address: '248' is not a number from 0 to 247";
    QTest::newRow("rate 1234") << QStringList{"--baud", "1234", "read"} << "--baud: '1234'";
    QTest::newRow("timeout 0") << QStringList{"--timeout", "0", "read"} << "--timeout: '0'";
    QTest::newRow("extra argument") << QStringList{"info", "now"} << "unexpected argument 'now'";
    QTest::newRow("get nothing") << QStringList{"get"} << "name at least one key";
    QTest::newRow("get an action")
        << QStringList{"get", "clean.now"} << "clean.now is an action and has nothing to read";
    QTest::newRow("unknown key") << QStringList{"set", "fan=1"} << "unknown key 'fan'";
    QTest::newRow("set a reading")
        << QStringList{"set", "temperature=20"} << "temperature is a reading and cannot be set";
    QTest::newRow("no value") << QStringList{"set", "heater.temp-high"} << "expected KEY=VALUE";
    QTest::newRow("above the range") << QStringList{"set", "heater.temp-high=128"}
                                     << "heater.temp-high: 128 is outside -128 to 127 °C";
    QTest::newRow("address 0") << QStringList{"set", "address=0"}
                               << "address: 0 is outside 1 to 247";
    QTest::newRow("not a number") << QStringList{"set", "clean.interval-hours=6h"}
                                  << "clean.interval-hours: '6h' is not 0 to 255 h";
    QTest::newRow("unit 5") << QStringList{"set", "work-units=1,5"}
                            << "work-units: '1,5' is not units 1 to 4";
    QTest::newRow("unknown choice")
        << QStringList{"set", "heater.mode=warm"} << "heater.mode: 'warm' is not auto, manual";
    QTest::newRow("unknown rate") << QStringList{"set", "rate=2400"}
                                  << "rate: '2400' is not 4800, 9600, 19200";
    QTest::newRow("good value, then a bad one")
        << QStringList{"set", "heater.temp-low=-12", "calibration.1.pm25.zero-offset=-256"}
        << "calibration.1.pm25.zero-offset: -256 is outside -255 to 255";
    QTest::newRow("scan past 247")
        << QStringList{"scan", "--addresses", "1-300"} << "--addresses: '1-300'";
}

void CtlTest::badCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    startSimulator();
    const Run run = ctl(arguments + QStringList{"--port", sim->ptyPath()});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    // A request that did reach the simulator would be in its log by now: ctl has exited.
    sim->stop();
    QVERIFY2(sim->received().isEmpty(), sim->log().constData());
}

void CtlTest::unwritableOutput()
{
    startSimulator();
    const Run run = ctl({"--port", sim->ptyPath(), "read"}, "/dev/full");
    QCOMPARE(run.exitCode, 7);
    QVERIFY(run.err.contains("cannot write the output"));
}

namespace {
// Three sensors on one line: two at address 1 on different rates, one at address 7.
const QStringList threeSensors = {"--address", "1", "--baud", "9600", "--sensor",
                                  "--address", "7", "--baud", "9600", "--sensor",
                                  "--address", "1", "--baud", "19200"};
} // namespace

void CtlTest::scanFindsEverySensor_data()
{
    QTest::addColumn<QStringList>("line");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("sensors");

    QTest::newRow("three sensors")
        << threeSensors << QStringList{"--rates", "19200,9600", "--addresses", "1-10"}
        << R"([{"address":1,"rate":19200,"protocol":"modbus","device-id":null},
               {"address":1,"rate":9600,"protocol":"modbus","device-id":null},
               {"address":7,"rate":9600,"protocol":"modbus","device-id":null}])";
    QTest::newRow("first") << threeSensors
                           << QStringList{"--rates", "19200,9600", "--addresses", "2-10", "--first"}
                           << R"([{"address":7,"rate":9600,"protocol":"modbus","device-id":null}])";
    QTest::newRow("one in its native protocol")
        << QStringList{"--address", "3", "--sensor", "--protocol", "native", "--baud", "4800"}
        << QStringList{"--rates", "4800,9600", "--addresses", "1-4"}
        << R"([{"address":null,"rate":4800,"protocol":"native","device-id":"2024-0108"},
               {"address":3,"rate":9600,"protocol":"modbus","device-id":null}])";
}

void CtlTest::scanFindsEverySensor()
{
    QFETCH(QStringList, line);
    QFETCH(QStringList, options);
    QFETCH(QString, sensors);
    startSimulator(line);
    const Run run = ctl(QStringList{"--port", sim->ptyPath(), "--json", "scan"} + options);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(document.value("sensors").toArray(),
             QJsonDocument::fromJson(sensors.toUtf8()).array());
    QCOMPARE(document.value("errors").toArray(), QJsonArray());
}

void CtlTest::collisionIsABadReply()
{
    startSimulator(threeSensors);
    const Run run = ctl({"--port", sim->ptyPath(), "--retries", "0", "read"});
    QCOMPARE(run.exitCode, 4);
    QVERIFY2(run.err.contains("read object avg: the reply"), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QTRY_COMPARE(sim->requests().size(), 1);
}

QTEST_GUILESS_MAIN(CtlTest)
#include "tst_ctl.moc"
