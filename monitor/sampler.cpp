#include "sampler.h"

#include "commands/nativeframe.h"
#include "commands/requests.h"
#include "commands/settingkeys.h"
#include "replies/decoders.h"
#include "replies/rxbuffer.h"
#include "serial/codec.h"
#include "serial/portlink.h"

#include <cmath>

namespace {

// A switch back that fails on a noisy line is tried again: a sensor left in the native protocol
// would answer nothing else.
constexpr int backToModbusAttempts = 3;

const QString statusOk = QStringLiteral("ok");

// As the sensor reports them: PM2.5 and PM10 in tenths, PM100 whole.
std::optional<double> inTenths(float value)
{
    return std::round(double(value) * 10) / 10;
}

quint8 objectCode(const QString &object)
{
    return object == QLatin1String("avg") ? 0 : quint8(object.toInt());
}

} // namespace

Sampler::Sampler(QObject *parent) : QObject(parent)
{
    due_.setSingleShot(true);
    due_.setTimerType(Qt::PreciseTimer);
    connect(&due_, &QTimer::timeout, this, &Sampler::takeSample);
}

Sampler::~Sampler() = default;

bool Sampler::start(const SamplerSettings &settings, QString &error)
{
    stop();
    settings_ = settings;
    engine_ = std::make_unique<RequestEngine>();
    if (!engine_->open(settings.portName, settings.baudRate)) {
        error = engine_->errorText();
        engine_.reset();
        return false;
    }
    // A failed read is a gap at its place on the schedule; a retry would only push the next one.
    engine_->setRetries(0);
    connect(engine_.get(), &RequestEngine::finished, this, &Sampler::finished);
    connect(engine_.get(), &RequestEngine::portLost, this, &Sampler::portLost);
    counters_ = {};
    deviceId_.clear();
    firmware_.clear();
    // The device ID and firmware are answered only in the native protocol: switch to it, read
    // them and switch back before the schedule starts.
    engine_->submit(protocolWrite(ProtocolCode::Native));
    deviceIdRequest_ = engine_->submit(native::deviceInfoQuery());
    firmwareRequest_ = engine_->submit(native::firmwareQuery());
    backToModbusRequest_ = engine_->submit(protocolWrite(ProtocolCode::Modbus));
    backToModbusAttempts_ = 1;
    running_ = true;
    index_ = 0;
    lastReopenMs_ = 0; // the clock restarts with the schedule
    inFlight_ = false;
    schedule_ = std::make_unique<SampleSchedule>(0, settings.intervalMs);
    return true;
}

void Sampler::stop()
{
    running_ = false;
    due_.stop();
    inFlight_ = false;
    measurementRequests_.clear();
    // A new engine per run: requests still queued in the old one die with it. Deleted later, as
    // this may run inside one of its signals; a child, so that it goes with the sampler at last.
    if (engine_) {
        engine_->disconnect(this);
        engine_->close();
        RequestEngine *old = engine_.release();
        old->setParent(this);
        old->deleteLater();
    }
}

void Sampler::scheduleNext()
{
    if (!running_)
        return;
    due_.start(int(schedule_->waitMs(index_, clock_.elapsed())));
}

QVector<SampleRow> Sampler::rowsWithStatus(const QString &status) const
{
    QVector<SampleRow> rows;
    for (const QString &object : settings_.objects) {
        SampleRow row;
        row.time = sampleTime_;
        row.deviceId = deviceId_;
        row.address = settings_.address;
        row.object = object;
        row.status = status;
        row.late = late_;
        rows.append(row);
    }
    return rows;
}

