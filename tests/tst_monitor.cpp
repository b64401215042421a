#include "messageboxcloser.h"
#include "monitor/liveplot.h"
#include "monitor/monitorwindow.h"
#include "mosquittobroker.h"
#include "simulatorprocess.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <memory>

using Values = QVector<double>; // PM2.5, PM10, PM100 per object, in the order of the objects

// The monitor window against the simulated sensor over a pseudo-terminal.
class MonitorTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void seriesHoldTheSensorsValues_data();
    void seriesHoldTheSensorsValues();
    void recordedFileEqualsCommandLineRecording_data();
    void recordedFileEqualsCommandLineRecording();
    void faultsGiveGapsAndCounters_data();
    void faultsGiveGapsAndCounters();
    void lostPortGivesGapThenData();
    void reconnectingLeavesGap();
    void badInputRefused_data();
    void badInputRefused();
    void zoomLeavesFollowModeAndButtonResumes();
    void legendTogglesSeries();
    void alertLevelColoursReadings();
    void recordingRefused_data();
    void recordingRefused();
    void chartExported();
    void settingsRememberedAcrossRestart();
    void fitsSmallScreen_data();
    void fitsSmallScreen();
    void chineseCatalogue();
    void samplesPublishedToBroker_data();
    void samplesPublishedToBroker();

private:
    void startSimulator(const QStringList &arguments);
    void openWindow();
    void connectTo(const QString &port, const QStringList &objects, double intervalS = 0.2);
    template <typename T> T *find(const char *name) const
    {
        T *child = window->findChild<T *>(QLatin1String(name));
        if (!child)
            qFatal("no widget named %s", name);
        return child;
    }
    LivePlot *chart() const { return find<LivePlot>("chart"); }
    int samplesShown() const { return chart()->series().size(); }

    QTemporaryDir scratch;
    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MonitorWindow> window;
};

void MonitorTest::initTestCase()
{
    QVERIFY(scratch.isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("PX8107"));
    QCoreApplication::setApplicationName(QStringLiteral("px8107-monitor-test"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.path());
}

void MonitorTest::cleanup()
{
    window.reset();
    sim.reset();
    QSettings().clear();
}

void MonitorTest::startSimulator(const QStringList &arguments)
{
    sim = std::make_unique<SimulatorProcess>(arguments);
    QVERIFY(sim->start());
}

void MonitorTest::openWindow()
{
    window = std::make_unique<MonitorWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void MonitorTest::connectTo(const QString &port, const QStringList &objects, double intervalS)
{
    find<QComboBox>("portBox")->setCurrentText(port);
    for (const QString &object : SampleSeries::objectNames())
        find<QCheckBox>(qPrintable("object_" + object))->setChecked(objects.contains(object));
    find<QDoubleSpinBox>("intervalBox")->setValue(intervalS);
    find<QPushButton>("connectButton")->click();
    QCOMPARE(find<QPushButton>("connectButton")->text(),
             QCoreApplication::translate("MonitorWindow", "Disconnect"));
}

void MonitorTest::seriesHoldTheSensorsValues_data()
{
    QTest::addColumn<QStringList>("simulatorArguments");
    QTest::addColumn<QStringList>("objects");
    QTest::addColumn<Values>("expected");

    // The average is the integer mean of the raw values of the four units.
    QTest::newRow("average of the default units")
        << QStringList() << QStringList{"avg"} << Values{12.3, 45.6, 790};
    QTest::newRow("units 1 and 3")
        << QStringList() << QStringList{"1", "3"} << Values{12.0, 45.0, 789, 11.0, 43.0, 760};
    QTest::newRow("every object, unit 2 changed")
        << QStringList{"--unit", "2=200,301,402"} << QStringList{"avg", "1", "2", "3", "4"}
        << Values{13.9, 41.1, 688,  12.0, 45.0, 789,  20.0, 30.1,
                  402,  11.0, 43.0, 760,  12.7, 46.6, 801};
}

void MonitorTest::seriesHoldTheSensorsValues()
{
    QFETCH(QStringList, simulatorArguments);
    QFETCH(QStringList, objects);
    QFETCH(Values, expected);
    startSimulator(simulatorArguments + QStringList{"--temperature", "-7", "--humidity", "63"});
    openWindow();
    connectTo(sim->ptyPath(), objects);
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= 3, 10000);

    const SampleSeries &series = chart()->series();
    const int last = series.size() - 1;
    const SampleSeries::Value values[] = {SampleSeries::Value::Pm25, SampleSeries::Value::Pm10,
                                          SampleSeries::Value::Pm100};
    for (int o = 0; o < objects.size(); ++o) {
        const int object = SampleSeries::objectIndex(objects[o]);
        for (int v = 0; v < 3; ++v) {
            const float held = series.values(SampleSeries::seriesOf(object, values[v]))[last];
            QCOMPARE(double(held), double(float(expected[o * 3 + v])));
            QCOMPARE(find<QTableWidget>("readingsTable")->item(object, v)->text(),
                     QString::number(expected[o * 3 + v], 'f', 1));
        }
        QVERIFY(chart()->isSeriesShown(SampleSeries::seriesOf(object, values[0])));
    }
    QCOMPARE(series.values(SampleSeries::temperature)[last], -7.0f);
    QCOMPARE(series.values(SampleSeries::humidity)[last], 63.0f);
    QCOMPARE(find<QLabel>("statusTimeouts")->text(), QStringLiteral("Timeouts: 0"));
    QCOMPARE(find<QLabel>("statusBadReplies")->text(), QStringLiteral("Bad replies: 0"));
    QVERIFY(find<QLabel>("statusPort")->text().contains(sim->ptyPath()));
    QCOMPARE(find<QLabel>("statusDeviceId")->text(), QStringLiteral("Device ID: 2024-0107"));
    QCOMPARE(find<QLabel>("statusFirmware")->text(), QStringLiteral("Firmware: 17-7-11"));
}

namespace {

// The rows of a recorded file without the columns that depend on when it ran: time and late.
QList<QByteArray> rowsWithoutTimes(const QString &path, QByteArray &header)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    header = lines.takeFirst();
    if (lines.constLast().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        QList<QByteArray> fields = line.trimmed().split(',');
        fields.removeFirst();
        fields.removeLast();
        line = fields.join(',');
    }
    return lines;
}

} // namespace

