#pragma once

#include "commands/registermap.h"
#include "record/samplerow.h"
#include "record/sampleschedule.h"
#include "serial/requestengine.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

struct SamplerSettings
{
    QString portName;
    qint32 baudRate = 9600;
    quint8 address = 1;
    QStringList objects{QStringLiteral("avg")}; // "avg", "1" to "4"
    qint64 intervalMs = 1000;
};

// Samples one sensor on a fixed schedule without ever waiting in the caller: every request goes
// through the engine's queue and each sample is reported once all its replies are in. A lost port
// gives "port-lost" rows at the schedule and is reopened every second.
class Sampler : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 minimumIntervalMs = 200;
    static constexpr qint64 maximumIntervalMs = 60000;
    static constexpr qint64 reopenPeriodMs = 1000;

    struct Counters
    {
        quint64 samples = 0;
        quint64 timeouts = 0;
        quint64 badReplies = 0; // every other failed transaction but a lost port
    };

    explicit Sampler(QObject *parent = nullptr);
    ~Sampler() override;

    // Opens the port and starts; false with a message when the port cannot be opened.
    bool start(const SamplerSettings &settings, QString &error);
    void stop();
    bool isRunning() const { return running_; }
    bool isPortOpen() const { return engine_ && engine_->isOpen(); }
    const SamplerSettings &settings() const { return settings_; }
    const Counters &counters() const { return counters_; }
    QString deviceId() const { return deviceId_; }
    QString firmware() const { return firmware_; }

signals:
    // One row per object, all with the time the sample was due to start.
    void sampled(const QVector<SampleRow> &rows);
    void identified();
    void portLost(const QString &message);
    void portReopened();

private:
    void scheduleNext();
    void takeSample();
    void finished(const RequestEngine::Result &result);
    void completeSample();
    void reopenIfDue();
    QVector<SampleRow> rowsWithStatus(const QString &status) const;
    QByteArray protocolWrite(ProtocolCode protocol) const;

    std::unique_ptr<RequestEngine> engine_;
    SamplerSettings settings_;
    std::unique_ptr<SampleSchedule> schedule_;
    QElapsedTimer clock_;
    QTimer due_;
    bool running_ = false;
    qint64 index_ = 0;
    qint64 lastReopenMs_ = 0;
    Counters counters_;
    QString deviceId_;
    QString firmware_;
    quint64 deviceIdRequest_ = 0;
    quint64 firmwareRequest_ = 0;
    quint64 backToModbusRequest_ = 0;
    int backToModbusAttempts_ = 0;

    // The sample in flight: the request id of each object's measurement and of the environment.
    bool inFlight_ = false;
    bool late_ = false;
    QDateTime sampleTime_;
    QHash<quint64, int> measurementRequests_; // id -> index into settings_.objects
    quint64 environmentRequest_ = 0;
    QVector<SampleRow> rows_;
    int outstanding_ = 0;
};
