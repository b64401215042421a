#include "requestengine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <cmath>

namespace {
constexpr int bitsPerCharacter = 10; // start, 8 data, stop
constexpr double silenceCharacters = 3.5;
constexpr double shortestSilenceMs = 1.75;

bool isRetried(reply::Outcome outcome)
{
    switch (outcome) {
    case reply::Outcome::Ok:
    case reply::Outcome::Exception:
    case reply::Outcome::PortLost:
    case reply::Outcome::PortUnavailable:
        return false;
    default:
        return true;
    }
}

int wholeMs(double ms)
{
    return int(std::ceil(ms));
}
} // namespace

QString RequestEngine::Result::text() const
{
    if (outcome == reply::Outcome::Exception)
        return reply::exceptionText(exceptionCode);
    return reply::outcomeText(outcome);
}

RequestEngine::RequestEngine(QObject *parent) : QObject(parent)
{
    for (QTimer *timer : {&timeout_, &silence_, &gap_}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&port_, &QSerialPort::readyRead, this, &RequestEngine::readAvailable);
    connect(&port_, &QSerialPort::errorOccurred, this, &RequestEngine::portError);
    connect(&port_, &QSerialPort::bytesWritten, this, [this] {
        if (active_ && !current_.expectsReply && port_.bytesToWrite() == 0)
            complete(reply::Outcome::Ok);
    });
    connect(&timeout_, &QTimer::timeout, this, &RequestEngine::timedOut);
    connect(&silence_, &QTimer::timeout, this, &RequestEngine::lineWentSilent);
    connect(&gap_, &QTimer::timeout, this, &RequestEngine::writeActive);
}

RequestEngine::~RequestEngine()
{
    close();
}

bool RequestEngine::open(const QString &portName, qint32 baudRate)
{
    close();
    portPath_ = portName;
    port_.setPortName(portName);
    if (!port_.open(QIODevice::ReadWrite)) {
        errorText_ = port_.errorString();
        return false;
    }
    if (!setBaudRate(baudRate) || !port_.setDataBits(QSerialPort::Data8) ||
        !port_.setParity(QSerialPort::NoParity) || !port_.setStopBits(QSerialPort::OneStop) ||
        !port_.setFlowControl(QSerialPort::NoFlowControl)) {
        errorText_ = port_.errorString();
        port_.close();
        return false;
    }
    port_.clear();
    counters_ = {};
    sinceLastByte_.invalidate();
    errorText_.clear();
    return true;
}

void RequestEngine::close()
{
    if (port_.isOpen())
        port_.close();
    for (QTimer *timer : {&timeout_, &silence_, &gap_})
        timer->stop();
}

bool RequestEngine::setBaudRate(qint32 baudRate)
{
    return port_.setBaudRate(baudRate);
}

double RequestEngine::silenceMs(qint32 baudRate)
{
    return qMax(shortestSilenceMs, wireMs(1, baudRate) * silenceCharacters);
}

double RequestEngine::wireMs(int bytes, qint32 baudRate)
{
    return baudRate > 0 ? 1000.0 * bytes * bitsPerCharacter / baudRate : 0.0;
}

quint64 RequestEngine::submit(const QByteArray &request, bool expectsReply)
{
    const quint64 id = nextId_++;
    queue_.push_back({id, request, expectsReply});
    ++counters_.requests;
    if (!active_ && queue_.size() == 1)
        QMetaObject::invokeMethod(this, &RequestEngine::startNext, Qt::QueuedConnection);
    return id;
}

RequestEngine::Result RequestEngine::run(const QByteArray &request, bool expectsReply)
{
    QEventLoop loop;
    Result result;
    const quint64 id = submit(request, expectsReply);
    const QMetaObject::Connection connection =
        connect(this, &RequestEngine::finished, &loop, [&](const Result &r) {
            if (r.id != id)
                return;
            result = r;
            loop.quit();
        });
    loop.exec();
    disconnect(connection);
    return result;
}

void RequestEngine::startNext()
{
    if (active_ || queue_.empty())
        return;
    current_ = queue_.front();
    queue_.pop_front();
    active_ = true;
    attempt_ = 0;
    if (!port_.isOpen()) {
        complete(reply::Outcome::PortUnavailable);
        return;
    }
    writeActive();
}

