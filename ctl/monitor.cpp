#include "ctl/commands.h"
#include "ctl/identity.h"
#include "ctl/interrupt.h"
#include "mqtt/mqttcommandline.h"
#include "record/recordfile.h"
#include "record/samplerow.h"
#include "record/sampleschedule.h"
#include "serial/portlink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>
#include <cmath>
#include <memory>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("px8107ctl", text);
}

constexpr qint64 reopenPeriodMs = 1000;
constexpr qint64 interruptPollMs = 50;
constexpr qint64 progressPeriodMs = 1000;
constexpr int brokerFinishWaitMs = 5000;

const QStringList allObjects = {"avg", "1", "2", "3", "4"};

struct MonitorOptions
{
    QStringList objects{QStringLiteral("avg")};
    bool environment = false;
    qint64 intervalMs = 1000;
    qint64 samples = -1;    // kept samples; -1 without limit
    qint64 durationMs = -1; // -1 without limit
    int warmup = 0;
    RecordFormat format = RecordFormat::Csv;
    QString output;
};

// "90", "90s", "1.5m", "2h": milliseconds, or nothing.
std::optional<qint64> parseDuration(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+(?:\\.\\d+)?)([smh]?)$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString unit = match.captured(2);
    const double scale = unit == "h" ? 3600e3 : unit == "m" ? 60e3 : 1e3;
    const double ms = match.captured(1).toDouble() * scale;
    if (ms > 1e13)
        return std::nullopt;
    return std::llround(ms);
}

std::optional<QStringList> parseObjects(const QString &text)
{
    QStringList objects;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QString object = part.trimmed().toLower();
        if (object == QLatin1String("all")) {
            for (const QString &each : allObjects)
                if (!objects.contains(each))
                    objects << each;
        } else if (allObjects.contains(object) && !objects.contains(object)) {
            objects << object;
        } else {
            return std::nullopt;
        }
    }
    return objects;
}

std::optional<qint64> parseCount(const QString &text, qint64 minimum)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < minimum)
        return std::nullopt;
    return value;
}

QString statusOf(const ClientFailure &failure)
{
    if (failure.kind == ClientFailure::Kind::Reply)
        return QLatin1String(reply::outcomeName(failure.outcome));
    return QStringLiteral("bad-value");
}

class MonitorRun
{
public:
    MonitorRun(Session &session, const MonitorOptions &options, RecordFile &file,
               MqttPublisher *publisher)
        : session_(session), client_(session.client), engine_(session.engine), options_(options),
          file_(file), publisher_(publisher), portName_(session.options.port),
          byIdLink_(stableLinkFor(portName_)), baud_(session.engine.baudRate())
    {
    }

    ExitCode run(const QString &deviceId);

private:
    bool waitUntil(qint64 dueMs);
    bool brokerFailed() const { return publisher_ && publisher_->failure() != MqttFailure::None; }
    void reopenIfDue();
    QVector<SampleRow> takeSample();
    void showProgress();

    Session &session_;
    SensorClient &client_;
    RequestEngine &engine_;
    const MonitorOptions &options_;
    RecordFile &file_;
    MqttPublisher *publisher_;
    QString portName_;
    QString byIdLink_;
    qint32 baud_;
    QString deviceId_;
    QElapsedTimer clock_;
    qint64 lastReopenMs_ = 0;
    qint64 lastProgressMs_ = -progressPeriodMs;
    qint64 kept_ = 0;
    qint64 failedRows_ = 0;
};