void MonitorTest::recordedFileEqualsCommandLineRecording_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QByteArray>("status"); // one row must have it

    QTest::newRow("clean line") << QStringList() << QByteArray(",ok");
    // Every request unanswered: no identity, no values, a timeout on every row. (Single faults
    // hit different requests in the two, whose identity reads differ in length.)
    QTest::newRow("sensor at another rate")
        << QStringList{"--baud", "19200"} << QByteArray(",timeout");
}

void MonitorTest::recordedFileEqualsCommandLineRecording()
{
    QFETCH(QStringList, faults);
    QFETCH(QByteArray, status);
    startSimulator(faults);
    openWindow();
    const QString path = scratch.filePath(QStringLiteral("window.csv"));
    QFile::remove(path);
    find<QLineEdit>("recordFileEdit")->setText(path);
    find<QPushButton>("recordButton")->click();
    QCOMPARE(find<QLabel>("recordingLabel")->text(), QStringLiteral("Recording to window.csv"));
    connectTo(sim->ptyPath(), {"avg", "2"});
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= 3, 20000);
    find<QPushButton>("recordButton")->click();
    QVERIFY(find<QLabel>("recordingLabel")->text().startsWith(QStringLiteral("Not recording")));
    window.reset();
    sim.reset();

    startSimulator(faults);
    const QString ctlPath = scratch.filePath(QStringLiteral("ctl.csv"));
    QFile::remove(ctlPath);
    QProcess ctl;
    ctl.start(QStringLiteral(PX8107_CTL_PATH),
              {"--port", sim->ptyPath(), "--address", "1", "--retries", "0", "monitor", "--objects",
               "avg,2", "--env", "--interval", "0.2", "--samples", "3", "--output", ctlPath});
    QVERIFY(ctl.waitForFinished(30000));
    QCOMPARE(ctl.exitCode(), 0);

    QByteArray windowHeader;
    QByteArray ctlHeader;
    const QList<QByteArray> windowRows = rowsWithoutTimes(path, windowHeader);
    const QList<QByteArray> ctlRows = rowsWithoutTimes(ctlPath, ctlHeader);
    QCOMPARE(windowHeader, ctlHeader);
    QCOMPARE(ctlRows.size(), 6);
    QVERIFY(windowRows.size() >= 6);
    QCOMPARE(windowRows.mid(0, 6), ctlRows);
    QVERIFY(std::any_of(ctlRows.begin(), ctlRows.end(),
                        [&status](const QByteArray &row) { return row.endsWith(status); }));
}

