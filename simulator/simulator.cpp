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

} // namespace

Simulator::Simulator(PtyPort &port, SensorModel &model, const ServeOptions &options,
                     QObject *parent)
    : QObject(parent), port_(port), model_(model), options_(options),
      readNotifier_(port.readDescriptor(), QSocketNotifier::Read)
{
    clock_.start();
    silenceTimer_.setSingleShot(true);
    silenceTimer_.setTimerType(Qt::PreciseTimer);
    sendTimer_.setSingleShot(true);
    sendTimer_.setTimerType(Qt::PreciseTimer);
    connect(&readNotifier_, &QSocketNotifier::activated, this, &Simulator::receive);
    connect(&silenceTimer_, &QTimer::timeout, this, &Simulator::lineWentQuiet);
    connect(&sendTimer_, &QTimer::timeout, this, &Simulator::sendDue);
}

int Simulator::wireTimeMs(int bytes) const
{
    const qint32 rate = model_.lineRate();
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
    const qint32 terminalRate = port_.terminalRate();
    if (terminalRate != model_.lineRate()) {
        // What arrives at another rate is noise to the sensor, and so is a frame it lands in.
        framer_.clear();
        log(QStringLiteral("received at %1 baud, sensor at %2: no answer")
                .arg(terminalRate)
                .arg(model_.lineRate()));
        return;
    }
    framer_.append(bytes);
    while (std::optional<Request> request = framer_.next()) {
        serve(*request);
        if (vanishing_)
            return;
    }
    reportDropped();
    const int silenceMs = qMax(minimumSilenceMs, wireTimeMs(silenceCharacters));
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
    if (const int dropped = framer_.takeDroppedCount())
        log(QStringLiteral("dropped %1 byte(s) that start no valid request").arg(dropped));
}

void Simulator::serve(const Request &request)
{
    ++requests_;
    const Exchange exchange = model_.handle(request);
    log(QStringLiteral("request %1: %2").arg(requests_).arg(exchange.note));

    const qint64 nowMs = clock_.elapsed();
    if (!exchange.reply.isEmpty()) {
        ++replies_;
        const ShapedReply shaped = shapeReply(options_.faults, replies_, exchange.reply);
        if (!shaped.faults.isEmpty())
            log(QStringLiteral("reply %1 %2").arg(replies_).arg(shaped.faults));
        if (shaped.dropped) {
            if (exchange.lineRateAfterReply)
                enqueue({}, nowMs, exchange.lineRateAfterReply);
        } else {
            const qint64 dueMs = nowMs + wireTimeMs(request.bytes.size() + exchange.reply.size()) +
                                 options_.processingMs + shaped.extraDelayMs;
            if (shaped.secondPart.isEmpty()) {
                enqueue(shaped.firstPart, dueMs, exchange.lineRateAfterReply);
            } else {
                enqueue(shaped.firstPart, dueMs, 0);
                enqueue(shaped.secondPart, dueMs + shaped.pauseMs, exchange.lineRateAfterReply);
            }
        }
    } else if (exchange.lineRateAfterReply) {
        enqueue({}, nowMs, exchange.lineRateAfterReply);
    }

    if (options_.vanishAfter > 0 && requests_ >= options_.vanishAfter) {
        vanishing_ = true;
        readNotifier_.setEnabled(false);
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
            emit vanished();
        } else {
            vanishWhenRead(deadline);
        }
    });
}

void Simulator::enqueue(const QByteArray &bytes, qint64 dueMs, qint32 lineRateAfter)
{
    // One reply at a time on the line, in the order of the requests.
    lastDueMs_ = qMax(dueMs, lastDueMs_);
    outgoing_.push_back({bytes, lastDueMs_, lineRateAfter});
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
        if (out.lineRateAfter) {
            model_.setLineRate(out.lineRateAfter);
            log(QStringLiteral("line rate now %1").arg(out.lineRateAfter));
        }
    }
    if (!outgoing_.empty())
        sendTimer_.start(int(qMax<qint64>(0, outgoing_.front().dueMs - clock_.elapsed())));
    else if (vanishing_)
        vanishWhenRead(QDeadlineTimer(vanishLingerMs));
}