// Waits in the event loop, so the port keeps being served; reopens a lost port meanwhile.
bool MonitorRun::waitUntil(qint64 dueMs)
{
    for (;;) {
        if (interruptRequested() || brokerFailed())
            return false;
        reopenIfDue();
        const qint64 wait = dueMs - clock_.elapsed();
        if (wait <= 0)
            return true;
        QEventLoop loop;
        QTimer::singleShot(int(qMin(wait, interruptPollMs)), &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void MonitorRun::reopenIfDue()
{
    if (engine_.isOpen() || clock_.elapsed() - lastReopenMs_ < reopenPeriodMs)
        return;
    lastReopenMs_ = clock_.elapsed();
    if (!engine_.open(portName_, baud_) && !byIdLink_.isEmpty())
        engine_.open(byIdLink_, baud_);
}

QVector<SampleRow> MonitorRun::takeSample()
{
    const bool portLost = !engine_.isOpen();
    const QDateTime time = QDateTime::currentDateTimeUtc();
    QVector<SampleRow> rows;
    for (const QString &object : options_.objects) {
        SampleRow row;
        row.time = time;
        row.deviceId = deviceId_;
        row.address = client_.unit();
        row.object = object;
        row.status = QStringLiteral("port-lost");
        if (!portLost && engine_.isOpen()) {
            const Answer<decode::Measurement> answer = client_.measurement(objectSelector(object));
            if (answer) {
                row.pm25 = fromTenths(answer->pm25);
                row.pm10 = fromTenths(answer->pm10);
                row.pm100 = answer->pm100;
                row.status = QStringLiteral("ok");
            } else {
                row.status = statusOf(answer.failure);
            }
        }
        rows << row;
    }
    if (options_.environment && engine_.isOpen()) {
        const Answer<Environment> environment = client_.environment();
        for (SampleRow &row : rows) {
            if (environment) {
                row.temperature = environment->temperature;
                row.humidity = environment->humidity;
            } else if (row.status == QLatin1String("ok")) {
                row.status = statusOf(environment.failure);
            }
        }
    }
    return rows;
}

ExitCode MonitorRun::run(const QString &deviceId)
{
    deviceId_ = deviceId;
    clock_.start();
    const SampleSchedule schedule(0, options_.intervalMs, options_.warmup);
    for (qint64 index = 0;; ++index) {
        if (options_.samples >= 0 && kept_ >= options_.samples)
            break;
        qint64 due = schedule.dueMs(index);
        // Without a schedule a lost port is tried, and reported, once per reopening period.
        if (options_.intervalMs == 0 && !engine_.isOpen())
            due = lastReopenMs_ + reopenPeriodMs;
        if (options_.durationMs >= 0 && qMax(due, clock_.elapsed()) >= options_.durationMs)
            break;
        if (!waitUntil(due))
            break;
        const bool late = schedule.isLate(index, clock_.elapsed());
        QVector<SampleRow> rows = takeSample();
        if (schedule.isWarmup(index))
            continue;
        ++kept_;
        for (SampleRow &row : rows) {
            row.late = late;
            failedRows_ += row.status != QLatin1String("ok");
            QString error;
            if (!file_.writeLine(recordLine(options_.format, row, options_.environment), error)) {
                session_.out.diagnostic(QStringLiteral("px8107ctl: ") + error);
                return ExitCode::OutputError;
            }
            if (publisher_)
                publisher_->publishSample(row.object,
                                          jsonLine(row, options_.environment).trimmed());
        }
        showProgress();
    }
    session_.out.endProgress();
    if (brokerFailed()) {
        session_.out.diagnostic(QStringLiteral("px8107ctl: ") + publisher_->errorString());
        return ExitCode::BrokerRefused;
    }
    return ExitCode::Success;
}

void MonitorRun::showProgress()
{
    if (clock_.elapsed() - lastProgressMs_ < progressPeriodMs)
        return;
    lastProgressMs_ = clock_.elapsed();
    session_.out.progress(tr("%1 samples, %2 rows with errors, %3 s elapsed")
                              .arg(kept_)
                              .arg(failedRows_)
                              .arg(clock_.elapsed() / 1000));
}

// The topic needs a device level: without a device ID the sensor is named by its address.
std::unique_ptr<MqttPublisher> startPublisher(Session &session, const MqttSettings &settings,
                                              const Answer<Identity> &identity)
{
    const int address = session.client.unit();
    const QString deviceId =
        identity ? identity->deviceId : QStringLiteral("address-%1").arg(address);
    QJsonObject info{{"device_id", identity ? identity->deviceId : QString()},
                     {"address", address},
                     {"port", session.options.port},
                     {"baud", session.engine.baudRate()},
                     {"program", QStringLiteral("px8107ctl %1").arg(PX8107_VERSION)}};
    if (identity)
        info.insert("firmware", identity->firmware);
    auto publisher = std::make_unique<MqttPublisher>(settings);
    QObject::connect(publisher.get(), &MqttPublisher::notice, [&session](const QString &text) {
        session.out.diagnostic(QStringLiteral("px8107ctl: ") + text);
    });
    if (!publisher->start(deviceId, QJsonDocument(info).toJson(QJsonDocument::Compact))) {
        session.usage(publisher->errorString());
        return nullptr;
    }
    return publisher;
}

void finishPublisher(Session &session, MqttPublisher &publisher)
{
    const bool failed = publisher.failure() != MqttFailure::None;
    const int undelivered = publisher.finish(failed ? 0 : brokerFinishWaitMs);
    QCoreApplication::processEvents();
    if (publisher.droppedCount() > 0)
        session.out.diagnostic(tr("px8107ctl: MQTT: %1 samples dropped while the buffer was full")
                                   .arg(publisher.droppedCount()));
    if (undelivered > 0 && !failed)
        session.out.diagnostic(
            tr("px8107ctl: MQTT: %1 samples not delivered to the broker").arg(undelivered));
}

} // namespace

void addMonitorOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("objects"),
         tr("Objects to sample, comma-separated: avg, 1 to 4, or all (default avg)."),
         tr("avg,1,2,3,4")},
        {QStringLiteral("env"), tr("Also record temperature and humidity.")},
        {QStringLiteral("interval"),
         tr("Seconds between samples (default 1); 0 samples as fast as the line allows."), tr("S")},
        {QStringLiteral("samples"), tr("Stop after N samples (warm-up not counted)."), tr("N")},
        {QStringLiteral("duration"), tr("Stop after D: 90, 90s, 15m, 2h."), tr("D")},
        {QStringLiteral("warmup"), tr("Drop the first N samples."), tr("N")},
        {QStringLiteral("format"), tr("csv (default), jsonl or influx."), tr("FORMAT")},
        {{QStringLiteral("o"), QStringLiteral("output")},
         tr("Append the rows to FILE instead of standard output."),
         tr("FILE")},
    });
    addMqttOptions(parser);
}