void Sampler::takeSample()
{
    if (!running_)
        return;
    if (inFlight_)
        return; // the sample in flight schedules this one when it completes
    late_ = schedule_->isLate(index_, clock_.elapsed());
    sampleTime_ = QDateTime::currentDateTimeUtc();
    reopenIfDue();
    if (!engine_->isOpen()) {
        rows_ = rowsWithStatus(QStringLiteral("port-lost"));
        completeSample();
        return;
    }
    rows_ = rowsWithStatus(statusOk);
    measurementRequests_.clear();
    for (int i = 0; i < settings_.objects.size(); ++i) {
        const QByteArray request =
            modbus::toUnit(requests::query(Register::Measurement, objectCode(settings_.objects[i])),
                           settings_.address);
        measurementRequests_.insert(engine_->submit(request), i);
    }
    environmentRequest_ =
        engine_->submit(modbus::toUnit(requests::query(Register::TempHumi), settings_.address));
    outstanding_ = int(measurementRequests_.size()) + 1;
    inFlight_ = true;
}

QByteArray Sampler::protocolWrite(ProtocolCode protocol) const
{
    const settings::SettingKey &key = *settings::find(QStringLiteral("protocol"));
    return modbus::toUnit(settings::writeRequest(key, int(protocol)), settings_.address);
}

void Sampler::finished(const RequestEngine::Result &result)
{
    if (result.id == deviceIdRequest_ || result.id == firmwareRequest_) {
        if (result.ok()) {
            const QString text = decode::nativeFrame(RxBuffer::fromRead(result.reply), 0).text;
            (result.id == deviceIdRequest_ ? deviceId_ : firmware_) = text;
            emit identified();
        }
        return;
    }
    if (result.id == backToModbusRequest_) {
        const bool portGone = result.outcome == reply::Outcome::PortLost ||
                              result.outcome == reply::Outcome::PortUnavailable;
        if (!result.ok() && !portGone && backToModbusAttempts_ < backToModbusAttempts) {
            ++backToModbusAttempts_;
            backToModbusRequest_ = engine_->submit(protocolWrite(ProtocolCode::Modbus));
            return;
        }
        // The schedule starts once the line is free, so that its first samples are not late.
        if (running_) {
            clock_.start();
            scheduleNext();
        }
        return;
    }
    const bool isEnvironment = inFlight_ && result.id == environmentRequest_;
    if (!isEnvironment && !measurementRequests_.contains(result.id))
        return;

    const bool portGone = result.outcome == reply::Outcome::PortLost ||
                          result.outcome == reply::Outcome::PortUnavailable;
    if (result.outcome == reply::Outcome::Timeout)
        ++counters_.timeouts;
    else if (!result.ok() && !portGone)
        ++counters_.badReplies;

    // Requests queued behind the one that lost the port are, for the record, lost with it.
    const QString status = result.ok() ? statusOk
                           : portGone  ? QStringLiteral("port-lost")
                                       : QLatin1String(reply::outcomeName(result.outcome));
    const RxBuffer buffer = RxBuffer::fromRead(result.reply);
    if (isEnvironment) {
        const decode::BytePair pair = decode::tempHumi(buffer);
        for (SampleRow &row : rows_) {
            if (result.ok()) {
                row.temperature = pair.high;
                row.humidity = pair.low;
            } else if (row.status == statusOk) {
                row.status = status;
            }
        }
    } else {
        const int index = measurementRequests_.take(result.id);
        SampleRow row = rows_.at(index);
        if (result.ok()) {
            const decode::Measurement m = decode::measurement(buffer);
            row.pm25 = inTenths(m.pm25);
            row.pm10 = inTenths(m.pm10);
            row.pm100 = m.pm100;
        } else {
            // The environment reply may already have marked the row; the measurement's own
            // failure says more.
            row.status = status;
        }
        rows_.replace(index, row);
    }
    if (--outstanding_ == 0)
        completeSample();
}

void Sampler::completeSample()
{
    inFlight_ = false;
    ++counters_.samples;
    ++index_;
    const QVector<SampleRow> rows = rows_;
    emit sampled(rows);
    scheduleNext();
}

void Sampler::reopenIfDue()
{
    if (engine_->isOpen() || clock_.elapsed() - lastReopenMs_ < reopenPeriodMs)
        return;
    lastReopenMs_ = clock_.elapsed();
    const QString link = stableLinkFor(settings_.portName);
    if (engine_->open(settings_.portName, settings_.baudRate) ||
        (!link.isEmpty() && engine_->open(link, settings_.baudRate)))
        emit portReopened();
}
