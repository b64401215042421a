#include "simulatorprocess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

// px8107ctl monitor, snapshot, apply and test against the simulator over its pseudo-terminal.
class CtlRecordingTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir.isValid()); }
    void monitorRowsOnTheGrid();
    void monitorFaultRows_data();
    void monitorFaultRows();
    void monitorStopped_data();
    void monitorStopped();
    void monitorPortLostAndBack();
    void monitorOutputRefused_data();
    void monitorOutputRefused();
    void snapshotApplySnapshot();
    void applyRefusesBadFiles_data();
    void applyRefusesBadFiles();
    void interruptedApplyCompleted();
    void endOfLineTest_data();
    void endOfLineTest();

private:
    QTemporaryDir dir;
};

struct CtlRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

static QStringList lineOptions(const SimulatorProcess &sim)
{
    return {"--port", sim.ptyPath(), "--baud", "9600", "--address", "1"};
}

static CtlRun runCtl(const QStringList &arguments)
{
    QProcess ctl;
    ctl.start(QStringLiteral(PX8107_CTL_PATH), arguments);
    CtlRun run;
    if (!ctl.waitForFinished(60000))
        return run;
    run.exitCode = ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1;
    run.out = ctl.readAllStandardOutput();
    run.err = ctl.readAllStandardError();
    return run;
}

static QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The simulator's log up to a marker request sent now (a read of the weights, which the commands
// under test never make), so no line from before it is still in the pipe.
static QByteArray syncedLog(SimulatorProcess &sim, const QStringList &line)
{
    const int markers = sim.log().count("read 0x00c9");
    runCtl(line + QStringList{"get", "weights.suspect.1"});
    if (!QTest::qWaitFor([&] { return sim.log().count("read 0x00c9") > markers; }, 5000))
        return {};
    return sim.log();
}

// Requests the simulator took that write a register (function 6 or 16).
static int writesIn(const QByteArray &log)
{
    static const QRegularExpression write(QStringLiteral(" rx [0-9a-f]{2} (06|10) "));
    return int(QString::fromLatin1(log).count(write));
}

static QList<QList<QByteArray>> csvRows(const QByteArray &csv)
{
    QList<QList<QByteArray>> rows;
    for (const QByteArray &line : csv.trimmed().split('\n').mid(1))
        rows << line.trimmed().split(',');
    return rows;
}

void CtlRecordingTest::monitorPortLostAndBack()
{
    const QString link = dir.filePath("sensor");
    SimulatorProcess sim({"--link", link, "--vanish-after", "14", "--return-after", "1500"});
    QVERIFY(sim.start());
    const CtlRun run = runCtl({"--port", link, "--baud", "9600", "--address", "1", "monitor",
                               "--interval", "0.5", "--samples", "14"});
    QCOMPARE(run.exitCode, 0);
    QString statuses;
    for (const QList<QByteArray> &f : csvRows(run.out)) {
        statuses += f[7] == "ok" ? 'o' : f[7] == "port-lost" ? 'L' : '?';
        if (f[7] != "ok")
            QCOMPARE(f.mid(4, 3), (QList<QByteArray>{"", "", ""}));
    }
    QVERIFY2(QRegularExpression("^o+L+o+$").match(statuses).hasMatch(), qPrintable(statuses));
}

void CtlRecordingTest::monitorRowsOnTheGrid()
{
    // The second of two sensors on one line.
    SimulatorProcess sim({"--sensor", "--address", "7", "--unit", "2=205,318,512"});
    QVERIFY(sim.start());
    const QStringList second{"--port", sim.ptyPath(), "--baud", "9600", "--address", "7"};
    const CtlRun run =
        runCtl(second + QStringList{"monitor", "--objects", "2,avg", "--env", "--interval", "0.4",
                                    "--samples", "4", "--warmup", "1"});
    QCOMPARE(run.exitCode, 0);
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 1 + 4 * 2);
    QDateTime reference; // the first sample not marked late, and its index
    int referenceSample = 0;
    int onTime = 0;
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].trimmed().split(',');
        QCOMPARE(f.size(), 11);
        QCOMPARE(f.mid(1, 3), (QList<QByteArray>{"2024-0108", "7", i % 2 ? "2" : "avg"}));
        if (i % 2)
            QCOMPARE(f.mid(4, 3), (QList<QByteArray>{"20.5", "31.8", "512"}));
        QCOMPARE(f.mid(7, 4), (QList<QByteArray>{"25", "45", "ok", f[10]}));
        const QDateTime time = QDateTime::fromString(QString::fromLatin1(f[0]), Qt::ISODateWithMs);
        QCOMPARE(time.timeSpec(), Qt::UTC);
        if (f[10] != "0")
            continue;
        // Samples not marked late start within 100 ms after their slots, 400 ms apart.
        const int sample = (i - 1) / 2;
        if (!reference.isValid()) {
            reference = time;
            referenceSample = sample;
        }
        const qint64 offGrid = reference.msecsTo(time) - (sample - referenceSample) * 400;
        QVERIFY2(offGrid > -100 && offGrid < 100, lines[i].constData());
        onTime += sample != referenceSample;
    }
    QVERIFY(onTime > 0);
}

