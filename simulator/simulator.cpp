#include "simulator.h"

#include "serial/codec.h"

#include <QTime>
#include <QtGlobal>
#include <cstdio>

namespace {

constexpr int bitsPerCharacter = 10; // start, 8 data, stop
constexpr int silenceCharacters = 4;
constexpr int minimumSilenceMs = 5; // event-loop timers are not finer than this in practice
// Closing the terminal discards what the tool has not read yet, so the last answer gets a while;
// written bytes take a moment to show up as unread on the terminal side.
constexpr int vanishLingerMs = 1000;
constexpr int drainPollMs = 20;

QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

} // namespace

Simulator::Simulator(PtyPort &port, SensorLine &line, const ServeOptions &options, QObject *parent)
    : QObject(parent), port_(port), line_(line), options_(options)
{
    clock_.start();
    silenceTimer_.setSingleShot(true);
    silenceTimer_.setTimerType(Qt::PreciseTimer);
    sendTimer_.setSingleShot(true);
    sendTimer_.setTimerType(Qt::PreciseTimer);
    connect(&silenceTimer_, &QTimer::timeout, this, &Simulator::lineWentQuiet);
    connect(&sendTimer_, &QTimer::timeout, this, &Simulator::sendDue);
    resume();
}

void Simulator::resume()
{
    framer_.clear();
    framer_.takeDropped();
    outgoing_.clear();
    vanishing_ = false;
    readNotifier_ =
        std::make_unique<QSocketNotifier>(port_.readDescriptor(), QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &Simulator::receive);
    if (requests_ > 0)
        log(QStringLiteral("back on %1").arg(port_.terminalPath()));
}

int Simulator::wireTimeMs(int bytes, qint32 rate) const
{
    if (rate <= 0)
        return 0;
    return int((qint64(bytes) * bitsPerCharacter * 1000 + rate - 1) / rate);
}

void Simulator::log(const QString &text) const
{
    if (!options_.verbose)
        return;
    const QByteArray line =
        QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz ")).toUtf8() + text.toUtf8() +
        '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

void Simulator::receive()
{
    const QByteArray bytes = port_.readAvailable();
    if (bytes.isEmpty())
        return;
    log(QStringLiteral("rx ") + toHexText(bytes).trimmed());
    const LineSettings settings = port_.lineSettings();
    if (!line_.anyUnderstands(settings)) {
        // What arrives with other line settings is noise to the sensors; it is still framed, so
        // that the request log shows what the tool sent.
        log(QStringLiteral("received at %1, %2: no answer")
                .arg(settings.text(), line_.ratesText()));
    }
    // Bytes sent with other settings than the pending ones end what was pending.
    if (framer_.pendingBytes() > 0 && settings != framedAt_) {
        silenceTimer_.stop();
        lineWentQuiet();
        if (vanishing_)
            return;
    }
    framedAt_ = settings;
    framer_.append(bytes);
    while (std::optional<Request> request = framer_.next()) {
        serve(*request);
        if (vanishing_)
            return;
    }
    reportDropped();
    const int silenceMs = qMax(minimumSilenceMs, wireTimeMs(silenceCharacters, framedAt_.baud));
    if (framer_.pendingBytes() > 0)
        silenceTimer_.start(silenceMs);
    else
        silenceTimer_.stop();
}

void Simulator::lineWentQuiet()
{
    const int pending = framer_.pendingBytes();
    for (const Request &request : framer_.flush()) {
        serve(request);
        if (vanishing_)
            return;
    }
    if (pending > 0)
        log(QStringLiteral("line quiet with an incomplete frame"));
    reportDropped();
}

void Simulator::reportDropped()
{
    const QByteArray dropped = framer_.takeDropped();
    if (!dropped.isEmpty())
        log(QStringLiteral("noise [%1]: no frame starts there").arg(hexText(dropped)));
}

void Simulator::serve(const Request &request)
{
    ++requests_;
    const LineExchange exchange = line_.handle(request, framedAt_);
    log(QStringLiteral("request %1 [%2] at %3: %4")
            .arg(requests_)
            .arg(hexText(request.bytes), framedAt_.text(), exchange.note));

    const qint64 nowMs = clock_.elapsed();
    if (!exchange.reply.isEmpty()) {
        ++replies_;
        const ShapedReply shaped = shapeReply(options_.faults, replies_, exchange.reply);
        if (!shaped.faults.isEmpty())
            log(QStringLiteral("reply %1 %2").arg(replies_).arg(shaped.faults));
        if (shaped.dropped) {
            if (!exchange.rateChanges.empty())
                enqueue({}, nowMs, exchange.rateChanges);
        } else {
            const qint64 dueMs =
                nowMs + wireTimeMs(request.bytes.size() + exchange.reply.size(), framedAt_.baud) +
                options_.processingMs + shaped.extraDelayMs;
            if (shaped.secondPart.isEmpty()) {
                enqueue(shaped.firstPart, dueMs, exchange.rateChanges);
            } else {
                enqueue(shaped.firstPart, dueMs, {});
                enqueue(shaped.secondPart, dueMs + shaped.pauseMs, exchange.rateChanges);
            }
        }
    } else if (!exchange.rateChanges.empty()) {
        enqueue({}, nowMs, exchange.rateChanges);
    }

    if (options_.vanishAfter > 0 && requests_ == options_.vanishAfter) {
        vanishing_ = true;
        readNotifier_->setEnabled(false);
        silenceTimer_.stop();
        if (outgoing_.empty())
            vanishWhenRead(QDeadlineTimer(vanishLingerMs));
    }
}

void Simulator::vanishWhenRead(QDeadlineTimer deadline)
{
    QTimer::singleShot(drainPollMs, this, [this, deadline] {
        if (port_.unreadBytes() == 0 || deadline.hasExpired()) {
            log(QStringLiteral("vanishing"));
            readNotifier_.reset();
            emit vanished();
        } else {
            vanishWhenRead(deadline);
        }
    });
}

void Simulator::enqueue(const QByteArray &bytes, qint64 dueMs,
                        const std::vector<RateChange> &changes)
{
    // One reply at a time on the line, in the order of the requests.
    lastDueMs_ = qMax(dueMs, lastDueMs_);
    outgoing_.push_back({bytes, lastDueMs_, changes});
    if (!sendTimer_.isActive())
        sendTimer_.start(int(qMax<qint64>(0, outgoing_.front().dueMs - clock_.elapsed())));
}

void Simulator::sendDue()
{
    while (!outgoing_.empty() && outgoing_.front().dueMs <= clock_.elapsed()) {
        const Outgoing out = outgoing_.front();
        outgoing_.pop_front();
        if (!out.bytes.isEmpty()) {
            const qint64 written = port_.write(out.bytes);
            log(QStringLiteral("tx ") + toHexText(out.bytes).trimmed());
            if (written < out.bytes.size())
                log(QStringLiteral("line full, %1 byte(s) lost").arg(out.bytes.size() - written));
        }
        for (const RateChange &change : out.rateChanges) {
            line_.sensor(change.sensor).setLineRate(change.rate);
            log(QStringLiteral("line rate now %1").arg(change.rate) +
                (line_.size() > 1 ? QStringLiteral(" (sensor %1)").arg(change.sensor + 1)
                                  : QString()));
        }
    }
    if (!outgoing_.empty())
        sendTimer_.start(int(qMax<qint64>(0, outgoing_.front().dueMs - clock_.elapsed())));
    else if (vanishing_)
        vanishWhenRead(QDeadlineTimer(vanishLingerMs));
}