void MonitorTest::faultsGiveGapsAndCounters_data()
{
    QTest::addColumn<QStringList>("simulatorArguments");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QString>("quietCounter");

    QTest::newRow("dropped replies") << QStringList{"--drop-every", "3"} << "statusTimeouts"
                                     << "statusBadReplies";
    QTest::newRow("corrupted replies") << QStringList{"--corrupt-every", "3"} << "statusBadReplies"
                                       << "statusTimeouts";
}

void MonitorTest::faultsGiveGapsAndCounters()
{
    QFETCH(QStringList, simulatorArguments);
    QFETCH(QString, counter);
    QFETCH(QString, quietCounter);
    startSimulator(simulatorArguments);
    openWindow();
    connectTo(sim->ptyPath(), {"avg"});
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= 6, 15000);

    const auto count = [this](const QString &name) {
        return find<QLabel>(qPrintable(name))->text().section(QLatin1Char(' '), -1).toInt();
    };
    QVERIFY(count(counter) > 0);
    QCOMPARE(count(quietCounter), 0);
    // Every third reply fails: each sample of a measurement and an environment read loses one
    // of them in turn, and the failed value is missing, never zero or the previous one.
    const SampleSeries &series = chart()->series();
    const int pm25 = SampleSeries::seriesOf(0, SampleSeries::Value::Pm25);
    int missing = 0;
    for (int i = 0; i < series.size(); ++i) {
        const float pm = series.values(pm25)[i];
        const float temperature = series.values(SampleSeries::temperature)[i];
        QVERIFY(std::isnan(pm) || pm == 12.3f);
        QVERIFY(std::isnan(temperature) || temperature == 25.0f);
        missing += std::isnan(pm) + std::isnan(temperature);
    }
    QVERIFY(missing > 0);
    QVERIFY(missing < series.size());
}

void MonitorTest::lostPortGivesGapThenData()
{
    // The same link path is served again by a second simulator once the first has vanished.
    const QString link = scratch.filePath(QStringLiteral("sensor-link"));
    startSimulator({"--link", link, "--vanish-after", "8"});
    openWindow();
    const QString recorded = scratch.filePath(QStringLiteral("lost.csv"));
    QFile::remove(recorded);
    find<QLineEdit>("recordFileEdit")->setText(recorded);
    find<QPushButton>("recordButton")->click();
    connectTo(link, {"avg"});
    QTRY_VERIFY_WITH_TIMEOUT(!sim->isRunning(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(find<QLabel>("statusState")->text().startsWith("Port lost"), 5000);
    const int beforeReturn = samplesShown();
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() > beforeReturn + 1, 5000);

    startSimulator({"--link", link});
    QTRY_COMPARE_WITH_TIMEOUT(find<QLabel>("statusState")->text(), QStringLiteral("Sampling"),
                              5000);
    const int afterReturn = samplesShown();
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= afterReturn + 3, 5000);

    const QVector<float> &pm25 =
        chart()->series().values(SampleSeries::seriesOf(0, SampleSeries::Value::Pm25));
    QVERIFY(pm25[0] == 12.3f);
    QVERIFY(std::isnan(pm25[beforeReturn]));
    QCOMPARE(pm25.constLast(), 12.3f);

    QFile file(recorded);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray rows = file.readAll();
    QVERIFY(rows.contains(",avg,,,,,,port-lost,"));
    QVERIFY(rows.endsWith(",ok,0\r\n") || rows.endsWith(",ok,1\r\n"));
}

void MonitorTest::reconnectingLeavesGap()
{
    startSimulator({});
    openWindow();
    connectTo(sim->ptyPath(), {"avg"});
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= 2, 10000);
    auto *button = find<QPushButton>("connectButton");
    button->click();
    QCOMPARE(button->text(), QStringLiteral("Connect"));
    QVERIFY(find<QComboBox>("portBox")->isEnabled());
    const int before = samplesShown();
    button->click();
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= before + 3, 10000);

    const QVector<float> &pm25 =
        chart()->series().values(SampleSeries::seriesOf(0, SampleSeries::Value::Pm25));
    QCOMPARE(pm25[before - 1], 12.3f);
    QVERIFY(std::isnan(pm25[before])); // no line across the time without sampling
    QCOMPARE(pm25.constLast(), 12.3f);
    QCOMPARE(find<QLabel>("statusSamples")->text(),
             QStringLiteral("Samples: %1").arg(chart()->series().size() - before - 1));
}