void CtlRecordingTest::monitorFaultRows_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<QByteArray>("status");
    QTest::newRow("reply dropped") << QStringList{"--drop-every", "3"} << QByteArray("timeout");
    QTest::newRow("reply corrupted")
        << QStringList{"--corrupt-every", "3"} << QByteArray("bad-crc");
}

void CtlRecordingTest::monitorFaultRows()
{
    QFETCH(QStringList, fault);
    QFETCH(QByteArray, status);
    SimulatorProcess sim(fault);
    QVERIFY(sim.start());
    const CtlRun run =
        runCtl(lineOptions(sim) + QStringList{"--retries", "0", "monitor", "--objects", "1",
                                              "--interval", "0", "--samples", "9"});
    QCOMPARE(run.exitCode, 0);
    int faulty = 0;
    for (const QByteArray &line : run.out.trimmed().split('\n').mid(1)) {
        const QList<QByteArray> f = line.trimmed().split(',');
        const bool ok = f[7] == "ok";
        QVERIFY2(ok || f[7] == status, line.constData());
        QCOMPARE(f.mid(4, 3),
                 ok ? (QList<QByteArray>{"12", "45", "789"}) : (QList<QByteArray>{"", "", ""}));
        faulty += !ok;
    }
    QVERIFY(faulty >= 2);
}

void CtlRecordingTest::monitorStopped_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("exitsCleanly");
    QTest::newRow("SIGINT") << int(SIGINT) << true;
    QTest::newRow("SIGTERM") << int(SIGTERM) << true;
    QTest::newRow("SIGKILL") << int(SIGKILL) << false;
}

void CtlRecordingTest::monitorStopped()
{
    QFETCH(int, signal);
    QFETCH(bool, exitsCleanly);
    SimulatorProcess sim;
    QVERIFY(sim.start());
    const QString path = dir.filePath(QStringLiteral("stopped.jsonl"));
    QFile::remove(path);
    QProcess ctl;
    ctl.start(QStringLiteral(PX8107_CTL_PATH),
              lineOptions(sim) + QStringList{"monitor", "--objects", "all", "--interval", "0",
                                             "--format", "jsonl", "-o", path});
    QTRY_VERIFY_WITH_TIMEOUT(readAll(path).count('\n') >= 12, 20000);
    ::kill(pid_t(ctl.processId()), signal);
    QVERIFY(ctl.waitForFinished(10000));
    QCOMPARE(ctl.exitStatus() == QProcess::NormalExit && ctl.exitCode() == 0, exitsCleanly);
    const QByteArray written = readAll(path);
    QVERIFY(written.endsWith('\n'));
    for (const QByteArray &line : written.trimmed().split('\n'))
        QCOMPARE(QJsonDocument::fromJson(line).object().value("status").toString(),
                 QStringLiteral("ok"));
    if (exitsCleanly)
        QCOMPARE(written.count('\n') % 5, 0); // the sample in flight was finished
}

void CtlRecordingTest::monitorOutputRefused_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("disk full") << "/dev/full" << QByteArray() << 7;
    QTest::newRow("other columns")
        << "log.csv" << QByteArray("time,device_id,address,object,pm2_5,pm10,pm100,status,late\r\n")
        << 2;
}

