#pragma once

#include "serial/replyverifier.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QTimer>
#include <deque>

// Counts since the port was opened.
struct EngineCounters
{
    quint64 requests = 0; // transactions submitted
    quint64 attempts = 0; // requests written, retries included
    quint64 replies = 0;  // verified replies, exceptions included
    quint64 timeouts = 0;
    quint64 incomplete = 0;
    quint64 crcErrors = 0;  // CRC and native checksum
    quint64 badReplies = 0; // frame, unit, function, count or echo wrong
    quint64 exceptions = 0;
    quint64 strayBytes = 0; // arrived outside a transaction, or past a complete reply
};

// One request at a time on a serial line: writes it, collects the reply until it is complete by
// its own length, or the line stays silent for 3.5 characters after part of it, or the timeout
// passes; verifies it against the request; retries on a transmission fault.
class RequestEngine : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultTimeoutMs = 500;
    static constexpr int defaultRetries = 1;

    struct Result
    {
        quint64 id = 0;
        reply::Outcome outcome = reply::Outcome::Ok;
        quint8 exceptionCode = 0;
        QByteArray request;
        QByteArray reply; // what arrived, also when it was rejected
        int attempts = 0;

        bool ok() const { return outcome == reply::Outcome::Ok; }
        // The outcome in words, with the exception named.
        QString text() const;
    };

    explicit RequestEngine(QObject *parent = nullptr);
    ~RequestEngine() override;

    bool open(const QString &portName, qint32 baudRate);
    void close();
    bool isOpen() const { return port_.isOpen(); }
    QString errorText() const { return errorText_; }
    QString portName() const { return portPath_; }

    bool setBaudRate(qint32 baudRate);
    qint32 baudRate() const { return port_.baudRate(); }
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }
    int timeoutMs() const { return timeoutMs_; }
    void setRetries(int retries) { retries_ = retries; }
    int retries() const { return retries_; }

    // The line's quiet time that ends a frame: 3.5 characters of 10 bits, at least 1.75 ms.
    static double silenceMs(qint32 baudRate);
    // Time on the wire of `bytes` characters at the rate.
    static double wireMs(int bytes, qint32 baudRate);

    // Queues a request; finished() reports it. A request without a reply (some native commands)
    // finishes once written. Returns the id finished() will carry.
    quint64 submit(const QByteArray &request, bool expectsReply = true);
    // Submits and waits in a local event loop: for command-line programs.
    Result run(const QByteArray &request, bool expectsReply = true);

    bool isBusy() const { return active_ || !queue_.empty(); }
    const EngineCounters &counters() const { return counters_; }

signals:
    void finished(const RequestEngine::Result &result);
    // Every write and every verified or rejected reply, for a traffic log.
    void sent(const QByteArray &bytes);
    void received(const QByteArray &bytes);
    void portLost(const QString &message);

private:
    struct Pending
    {
        quint64 id;
        QByteArray request;
        bool expectsReply;
    };

    void startNext();
    void writeActive();
    void readAvailable();
    void lineWentSilent();
    void timedOut();
    void complete(reply::Outcome outcome, quint8 exceptionCode = 0);
    void conclude(const Result &result);
    void portError(QSerialPort::SerialPortError error);
    void drainStray();

    QSerialPort port_;
    QString portPath_;
    QTimer timeout_;
    QTimer silence_;
    QTimer gap_;
    QElapsedTimer sinceLastByte_;
    std::deque<Pending> queue_;
    bool active_ = false;
    Pending current_{};
    QByteArray replyBytes_;
    int attempt_ = 0;
    int timeoutMs_ = defaultTimeoutMs;
    int retries_ = defaultRetries;
    quint64 nextId_ = 1;
    EngineCounters counters_;
    QString errorText_;
};