ExitCode runMonitor(Session &session)
{
    const QCommandLineParser &parser = session.parser;
    MonitorOptions options;
    if (parser.isSet("objects")) {
        const std::optional<QStringList> objects = parseObjects(parser.value("objects"));
        if (!objects)
            return session.usage(tr("--objects: '%1' is not a list of avg, 1 to 4 or all")
                                     .arg(parser.value("objects")));
        options.objects = *objects;
    }
    options.environment = parser.isSet("env");
    if (parser.isSet("interval")) {
        bool ok = false;
        const double seconds = parser.value("interval").toDouble(&ok);
        if (!ok || !(seconds >= 0) || seconds > 86400)
            return session.usage(tr("--interval: '%1' is not a number of seconds from 0 to 86400")
                                     .arg(parser.value("interval")));
        options.intervalMs = std::llround(seconds * 1000);
    }
    if (parser.isSet("samples") && parser.isSet("duration"))
        return session.usage(tr("--samples and --duration cannot both be given"));
    if (parser.isSet("samples")) {
        const std::optional<qint64> samples = parseCount(parser.value("samples"), 1);
        if (!samples)
            return session.usage(
                tr("--samples: '%1' is not a whole number from 1").arg(parser.value("samples")));
        options.samples = *samples;
    }
    if (parser.isSet("duration")) {
        const std::optional<qint64> duration = parseDuration(parser.value("duration"));
        if (!duration)
            return session.usage(tr("--duration: '%1' is not a duration such as 90, 90s, 15m, 2h")
                                     .arg(parser.value("duration")));
        options.durationMs = *duration;
    }
    if (parser.isSet("warmup")) {
        const std::optional<qint64> warmup = parseCount(parser.value("warmup"), 0);
        if (!warmup || *warmup > 1000000)
            return session.usage(
                tr("--warmup: '%1' is not a whole number from 0").arg(parser.value("warmup")));
        options.warmup = int(*warmup);
    }
    if (parser.isSet("format")) {
        const std::optional<RecordFormat> format = recordFormatFromName(parser.value("format"));
        if (!format)
            return session.usage(
                tr("--format: '%1' is not csv, jsonl or influx").arg(parser.value("format")));
        options.format = *format;
    }
    options.output = parser.value("output");
    std::optional<MqttSettings> mqttSettings;
    if (mqttOptionsGiven(parser)) {
        QString error;
        mqttSettings = mqttSettingsFromCommandLine(parser, &error);
        if (!mqttSettings)
            return session.usage(error);
    }

    // The file is checked before the sensor is touched: a header mismatch costs nothing.
    RecordFile file;
    QString error;
    if (!file.open(options.output, recordHeader(options.format, options.environment), error)) {
        session.out.diagnostic(QStringLiteral("px8107ctl: ") + error);
        return file.headerRefused() ? ExitCode::Usage : ExitCode::OutputError;
    }
    if (const auto failure = session.connect())
        return *failure;
    // A sensor that is silent at the start is recorded as such (timeout rows), at unit 0.
    if (session.client.unit() == 0) {
        const Answer<int> address = session.client.probe();
        if (address)
            session.client.setUnit(quint8(*address));
        else
            session.out.diagnostic(tr("px8107ctl: address not read (%1); reading at unit 0")
                                       .arg(address.failure.text));
    }
    installInterruptHandlers();
    const Answer<Identity> identity = readIdentity(session.client);
    if (!identity)
        session.out.diagnostic(tr("px8107ctl: device ID not read (%1); the rows carry none")
                                   .arg(identity.failure.text));
    std::unique_ptr<MqttPublisher> publisher;
    if (mqttSettings) {
        publisher = startPublisher(session, *mqttSettings, identity);
        if (!publisher)
            return ExitCode::Usage;
    }
    MonitorRun run(session, options, file, publisher.get());
    const ExitCode result = run.run(identity ? identity->deviceId : QString());
    if (publisher)
        finishPublisher(session, *publisher);
    return result;
}
