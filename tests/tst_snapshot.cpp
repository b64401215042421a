#include "record/applyplan.h"
#include "record/snapshot.h"

#include <QtTest>

// Settings files: what they ask for, checked against the settings table.
class SnapshotTest : public QObject
{
    Q_OBJECT

private slots:
    void refused_data();
    void refused();
    void writeOrderAndValues();
};

static QByteArray fileWith(const QByteArray &settingsMembers)
{
    return R"({"format":"px8107-snapshot","version":1,"device":{"id":"X"},"settings":{)" +
           settingsMembers + "}}";
}

void SnapshotTest::refused_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("only");
    QTest::addColumn<QString>("named");
    QTest::newRow("truncated") << QByteArray(R"({"format":"px8107-snapshot")") << QStringList()
                               << "not valid JSON";
    QTest::newRow("a profile") << QByteArray(R"({"format":"px8107-eol-profile","version":1})")
                               << QStringList() << "px8107-snapshot";
    QTest::newRow("newer version")
        << QByteArray(R"({"format":"px8107-snapshot","version":7,"settings":{}})") << QStringList()
        << "version 7";
    QTest::newRow("settings a list")
        << QByteArray(R"({"format":"px8107-snapshot","version":1,"settings":[]})") << QStringList()
        << "settings";
    QTest::newRow("unknown key") << fileWith(R"("heater.colour":1)") << QStringList()
                                 << "heater.colour";
    QTest::newRow("address out of range")
        << fileWith(R"("work-mode":"manual","address":248)") << QStringList() << "address: 248";
    QTest::newRow("unknown choice")
        << fileWith(R"("heater.mode":"sometimes")") << QStringList() << "heater.mode";
    QTest::newRow("fraction") << fileWith(R"("clean.interval-hours":1.5)") << QStringList()
                              << "clean.interval-hours";
    QTest::newRow("unit 5") << fileWith(R"("units-on":[1,5])") << QStringList() << "units-on";
    QTest::newRow("a reading") << fileWith(R"("temperature":20)") << QStringList() << "temperature";
    QTest::newRow("an action") << fileWith(R"("factory-reset":1)") << QStringList()
                               << "factory-reset";
    QTest::newRow("protocol") << fileWith(R"("protocol":"native")") << QStringList() << "protocol";
    QTest::newRow("bad value outside --only") << fileWith(R"("address":3,"heater.temp-low":-200)")
                                              << QStringList{"address"} << "heater.temp-low";
    QTest::newRow("--only key not in file")
        << fileWith(R"("address":3)") << QStringList{"units-on"} << "units-on";
}

void SnapshotTest::refused()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, only);
    QFETCH(QString, named);
    Snapshot snapshot;
    QVector<WantedSetting> wanted;
    QString error;
    QVERIFY(!parseSnapshot(json, snapshot, error) ||
            !wantedSettings(snapshot, only, wanted, error));
    QVERIFY2(error.contains(named), qPrintable(error));
}

void SnapshotTest::writeOrderAndValues()
{
    Snapshot snapshot;
    QString error;
    QVERIFY(
        parseSnapshot(fileWith(R"("rate":19200,"address":9,"units-on":[],"heater.mode":"manual",)"
                               R"("calibration.2.pm10.zero-offset":-20,"work-mode":"manual")"),
                      snapshot, error));
    QVector<WantedSetting> wanted;
    QVERIFY2(wantedSettings(snapshot, {}, wanted, error), qPrintable(error));
    QStringList order;
    QVector<int> values;
    for (const WantedSetting &setting : wanted) {
        order << setting.key->key;
        values << setting.value;
    }
    QCOMPARE(order, (QStringList{"work-mode", "heater.mode", "units-on",
                                 "calibration.2.pm10.zero-offset", "address", "rate"}));
    QCOMPARE(values, (QVector<int>{3, 0, 0, -20, 9, 19200}));
}

QTEST_GUILESS_MAIN(SnapshotTest)
#include "tst_snapshot.moc"
