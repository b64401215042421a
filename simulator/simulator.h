#pragma once

#include "faultplan.h"
#include "ptyport.h"
#include "requestframer.h"
#include "sensormodel.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <deque>

struct ServeOptions
{
    FaultPlan faults;
    int processingMs = 5;
    int vanishAfter = 0; // requests; 0: never
    bool verbose = false;
};

// Serves the model on the line: frames requests, answers them after their time on the wire,
// injects faults and keeps to the sensor's line rate.
class Simulator : public QObject
{
    Q_OBJECT

public:
    Simulator(PtyPort &port, SensorModel &model, const ServeOptions &options,
              QObject *parent = nullptr);

signals:
    // The requests allowed by vanishAfter have been served; the line should go.
    void vanished();

private:
    struct Outgoing
    {
        QByteArray bytes;
        qint64 dueMs;
        qint32 lineRateAfter;
    };

    void receive();
    void lineWentQuiet();
    void serve(const Request &request);
    void enqueue(const QByteArray &bytes, qint64 dueMs, qint32 lineRateAfter);
    void sendDue();
    void vanishWhenRead(QDeadlineTimer deadline);
    void reportDropped();
    int wireTimeMs(int bytes) const;
    void log(const QString &text) const;

    PtyPort &port_;
    SensorModel &model_;
    ServeOptions options_;
    RequestFramer framer_;
    QSocketNotifier readNotifier_;
    QTimer silenceTimer_;
    QTimer sendTimer_;
    QElapsedTimer clock_;
    std::deque<Outgoing> outgoing_;
    qint64 lastDueMs_ = 0;
    int requests_ = 0;
    int replies_ = 0;
    bool vanishing_ = false;
};