void CtlRecordingTest::monitorOutputRefused()
{
    QFETCH(QString, output);
    QFETCH(QByteArray, existing);
    QFETCH(int, exitCode);
    SimulatorProcess sim({"--verbose"});
    QVERIFY(sim.start());
    const QString path = output.startsWith('/') ? output : dir.filePath(output);
    if (!existing.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(existing) == existing.size());
    }
    const CtlRun run = runCtl(lineOptions(sim) + QStringList{"monitor", "--env", "--samples", "3",
                                                             "--interval", "0", "-o", path});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(path.toUtf8()), run.err.constData());
    if (!existing.isEmpty()) {
        QCOMPARE(readAll(path), existing);
        QCOMPARE(syncedLog(sim, lineOptions(sim)).count(" request "), 1); // the marker alone
    }
}

void CtlRecordingTest::snapshotApplySnapshot()
{
    SimulatorProcess first, second({"--address", "9", "--verbose"});
    QVERIFY(first.start() && second.start());
    const QStringList atSecond{"--port", second.ptyPath(), "--baud", "9600"};
    QCOMPARE(runCtl(lineOptions(first) + QStringList{"set", "heater.temp-low=-9", "units-on=1,3"})
                 .exitCode,
             0);
    const QString file = dir.filePath("first.json");
    QCOMPARE(runCtl(lineOptions(first) + QStringList{"snapshot", "-o", file}).exitCode, 0);

    const int writesBefore = writesIn(syncedLog(second, atSecond));
    const CtlRun dryRun = runCtl(atSecond + QStringList{"apply", file, "--dry-run"});
    QCOMPARE(dryRun.exitCode, 0);
    QVERIFY(dryRun.out.contains("would write"));
    QCOMPARE(writesIn(syncedLog(second, atSecond)), writesBefore);

    const CtlRun applied = runCtl(atSecond + QStringList{"apply", file});
    QCOMPARE(applied.exitCode, 0);
    QVERIFY(applied.out.contains(QByteArray("heater.temp-low")));
    const int writesAfterApply = writesIn(syncedLog(second, atSecond));
    QVERIFY(writesAfterApply > writesBefore);
    const CtlRun again = runCtl(lineOptions(second) + QStringList{"--json", "apply", file});
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(writesIn(syncedLog(second, atSecond)), writesAfterApply);
    for (const QJsonValue &row :
         QJsonDocument::fromJson(again.out).object().value("settings").toArray())
        QCOMPARE(row.toObject().value("verdict").toString(), QStringLiteral("same"));

    const CtlRun snapshot = runCtl(lineOptions(second) + QStringList{"snapshot"});
    QCOMPARE(snapshot.exitCode, 0);
    QCOMPARE(QJsonDocument::fromJson(snapshot.out).object().value("settings"),
             QJsonDocument::fromJson(readAll(file)).object().value("settings"));
}

void CtlRecordingTest::applyRefusesBadFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("named");
    const QByteArray head = R"({"format":"px8107-snapshot","version":1,"settings":)";
    QTest::newRow("value out of range")
        << head + R"({"heater.mode":"manual","heater.humidity-high":101}})" << QStringList()
        << QByteArray("heater.humidity-high");
    QTest::newRow("--only key not in file")
        << head + R"({"heater.mode":"manual"}})" << QStringList{"--only", "address"}
        << QByteArray("address");
}

void CtlRecordingTest::applyRefusesBadFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, named);
    SimulatorProcess sim({"--verbose"});
    QVERIFY(sim.start());
    const QString path = dir.filePath("bad.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    const CtlRun run = runCtl(lineOptions(sim) + QStringList{"apply", path} + options);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(named), run.err.constData());
    QCOMPARE(syncedLog(sim, lineOptions(sim)).count(" request "), 1); // the marker alone
}

