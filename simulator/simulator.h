#pragma once

#include "faultplan.h"
#include "ptyport.h"
#include "requestframer.h"
#include "sensorline.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <deque>
#include <memory>

struct ServeOptions
{
    FaultPlan faults;
    int processingMs = 5;
    int vanishAfter = 0;    // requests; 0: never
    int returnAfterMs = -1; // after vanishing, come back on a new terminal; < 0: never
    bool verbose = false;
};

// Serves the sensors on the line: frames requests, answers them after their time on the wire,
// injects faults and keeps to each sensor's line settings.
//
// The request log (with --verbose, on stderr, each line after an "hh:mm:ss.zzz " timestamp):
//   rx <hex>                           every chunk of bytes as it arrives
//   received at <rate> baud <DPS>, ... bytes that no sensor understands (right after their rx)
//   request <n> [<hex>] at <rate> baud <DPS>: <what each sensor did>
//                                      one line for every request framed, understood or not;
//                                      n counts from 1 over the whole run
//   noise [<hex>]: no frame starts there   bytes that start no request, dropped
//   reply <n> <faults>                 faults injected into the nth reply
//   tx <hex>                           bytes put on the line
//   line rate now <rate> (sensor <k>)  a sensor's rate change once its reply is out
//   vanishing / back on <path>         the line goes and comes back
class Simulator : public QObject
{
    Q_OBJECT

public:
    Simulator(PtyPort &port, SensorLine &line, const ServeOptions &options,
              QObject *parent = nullptr);

    // The port has been opened again: serve it from a clean line.
    void resume();

signals:
    // The requests allowed by vanishAfter have been served; the line should go.
    void vanished();

private:
    struct Outgoing
    {
        QByteArray bytes;
        qint64 dueMs;
        std::vector<RateChange> rateChanges;
    };

    void receive();
    void lineWentQuiet();
    void serve(const Request &request);
    void enqueue(const QByteArray &bytes, qint64 dueMs, const std::vector<RateChange> &changes);
    void sendDue();
    void vanishWhenRead(QDeadlineTimer deadline);
    void reportDropped();
    int wireTimeMs(int bytes, qint32 rate) const;
    void log(const QString &text) const;

    PtyPort &port_;
    SensorLine &line_;
    ServeOptions options_;
    RequestFramer framer_;
    LineSettings framedAt_; // the settings the pending bytes arrived with
    std::unique_ptr<QSocketNotifier> readNotifier_;
    QTimer silenceTimer_;
    QTimer sendTimer_;
    QElapsedTimer clock_;
    std::deque<Outgoing> outgoing_;
    qint64 lastDueMs_ = 0;
    int requests_ = 0;
    int requestsSinceOpen_ = 0;
    int replies_ = 0;
    bool vanishing_ = false;
};
