#include "record/eolprofile.h"

#include <QtTest>

// Profile reading and the judgement of measured values.
class EolProfileTest : public QObject
{
    Q_OBJECT

private slots:
    void exampleProfileReads();
    void badProfiles_data();
    void badProfiles();
    void evaluation_data();
    void evaluation();
    void firmwareOrder_data();
    void firmwareOrder();
};

static QByteArray profileWith(const QByteArray &members)
{
    return "{\"format\":\"px8107-eol-profile\",\"version\":1" +
           (members.isEmpty() ? QByteArray() : "," + members) + "}";
}

static const QByteArray fullProfile = profileWith(
    R"("firmware":{"atLeast":"V1.2"},"selfCheck":true,"temperature":{"min":0,"max":40},)"
    R"("measurement":{"objects":["avg","1","2"],"samples":3,"mean":{"pm2_5":{"min":5,"max":30}},)"
    R"("spread":{"pm2_5":{"absolute":4,"relative":0.2}},"noise":{"pm2_5":2}})");

void EolProfileTest::exampleProfileReads()
{
    QFile file(QStringLiteral(PX8107_SOURCE_DIR "/docs/examples/eol-profile.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    EolProfile profile;
    QString error;
    QVERIFY2(parseEolProfile(file.readAll(), "/line", profile, error), qPrintable(error));
    QCOMPARE(profile.objects.size(), 5);
    QCOMPARE(profile.settingsFile, QStringLiteral("/line/eol-settings.json"));
}

void EolProfileTest::badProfiles_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("named");
    QTest::newRow("not JSON") << QByteArray("{\"format\":") << "not valid JSON";
    QTest::newRow("other document") << QByteArray(R"({"format":"x","version":1})") << "format";
    QTest::newRow("future version")
        << QByteArray(R"({"format":"px8107-eol-profile","version":2})") << "version 2";
    QTest::newRow("misspelt member") << profileWith(R"("temprature":{"max":3})") << "temprature";
    QTest::newRow("limit not a number")
        << profileWith(R"("temperature":{"max":"hot"})") << "temperature.max";
    QTest::newRow("unknown object")
        << profileWith(R"("measurement":{"objects":["avg","5"],"samples":2})") << "\"5\"";
    QTest::newRow("no samples") << profileWith(R"("measurement":{"objects":["avg"]})")
                                << "measurement.samples";
    QTest::newRow("negative noise")
        << profileWith(R"("measurement":{"objects":["1"],"samples":2,"noise":{"pm10":-1}})")
        << "measurement.noise.pm10";
    QTest::newRow("spread of one unit")
        << profileWith(
               R"("measurement":{"objects":["avg","1"],"samples":2,"spread":{"pm10":{"absolute":1}}})")
        << "two units";
}

void EolProfileTest::badProfiles()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, named);
    EolProfile profile;
    QString error;
    QVERIFY(!parseEolProfile(json, "/", profile, error));
    QVERIFY2(error.contains(named), qPrintable(error));
}

using Samples = QVector<double>;

void EolProfileTest::evaluation_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("unit3Fails");
    QTest::addColumn<double>("temperature");
    QTest::addColumn<Samples>("unit1");
    QTest::addColumn<Samples>("unit2");
    QTest::addColumn<QStringList>("failing");
    const Samples unit1{10, 11, 12};
    const Samples unit2{12, 13, 14};
    QTest::newRow("pass") << "V1.10" << false << 25.0 << unit1 << unit2 << QStringList();
    QTest::newRow("old firmware") << "V1.1" << false << 25.0 << unit1 << unit2
                                  << QStringList{"firmware"};
    QTest::newRow("self-check") << "V1.2" << true << 25.0 << unit1 << unit2
                                << QStringList{"self-check unit 3"};
    QTest::newRow("too cold") << "V1.2" << false << -1.0 << unit1 << unit2
                              << QStringList{"temperature"};
    QTest::newRow("unit reads high, wide apart")
        << "V1.2" << false << 25.0 << unit1 << Samples{31, 32, 33}
        << QStringList{"mean PM2.5 2", "spread PM2.5", "relative spread PM2.5"};
    QTest::newRow("relative spread only")
        << "V1.2" << false << 25.0 << Samples{7, 7, 7} << Samples{10, 10, 10}
        << QStringList{"relative spread PM2.5"};
    QTest::newRow("noisy unit") << "V1.2" << false << 25.0 << Samples{6, 12, 18} << unit2
                                << QStringList{"noise PM2.5 1"};
    QTest::newRow("missing sample")
        << "V1.2" << false << 25.0 << Samples{10, 11} << unit2
        << QStringList{"mean PM2.5 1", "noise PM2.5 1", "spread PM2.5", "relative spread PM2.5"};
}

void EolProfileTest::evaluation()
{
    QFETCH(QString, firmware);
    QFETCH(bool, unit3Fails);
    QFETCH(double, temperature);
    QFETCH(Samples, unit1);
    QFETCH(Samples, unit2);
    QFETCH(QStringList, failing);
    EolProfile profile;
    QString error;
    QVERIFY2(parseEolProfile(fullProfile, "/", profile, error), qPrintable(error));
    EolMeasurements measured;
    measured.firmware = firmware;
    measured.selfCheckPassed = std::array<bool, 4>{true, true, !unit3Fails, true};
    measured.temperature = temperature;
    measured.samples["avg"][0] = Samples{11, 12, 13};
    measured.samples["1"][0] = unit1;
    measured.samples["2"][0] = unit2;

    const EolResult result = evaluateEol(profile, measured);
    QStringList failed;
    for (const CheckResult &check : result.checks)
        if (!check.passed)
            failed << check.check;
    QCOMPARE(failed, failing);
    QCOMPARE(result.passed(), failing.isEmpty());
    // firmware, 4 self-checks, temperature, 3 means, 3 noises, 2 spreads
    QCOMPARE(result.checks.size(), 14);
}

void EolProfileTest::firmwareOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("order");
    QTest::newRow("numeric, not text") << "V1.10"
                                       << "V1.9" << 1;
    QTest::newRow("equal with prefix") << "V2.0"
                                       << "2.0" << 0;
    QTest::newRow("missing part is zero") << "V2"
                                          << "V2.0.1" << -1;
    QTest::newRow("no numbers") << "beta"
                                << "V1" << -1;
}

void EolProfileTest::firmwareOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);
    QCOMPARE(compareFirmware(a, b), order);
}

QTEST_GUILESS_MAIN(EolProfileTest)
#include "tst_eolprofile.moc"