void CtlRecordingTest::interruptedApplyCompleted()
{
    const QString link = dir.filePath("sensor");
    SimulatorProcess sim({"--link", link, "--vanish-after", "12", "--return-after", "500"});
    QVERIFY(sim.start());
    const QString path = dir.filePath("wanted.json");
    const QByteArray wanted =
        R"({"format":"px8107-snapshot","version":1,"settings":{)"
        R"("heater.temp-high":41,"heater.temp-low":-11,"heater.humidity-high":91,)"
        R"("heater.humidity-low":51,"clean.duration-seconds":21,)"
        R"("clean.interval-hours":7,"units-on":[2,4]}})";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(wanted) == wanted.size());
    file.close();
    const QStringList apply{"--port", link, "--baud", "9600", "--address", "1", "apply", path};
    const CtlRun cut = runCtl(apply);
    QCOMPARE(cut.exitCode, 6);
    QVERIFY2(cut.out.contains("written") && cut.out.contains("not reached"), cut.out.constData());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).exists(), 5000);
    const CtlRun completed = runCtl(apply);
    QCOMPARE(completed.exitCode, 0);
    QVERIFY2(completed.out.contains("same") && completed.out.contains("written") &&
                 !completed.out.contains("mismatch"),
             completed.out.constData());
    QVERIFY(runCtl(apply).out.count("same") == 7);
}

void CtlRecordingTest::endOfLineTest_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QByteArray>("checks");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("failing"); // every failing check's name holds this
    const QByteArray units = R"("measurement":{"objects":["avg","1","2","3","4"],"samples":3,)"
                             R"("interval":0,"mean":{"pm2_5":{"min":5,"max":20}},)"
                             R"("spread":{"pm2_5":{"absolute":3}}})";
    const QByteArray all = R"("firmware":{"atLeast":"17.7"},"selfCheck":true,)"
                           R"("temperature":{"min":0,"max":40},)" +
                           units;
    QTest::newRow("pass") << QStringList() << all << 0 << QByteArray();
    QTest::newRow("firmware") << QStringList() << QByteArray(R"("firmware":{"equals":"17-7-12"})")
                              << 1 << QByteArray("firmware");
    QTest::newRow("self-check") << QStringList{"--self-check", "0x0b"} << all << 1
                                << QByteArray("self-check unit 3");
    QTest::newRow("temperature") << QStringList{"--temperature", "45"} << all << 1
                                 << QByteArray("temperature");
    QTest::newRow("mean and spread")
        << QStringList{"--unit", "2=215,480,812"} << units << 1 << QByteArray("PM2.5");
    QTest::newRow("noise") << QStringList{"--random-walk"}
                           << QByteArray(
                                  R"("measurement":{"objects":["1"],"samples":4,"interval":0,)"
                                  R"("noise":{"pm10":0}})")
                           << 1 << QByteArray("noise PM10 1");
    QTest::newRow("bad profile") << QStringList() << QByteArray(R"("selfCheck":"yes")") << 2
                                 << QByteArray();
    QTest::newRow("absent sensor") << QStringList{"--drop-every", "1"} << all << 3 << QByteArray();
}

void CtlRecordingTest::endOfLineTest()
{
    QFETCH(QStringList, simulator);
    QFETCH(QByteArray, checks);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, failing);
    SimulatorProcess sim(simulator);
    QVERIFY(sim.start());
    const QString profile = dir.filePath("profile.json");
    const QString report =
        dir.filePath(QStringLiteral("report-%1.csv").arg(QTest::currentDataTag()));
    QFile file(profile);
    const QByteArray json = R"({"format":"px8107-eol-profile","version":1,)" + checks + "}";
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(json) == json.size());
    file.close();
    for (int run = 1; run <= 2; ++run) {
        const CtlRun result =
            runCtl(lineOptions(sim) + QStringList{"test", profile, "--report", report});
        QCOMPARE(result.exitCode, exitCode);
        if (exitCode > 1) {
            QVERIFY(!result.out.contains("PASS") && !result.out.contains("FAIL"));
            QVERIFY(readAll(report).isEmpty());
            return;
        }
        int failed = 0;
        for (const QByteArray &line : result.out.split('\n')) {
            if (line.endsWith("FAIL")) {
                QVERIFY2(line.contains(failing), line.constData());
                ++failed;
            }
        }
        QCOMPARE(failed > 0, exitCode == 1);
        QVERIFY(result.out.contains(exitCode ? "verdict: FAIL" : "verdict: PASS"));
        const QList<QByteArray> rows = readAll(report).trimmed().split('\n');
        QCOMPARE(rows.size(), 1 + run);
        QCOMPARE(rows.last().split(',').value(3), QByteArray(exitCode ? "FAIL" : "PASS"));
    }
}

QTEST_GUILESS_MAIN(CtlRecordingTest)
#include "tst_ctlrecording.moc"