void MonitorTest::badInputRefused_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QStringList>("objects");
    QTest::addColumn<QString>("message");

    QTest::newRow("no port") << "" << QStringList{"avg"}
                             << "Choose a port, or type the path of one.";
    QTest::newRow("no object") << "@pty" << QStringList()
                               << "Choose at least one object to sample.";
    QTest::newRow("no such port") << "/dev/px8107-none" << QStringList{"avg"}
                                  << "Cannot open /dev/px8107-none: ";
}

void MonitorTest::badInputRefused()
{
    QFETCH(QString, port);
    QFETCH(QStringList, objects);
    QFETCH(QString, message);
    startSimulator({"--verbose"});
    openWindow();
    find<QComboBox>("portBox")->setCurrentText(port == "@pty" ? sim->ptyPath() : port);
    for (const QString &object : SampleSeries::objectNames())
        find<QCheckBox>(qPrintable("object_" + object))->setChecked(objects.contains(object));
    MessageBoxCloser closer;
    find<QPushButton>("connectButton")->click();
    QTRY_COMPARE(closer.seen.size(), 1);
    QVERIFY2(closer.seen[0].text.startsWith(message), qPrintable(closer.seen[0].text));
    QCOMPARE(find<QPushButton>("connectButton")->text(), QStringLiteral("Connect"));
    QVERIFY2(!sim->log().contains(" rx "), sim->log().constData());
}

void MonitorTest::zoomLeavesFollowModeAndButtonResumes()
{
    startSimulator({});
    openWindow();
    connectTo(sim->ptyPath(), {"avg"});
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= 3, 10000);
    auto *follow = find<QPushButton>("followButton");
    QVERIFY(follow->isChecked());

    auto *plot = chart()->findChild<QCustomPlot *>("plot");
    const QPoint centre = plot->axisRect()->rect().center();
    QWheelEvent wheel(centre, plot->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(plot, &wheel);
    QVERIFY(!follow->isChecked());
    const QCPRange zoomed = chart()->visibleRange();
    const int shown = samplesShown();
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= shown + 2, 5000);
    QCOMPARE(chart()->visibleRange(), zoomed);

    follow->click();
    QVERIFY(chart()->isFollowing());
    QCOMPARE(chart()->visibleRange().upper, chart()->series().times().constLast());
    find<QPushButton>("window5min")->click();
    QCOMPARE(chart()->visibleRange().size(), LivePlot::lastFiveMinutes);
}

void MonitorTest::legendTogglesSeries()
{
    openWindow();
    auto *plot = chart()->findChild<QCustomPlot *>("plot");
    const int pm10 = SampleSeries::seriesOf(0, SampleSeries::Value::Pm10);
    QCPAbstractLegendItem *item = plot->legend->itemWithPlottable(plot->graph(pm10));
    QVERIFY(item);
    plot->replot();
    QTest::mouseClick(plot, Qt::LeftButton, {}, item->rect().center());
    QVERIFY(!chart()->isSeriesShown(pm10));
    QTest::mouseClick(plot, Qt::LeftButton, {}, item->rect().center());
    QVERIFY(chart()->isSeriesShown(pm10));
}

void MonitorTest::alertLevelColoursReadings()
{
    startSimulator({});
    openWindow();
    find<QDoubleSpinBox>("alertPm10")->setValue(45.5);
    find<QDoubleSpinBox>("alertPm100")->setValue(790);
    connectTo(sim->ptyPath(), {"avg", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= 2, 10000);
    auto *table = find<QTableWidget>("readingsTable");
    const auto alerted = [table](int row, int column) {
        return table->item(row, column)->data(Qt::BackgroundRole).isValid();
    };
    QVERIFY(alerted(0, 1));  // 45.6 over 45.5
    QVERIFY(!alerted(1, 1)); // 45.0
    QVERIFY(!alerted(0, 2)); // 790 is not over 790
    QVERIFY(!alerted(0, 0)); // no level
    find<QDoubleSpinBox>("alertPm10")->setValue(0);
    QVERIFY(!alerted(0, 1));
}

void MonitorTest::recordingRefused_data()
{
    QTest::addColumn<QByteArray>("existing"); // the file's content before, or null for none
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("message");

    QTest::newRow("no file named") << QByteArray() << ""
                                   << "Choose a file to record to.";
    QTest::newRow("a file with other columns")
        << QByteArray("time,object,pm2_5\n1,avg,3\n") << "other.csv"
        << "Cannot record to ";
    QTest::newRow("a directory") << QByteArray() << "."
                                 << "Cannot record to ";
}

void MonitorTest::recordingRefused()
{
    QFETCH(QByteArray, existing);
    QFETCH(QString, fileName);
    QFETCH(QString, message);
    const QString path = fileName.isEmpty() ? QString() : scratch.filePath(fileName);
    if (!existing.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(existing);
    }
    openWindow();
    find<QLineEdit>("recordFileEdit")->setText(path);
    MessageBoxCloser closer;
    find<QPushButton>("recordButton")->click();
    QTRY_COMPARE(closer.seen.size(), 1);
    QVERIFY2(closer.seen[0].text.startsWith(message), qPrintable(closer.seen[0].text));
    QCOMPARE(find<QPushButton>("recordButton")->text(), QStringLiteral("Record"));
    if (!existing.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), existing); // nothing recorded is lost
    }
}

