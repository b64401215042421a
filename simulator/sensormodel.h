#pragma once

#include "commands/registermap.h"
#include "requestframer.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <array>
#include <iterator>
#include <optional>

// The simulated sensor behind its register map and its native commands.
//
// Behaviour where the device leaves room:
// - Measurements: each detection unit has its own PM2.5 (tenths), PM10 (tenths) and PM100; the
//   fourth measurement register reads 0. A unit switched off in the global on/off mask reports
//   0s, and so does every object while the sensor sleeps. The average (object 0) is the integer
//   mean, rounded down, of the units that are on; 0s when none is. The work mode does not change
//   what is measured. Calibration settings are stored and reported but not applied.
// - With a random walk enabled, every read that touches a measurement register first moves each
//   value of each unit by a small seeded random step, so a run is repeatable request by request.
// - With unit noise (UnitNoise), every such read then draws fresh seeded Gaussian offsets for each
//   noisy unit: standard deviation sd ug/m3, i.e. 10 x sd on the PM2.5 and PM10 tenths and sd on
//   PM100, rounded, the result clamped to 0..65535. The offsets hold until the next such read and
//   are not added to the stored readings; the average is taken over the noisy values.
// - Reads cover 1 to 125 registers (otherwise exception 03); every register in the range must be
//   readable. Every register that holds a setting reads back what was written: 0x00A2 reads 1
//   awake / 0 asleep, 0x00A5 reads 0, 0x00CD the code of the current rate (0 when the rate has
//   none).
// - Unknown registers, writes to read-only ones, and reads or function-16 writes whose start +
//   count runs past 0xFFFF get exception 02 (as the Modbus specification has it for a range that
//   is not all there); a count outside 1..125 (read) or 1..123 with 2 bytes each (write), and
//   values outside what a register holds (a sleep value other than 0/1, a work mode outside 1..3,
//   a mask above unit 4, an unknown rate or protocol code, a calibration sign other than 0/1, an
//   address outside 1..247, a high byte in a one-byte register) get exception 03 and change
//   nothing. A function-16 write is all or nothing.
// - Functions 3, 6 and 16 are served. Any other function (1, 2, 4, 5, 7, 15, 23, 43, ...) in a
//   request with a valid CRC gets exception 01, function | 0x80 (RequestFramer cuts such requests
//   by the standard length of their function, or by their CRC and the line's silence).
// - Requests to unit 0 and to the sensor's own address are answered; others are not. Function-3
//   and function-16 answers, and exceptions, carry the sensor's own address; a function-6 answer
//   is the exact echo of the request.
// - On the line (SensorLine): several sensors, each with its own settings, readings and rate; a
//   sensor understands only bytes sent at its own rate with 8N1; when several answer one request,
//   the answers collide into one damaged mix that holds no valid frame.
// - Factory reset restores every setting to the factory values below, whatever the command line
//   started with; the line rate changes only once the echo is out. Readings (measurements,
//   self-check, temperature, humidity, weights, device ID, firmware) and pass-through contents
//   are not settings and stay.
// - Native protocol selected: native frames are served and Modbus requests ignored, except a
//   write of the protocol register, the only way back. Modbus selected: native frames ignored.
// - Native 0xA6 and 0xB5 are answered; 0xA7 and 0xB4 (sleep) are carried out without an answer;
//   other commands are ignored. The sensor wakes only through register 0x00A2.
// - Pass-through: a function-16 write at 0xNN11 (N = target 1..4) stores its data bytes for that
//   target, whatever its register count says, cut to the 38 bytes of the block; a read of the
//   block's 19 registers returns them padded with 0.

struct Calibration
{
    quint8 sign = 0; // 1 positive, 0 otherwise
    quint8 magnitude = 0;
    quint8 factor = 100;
};

constexpr int measurementObjects = detectionUnits + 1; // object 0 is the average