void RequestEngine::drainStray()
{
    const QByteArray stray = port_.readAll();
    if (!stray.isEmpty()) {
        counters_.strayBytes += quint64(stray.size());
        sinceLastByte_.restart();
    }
}

void RequestEngine::writeActive()
{
    if (!active_ || !port_.isOpen())
        return;
    drainStray();
    // A frame starts only after the line has been quiet for 3.5 characters.
    const double quietMs = silenceMs(port_.baudRate());
    if (sinceLastByte_.isValid() && sinceLastByte_.elapsed() < quietMs) {
        gap_.start(qMax(1, wholeMs(quietMs - double(sinceLastByte_.elapsed()))));
        return;
    }
    replyBytes_.clear();
    ++attempt_;
    ++counters_.attempts;
    port_.write(current_.request);
    emit sent(current_.request);
    if (current_.expectsReply)
        timeout_.start(timeoutMs_ + wholeMs(wireMs(current_.request.size(), port_.baudRate())));
}

void RequestEngine::readAvailable()
{
    const QByteArray bytes = port_.readAll();
    if (bytes.isEmpty())
        return;
    sinceLastByte_.restart();
    if (!active_ || !timeout_.isActive()) {
        counters_.strayBytes += quint64(bytes.size());
        return;
    }
    replyBytes_ += bytes;
    const int expected = reply::expectedReplyLength(current_.request, replyBytes_);
    if (expected > 0 && replyBytes_.size() >= expected) {
        counters_.strayBytes += quint64(replyBytes_.size() - expected);
        replyBytes_.truncate(expected);
        const reply::Verdict verdict = reply::verify(current_.request, replyBytes_);
        complete(verdict.outcome, verdict.exceptionCode);
        return;
    }
    silence_.start(qMax(1, wholeMs(silenceMs(port_.baudRate()))));
}

void RequestEngine::lineWentSilent()
{
    if (!active_ || !timeout_.isActive())
        return;
    // Bytes may be waiting that the event loop has not delivered yet: they are not silence.
    if (port_.waitForReadyRead(0))
        return;
    const int expected = reply::expectedReplyLength(current_.request, replyBytes_);
    if (expected < 0) {
        const reply::Verdict verdict = reply::verify(current_.request, replyBytes_);
        complete(verdict.outcome, verdict.exceptionCode);
        return;
    }
    complete(reply::Outcome::Incomplete);
}

void RequestEngine::timedOut()
{
    if (!active_)
        return;
    complete(replyBytes_.isEmpty() ? reply::Outcome::Timeout : reply::Outcome::Incomplete);
}

void RequestEngine::complete(reply::Outcome outcome, quint8 exceptionCode)
{
    timeout_.stop();
    silence_.stop();
    gap_.stop();
    if (current_.expectsReply && !replyBytes_.isEmpty())
        emit received(replyBytes_);

    switch (outcome) {
    case reply::Outcome::Ok:
        if (current_.expectsReply)
            ++counters_.replies;
        break;
    case reply::Outcome::Exception:
        ++counters_.replies;
        ++counters_.exceptions;
        break;
    case reply::Outcome::Timeout:
        ++counters_.timeouts;
        break;
    case reply::Outcome::Incomplete:
        ++counters_.incomplete;
        break;
    case reply::Outcome::BadCrc:
    case reply::Outcome::BadChecksum:
        ++counters_.crcErrors;
        break;
    case reply::Outcome::PortLost:
    case reply::Outcome::PortUnavailable:
        break;
    default:
        ++counters_.badReplies;
        break;
    }

    if (isRetried(outcome) && attempt_ <= retries_ && port_.isOpen()) {
        writeActive();
        return;
    }
    conclude({current_.id, outcome, exceptionCode, current_.request, replyBytes_, attempt_});
}

void RequestEngine::conclude(const Result &result)
{
    active_ = false;
    replyBytes_.clear();
    emit finished(result);
    if (!queue_.empty())
        QMetaObject::invokeMethod(this, &RequestEngine::startNext, Qt::QueuedConnection);
}

void RequestEngine::portError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError || !port_.isOpen())
        return;
    errorText_ = tr("%1: %2").arg(portPath_, port_.errorString());
    close();
    if (active_)
        complete(reply::Outcome::PortLost);
    emit portLost(errorText_);
}