void MonitorTest::chartExported()
{
    startSimulator({});
    openWindow();
    connectTo(sim->ptyPath(), {"avg"});
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= 2, 10000);
    QString error;
    const QString png = scratch.filePath(QStringLiteral("chart.png"));
    QVERIFY2(window->exportChart(png, error), qPrintable(error));
    QVERIFY(!QImage(png).isNull());
    const QString svg = scratch.filePath(QStringLiteral("chart.svg"));
    QVERIFY2(window->exportChart(svg, error), qPrintable(error));
    QFile svgFile(svg);
    QVERIFY(svgFile.open(QIODevice::ReadOnly));
    const QByteArray drawing = svgFile.readAll();
    QVERIFY(drawing.contains("<svg") && drawing.contains("<polyline"));
    QVERIFY(!window->exportChart(scratch.filePath(QStringLiteral("chart.bmp")), error));
    QVERIFY(error.contains(".png or .svg"));
}

void MonitorTest::settingsRememberedAcrossRestart()
{
    openWindow();
    find<QComboBox>("portBox")->setCurrentText(QStringLiteral("/dev/ttyUSB7"));
    find<QComboBox>("rateBox")->setCurrentText(QStringLiteral("19200"));
    find<QSpinBox>("addressBox")->setValue(42);
    find<QCheckBox>("object_avg")->setChecked(false);
    find<QCheckBox>("object_3")->setChecked(true);
    find<QDoubleSpinBox>("intervalBox")->setValue(2.5);
    find<QDoubleSpinBox>("alertPm25")->setValue(35);
    find<QPushButton>("window24h")->click();
    window->close();
    window.reset();

    openWindow();
    QCOMPARE(find<QComboBox>("portBox")->currentText(), QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(find<QComboBox>("rateBox")->currentText(), QStringLiteral("19200"));
    QCOMPARE(find<QSpinBox>("addressBox")->value(), 42);
    QVERIFY(!find<QCheckBox>("object_avg")->isChecked());
    QVERIFY(find<QCheckBox>("object_3")->isChecked());
    QCOMPARE(find<QDoubleSpinBox>("intervalBox")->value(), 2.5);
    QCOMPARE(find<QDoubleSpinBox>("alertPm25")->value(), 35.0);
    QVERIFY(find<QPushButton>("window24h")->isChecked());
    QCOMPARE(chart()->timeWindow(), LivePlot::lastDay);
}

void MonitorTest::fitsSmallScreen_data()
{
    QTest::addColumn<QString>("catalogue");
    QTest::newRow("English") << QString();
    QTest::newRow("Chinese") << QStringLiteral(":/ts/monitor_zh_CN.qm");
}

void MonitorTest::fitsSmallScreen()
{
    QFETCH(QString, catalogue);
    QTranslator translator;
    if (!catalogue.isEmpty()) {
        QVERIFY(translator.load(catalogue));
        QCoreApplication::installTranslator(&translator);
    }
    startSimulator({});
    openWindow();
    connectTo(sim->ptyPath(), SampleSeries::objectNames());
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= 1, 10000);
    // A 1366x768 screen, less a title bar and a panel.
    const QSize needed = window->minimumSizeHint().expandedTo(window->minimumSize());
    QVERIFY2(needed.width() <= 1366 && needed.height() <= 700,
             qPrintable(QStringLiteral("%1x%2").arg(needed.width()).arg(needed.height())));
    QCoreApplication::removeTranslator(&translator);
}

