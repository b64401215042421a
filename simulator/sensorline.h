#pragma once

#include "requestframer.h"
#include "sensormodel.h"

#include <QByteArray>
#include <QString>
#include <vector>

// How the tool set up the line: what the sensors' receivers are held against.
struct LineSettings
{
    qint32 baud = 9600;
    int dataBits = 8;
    char parity = 'N'; // N, E, O, M (mark) or S (space)
    int stopBits = 1;

    bool isEightNoneOne() const { return dataBits == 8 && parity == 'N' && stopBits == 1; }
    // "9600 baud 8N1"
    QString text() const;
    bool operator==(const LineSettings &other) const
    {
        return baud == other.baud && dataBits == other.dataBits && parity == other.parity &&
               stopBits == other.stopBits;
    }
    bool operator!=(const LineSettings &other) const { return !(*this == other); }
};

struct RateChange
{
    int sensor; // index on the line
    qint32 rate;
};

// What one request puts on the line.
struct LineExchange
{
    QByteArray reply;  // one sensor's answer, the damaged mix of several, or empty
    int answering = 0; // sensors that answered
    std::vector<RateChange> rateChanges; // to make once the reply is out
    QString note;                        // for the request log
};

// Several sensors on one RS-485 line. A sensor understands only what is sent at its own rate with
// 8 data bits, no parity and 1 stop bit; every sensor that understands a request handles it, and
// when more than one answers, the answers collide on the line.
class SensorLine
{
public:
    explicit SensorLine(std::vector<SensorModel> sensors);

    LineExchange handle(const Request &request, const LineSettings &line);

    bool understands(int sensor, const LineSettings &line) const;
    bool anyUnderstands(const LineSettings &line) const;
    int size() const { return int(sensors_.size()); }
    SensorModel &sensor(int index) { return sensors_[std::size_t(index)]; }
    const SensorModel &sensor(int index) const { return sensors_[std::size_t(index)]; }
    // "sensor at 9600" or "sensors at 9600, 19200", for the log.
    QString ratesText() const;

private:
    std::vector<SensorModel> sensors_;
};

// Answers sent at once, as the line carries them: aligned at their first byte, a 0 bit of any of
// them wins over a 1 (the idle line beyond the shorter ones is 1s), and no run of the result is a
// frame: wherever a run of 4 or more bytes would end with its valid Modbus CRC, or 19 bytes would
// make a valid native frame, its last byte is changed until none does.
QByteArray collide(const std::vector<QByteArray> &replies);

// Whether some run of the bytes is a Modbus frame with a valid CRC (4 bytes or more) or a valid
// native frame.
bool holdsValidFrame(const QByteArray &bytes);