// Settings the sensor keeps; the initialisers are its factory settings.
struct SensorSettings
{
    quint8 address = 1;
    bool awake = true;
    quint8 workMode = 1; // 1 automatic with all units, 2 automatic single, 3 manual selection
    quint8 workUnits = 0x0F;
    quint8 manualCleanTime = 10;
    quint8 autoCleanSeconds = 30;
    quint8 autoCleanHours = 12;
    quint8 heatMode = 1; // 1 automatic, 0 manual
    bool heaterOn = false;
    qint8 heatTempHigh = 30;
    qint8 heatTempLow = -5;
    quint8 heatHumiHigh = 85;
    quint8 heatHumiLow = 60;
    quint8 unitsOn = 0x0F;
    ProtocolCode protocol = ProtocolCode::Modbus;
    std::array<std::array<Calibration, std::size(calibrationRanges)>, measurementObjects>
        calibration{};
    qint32 lineRate = 9600;
};

struct Measurement
{
    quint16 pm25Tenths = 0;
    quint16 pm10Tenths = 0;
    quint16 pm100 = 0;
};

constexpr int weightBytes = 8;
constexpr int deviceIdBytes = 4;
constexpr int firmwareBytes = 3;

// What the sensor measures and knows about itself; factory reset leaves it alone.
struct SensorReadings
{
    std::array<Measurement, detectionUnits> units{
        {{120, 450, 789}, {135, 480, 812}, {110, 430, 760}, {127, 466, 801}}};
    quint8 selfCheck = 0x0F; // bit set: the unit passed
    qint8 temperature = 25;
    quint8 humidity = 45;
    std::array<quint8, weightBytes> weights{{50, 60, 70, 80, 5, 6, 7, 8}};
    std::array<quint8, deviceIdBytes> deviceId{{0x20, 0x24, 0x01, 0x07}};
    std::array<quint8, firmwareBytes> firmware{{17, 7, 11}};
};

// Noise on the measurements of each detection unit: a standard deviation in ug/m3 (0: none),
// applied in each register's own resolution (tenths for PM2.5 and PM10).
struct UnitNoise
{
    std::array<double, detectionUnits> standardDeviation{};
    quint32 seed = 1;
};

enum class ExceptionCode : quint8
{
    IllegalFunction = 0x01,
    IllegalDataAddress = 0x02,
    IllegalDataValue = 0x03,
};

// The answer to one request and what follows it.
struct Exchange
{
    QByteArray reply;              // empty: no answer
    qint32 lineRateAfterReply = 0; // non-zero: the rate to use once the reply has been sent
    QString note;                  // what was done, for the verbose log
};

class SensorModel
{
public:
    explicit SensorModel(const SensorSettings &settings = {}, const SensorReadings &readings = {});

    Exchange handle(const Request &request);

    void enableRandomWalk(quint32 seed);
    void setUnitNoise(const UnitNoise &noise);
    void setLineRate(qint32 baud) { settings_.lineRate = baud; }
    qint32 lineRate() const { return settings_.lineRate; }
    const SensorSettings &settings() const { return settings_; }
    const SensorReadings &readings() const { return readings_; }

    // What object 0 (average) or 1..4 reports now.
    Measurement measurement(quint8 object) const;

private:
    Exchange handleModbus(const QByteArray &frame);
    Exchange handleNative(const QByteArray &frame);
    Exchange readRegisters(const QByteArray &frame);
    Exchange writeSingle(const QByteArray &frame);
    Exchange writeMultiple(const QByteArray &frame);
    Exchange exception(quint8 function, ExceptionCode code, const QString &note) const;

    std::optional<quint16> readRegister(quint16 address) const;
    std::optional<ExceptionCode> writeRegister(quint16 address, quint16 value);
    void stepRandomWalk();
    void drawNoise();
    double gaussian();
    Measurement unitMeasurement(int unit) const;

    SensorSettings settings_;
    SensorReadings readings_;
    std::array<QByteArray, detectionUnits> passThrough_;
    std::optional<QRandomGenerator> randomWalk_;
    UnitNoise noise_;
    QRandomGenerator noiseRandom_;
    std::array<std::array<int, 3>, detectionUnits> noiseNow_{}; // PM2.5, PM10, PM100 offsets
    qint32 lineRateAfterReply_ = 0;
};

// Rate for a code of register 0x00CD, 0 for an unknown code; and the reverse.
qint32 baudForCode(quint8 code);
quint8 codeForBaud(qint32 baud);