void MonitorTest::chineseCatalogue()
{
    QTranslator catalogue;
    QVERIFY(catalogue.load(QStringLiteral(":/ts/monitor_zh_CN.qm")));
    QCoreApplication::installTranslator(&catalogue);
    openWindow();
    QCOMPARE(find<QPushButton>("connectButton")->text(), QStringLiteral("连接"));
    QCOMPARE(find<QPushButton>("window24h")->text(), QStringLiteral("24 小时"));
    QCOMPARE(find<QLabel>("statusSamples")->text(), QStringLiteral("采样：0"));
    MessageBoxCloser closer;
    find<QPushButton>("recordButton")->click();
    QTRY_COMPARE(closer.seen.size(), 1);
    QCOMPARE(closer.seen[0].text, QStringLiteral("请选择记录文件。"));
    QCoreApplication::removeTranslator(&catalogue);
}

void MonitorTest::samplesPublishedToBroker_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("accepted") << "s3cret";
    QTest::newRow("wrong password") << "wrong";
}

// Each recorded row arrives at a real broker once, in order, under its device and object; a
// broker that refuses the login gets none, and the window samples and records on.
void MonitorTest::samplesPublishedToBroker()
{
    QFETCH(QString, password);
    const bool accepted = password == QLatin1String("s3cret");
    MosquittoBroker broker(QList<MosquittoBroker::Login>{{"bench", "s3cret"}});
    QVERIFY(broker.start());
    QProcess subscriber;
    // Line-buffered, so that the subscription's acknowledgement is seen before the window starts.
    subscriber.start(QStringLiteral("stdbuf"),
                     {"-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p",
                      QString::number(broker.port()), "-u", "bench", "-P", "s3cret", "-q", "1",
                      "-v", "-d", "-t", "monitortest/#"});
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += subscriber.readAllStandardOutput()).contains("SUBACK"),
                             10000);

    startSimulator({});
    openWindow();
    MqttSettings settings;
    settings.endpoint = *parseMqttUrl(broker.url(), nullptr);
    settings.topicPrefix = QStringLiteral("monitortest");
    settings.credentials = {QStringLiteral("bench"), password};
    window->setMqttSettings(settings);
    const QString path = scratch.filePath(QStringLiteral("published.csv"));
    QFile::remove(path);
    find<QLineEdit>("recordFileEdit")->setText(path);
    find<QPushButton>("recordButton")->click();
    connectTo(sim->ptyPath(), {"avg", "2"});
    QTRY_VERIFY_WITH_TIMEOUT(find<QLabel>("statusMqtt")
                                 ->text()
                                 .startsWith(accepted ? "MQTT: connected" : "MQTT: refused"),
                             10000);
    const int shownOnceKnown = samplesShown();
    QTRY_VERIFY_WITH_TIMEOUT(samplesShown() >= qMax(5, shownOnceKnown + 3), 20000);
    find<QPushButton>("connectButton")->click();
    find<QPushButton>("recordButton")->click();
    QCOMPARE(find<QLabel>("statusMqtt")->text(),
             accepted ? QStringLiteral("MQTT: every sample delivered") : "MQTT: refused");
    QCOMPARE(window->findChild<QMessageBox *>("mqttFailureBox") == nullptr, accepted);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<QByteArray> recorded = file.readAll().split('\n').mid(1);
    recorded.removeAll(QByteArray());
    QCOMPARE(recorded.size(), samplesShown() * 2);
    QList<QByteArray> expected; // "<topic> <time>"; a row is time,device_id,address,object,…
    for (const QByteArray &row : recorded)
        if (accepted)
            expected << "monitortest/" + row.split(',')[1] + '/' + row.split(',')[3] + ' ' +
                            row.split(',')[0];
    const auto published = [&received] {
        QList<QByteArray> samples;
        for (const QByteArray &line : received.split('\n')) {
            const QByteArray topic = line.left(line.indexOf(' '));
            if (topic.startsWith("monitortest/") && !topic.endsWith("/status") &&
                !topic.endsWith("/info"))
                samples << topic + ' ' +
                               QJsonDocument::fromJson(line.mid(topic.size() + 1))["time"]
                                   .toString()
                                   .toUtf8();
        }
        return samples;
    };
    QTRY_COMPARE_WITH_TIMEOUT((received += subscriber.readAllStandardOutput(), published()),
                              expected, 5000);
    subscriber.kill();
    subscriber.waitForFinished();
}

QTEST_MAIN(MonitorTest)
#include "tst_monitor.moc"
