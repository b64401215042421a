#include "record/recordfile.h"
#include "record/samplerow.h"
#include "record/sampleschedule.h"
#include "serial/portlink.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(SampleRow)

// Sample rows in every format, the output file, the schedule.
class RecordTest : public QObject
{
    Q_OBJECT

private slots:
    void formats_data();
    void formats();
    void jsonNullsForMissingValues();
    void appendKeepsOneHeaderAndWholeRows();
    void schedule_data();
    void schedule();
    void portFoundAgainByItsLink();
};

static SampleRow fullRow()
{
    SampleRow row;
    row.time = QDateTime(QDate(2026, 3, 1), QTime(8, 5, 9, 42), Qt::UTC);
    row.deviceId = QStringLiteral("PX0042");
    row.address = 7;
    row.object = QStringLiteral("avg");
    row.pm25 = 12.5;
    row.pm10 = 20;
    row.pm100 = 31;
    row.temperature = -3;
    row.humidity = 45;
    row.status = QStringLiteral("ok");
    return row;
}

void RecordTest::formats_data()
{
    QTest::addColumn<SampleRow>("row");
    QTest::addColumn<bool>("withEnvironment");
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QByteArray>("influx");

    QTest::newRow("all values")
        << fullRow() << true
        << QByteArray("2026-03-01T08:05:09.042Z,PX0042,7,avg,12.5,20,31,-3,45,ok,0\r\n")
        << QByteArray("px8107,device=PX0042,object=avg address=7i,pm2_5=12.5,pm10=20,pm100=31,"
                      "temperature=-3,humidity=45,status=\"ok\",late=false 1772352309042000000\n");
    SampleRow timeout = fullRow();
    timeout.pm25 = timeout.pm10 = timeout.pm100 = timeout.temperature = timeout.humidity = {};
    timeout.status = QStringLiteral("timeout");
    timeout.late = true;
    QTest::newRow("no values, late")
        << timeout << true << QByteArray("2026-03-01T08:05:09.042Z,PX0042,7,avg,,,,,,timeout,1\r\n")
        << QByteArray("px8107,device=PX0042,object=avg address=7i,status=\"timeout\",late=true "
                      "1772352309042000000\n");
    QTest::newRow("environment left out")
        << fullRow() << false
        << QByteArray("2026-03-01T08:05:09.042Z,PX0042,7,avg,12.5,20,31,ok,0\r\n")
        << QByteArray("px8107,device=PX0042,object=avg address=7i,pm2_5=12.5,pm10=20,pm100=31,"
                      "status=\"ok\",late=false 1772352309042000000\n");
    SampleRow awkward = fullRow();
    awkward.deviceId = QStringLiteral("A \"b\",c=d");
    awkward.status = QStringLiteral("say \"x\\\"");
    awkward.pm10 = {};
    QTest::newRow("quoting and escaping")
        << awkward << false
        << QByteArray("2026-03-01T08:05:09.042Z,\"A \"\"b\"\",c=d\",7,avg,12.5,,31,"
                      "\"say \"\"x\\\"\"\",0\r\n")
        << QByteArray("px8107,device=A\\ \"b\"\\,c\\=d,object=avg address=7i,pm2_5=12.5,pm100=31,"
                      "status=\"say \\\"x\\\\\\\"\",late=false 1772352309042000000\n");
    SampleRow noDevice = fullRow();
    noDevice.deviceId.clear();
    QTest::newRow("unknown device has no tag")
        << noDevice << false << QByteArray("2026-03-01T08:05:09.042Z,,7,avg,12.5,20,31,ok,0\r\n")
        << QByteArray("px8107,object=avg address=7i,pm2_5=12.5,pm10=20,pm100=31,"
                      "status=\"ok\",late=false 1772352309042000000\n");
}

void RecordTest::formats()
{
    QFETCH(SampleRow, row);
    QFETCH(bool, withEnvironment);
    QFETCH(QByteArray, csv);
    QFETCH(QByteArray, influx);
    QCOMPARE(csvRow(row, withEnvironment), csv);
    QCOMPARE(influxLine(row, withEnvironment), influx);
}

void RecordTest::jsonNullsForMissingValues()
{
    SampleRow row = fullRow();
    row.pm10 = {};
    const QByteArray line = jsonLine(row, true);
    QVERIFY(line.endsWith('\n'));
    QCOMPARE(line.count('\n'), 1);
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    QCOMPARE(object.value("time").toString(), QStringLiteral("2026-03-01T08:05:09.042Z"));
    QCOMPARE(object.value("pm2_5").toDouble(), 12.5);
    QVERIFY(object.value("pm10").isNull());
    QCOMPARE(object.value("temperature").toDouble(), -3.0);
    QCOMPARE(object.value("late").toBool(), false);
}

void RecordTest::appendKeepsOneHeaderAndWholeRows()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    QString error;
    for (int run = 0; run < 2; ++run) {
        RecordFile file;
        QVERIFY2(file.open(path, csvHeader(false), error), qPrintable(error));
        QVERIFY2(file.writeLine(csvRow(fullRow(), false), error), qPrintable(error));
    }
    // A write that failed part-way left half a row: the next row starts on a line of its own.
    QFile cut(path);
    QVERIFY(cut.open(QIODevice::Append) && cut.write("2026-03-01T08:05") == 16);
    cut.close();
    RecordFile file;
    QVERIFY(file.open(path, csvHeader(false), error));
    QVERIFY(file.writeLine(csvRow(fullRow(), false), error));
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray row = csvRow(fullRow(), false);
    QCOMPARE(written.readAll(), csvHeader(false) + row + row + "2026-03-01T08:05\n" + row);
}

void RecordTest::schedule_data()
{
    QTest::addColumn<qint64>("interval");
    QTest::addColumn<qint64>("index");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("wait");
    QTest::addColumn<bool>("late");
    // Start at 1000 ms.
    QTest::newRow("first sample at once") << 500LL << 0LL << 1000LL << 0LL << false;
    QTest::newRow("waits for its slot") << 500LL << 3LL << 2300LL << 200LL << false;
    QTest::newRow("jitter forgiven") << 1000LL << 2LL << 3090LL << 0LL << false;
    QTest::newRow("late, not shifted") << 1000LL << 2LL << 3101LL << 0LL << true;
    QTest::newRow("after a late one the grid holds") << 1000LL << 3LL << 3500LL << 500LL << false;
    QTest::newRow("short interval: half of it forgiven") << 100LL << 1LL << 1151LL << 0LL << true;
    QTest::newRow("interval 0 never waits") << 0LL << 1000LL << 1001LL << 0LL << false;
    QTest::newRow("interval 0 never late") << 0LL << 5LL << 900000LL << 0LL << false;
}

void RecordTest::schedule()
{
    QFETCH(qint64, interval);
    QFETCH(qint64, index);
    QFETCH(qint64, now);
    QFETCH(qint64, wait);
    QFETCH(bool, late);
    const SampleSchedule schedule(1000, interval, 2);
    QCOMPARE(schedule.waitMs(index, now), wait);
    QCOMPARE(schedule.isLate(index, now), late);
    QVERIFY(schedule.isWarmup(1));
    QVERIFY(!schedule.isWarmup(2));
}

void RecordTest::portFoundAgainByItsLink()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("by-id"));
    const QString port = dir.filePath("ttyUSB0");
    const QString link = dir.filePath("by-id/usb-maker_PX8107-if00-port0");
    QFile device(port);
    QVERIFY(device.open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(dir.filePath("by-id/../ttyUSB1"), dir.filePath("by-id/other")));
    QVERIFY(QFile::link(port, link));
    QCOMPARE(stableLinkFor(port, dir.filePath("by-id")), link);
    QCOMPARE(stableLinkFor(link, dir.filePath("by-id")), QString()); // the link itself is followed
    QCOMPARE(stableLinkFor(dir.filePath("ttyUSB9"), dir.filePath("by-id")), QString());
}

QTEST_GUILESS_MAIN(RecordTest)
#include "tst_record.moc"
