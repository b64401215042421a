#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// One recorded sample of one object. A value the sensor did not give stays empty; it is never
// replaced by zero or by an older value.
struct SampleRow
{
    QDateTime time; // UTC
    QString deviceId;
    int address = 0;
    QString object; // "avg" or "1" to "4"
    std::optional<double> pm25;
    std::optional<double> pm10;
    std::optional<double> pm100;
    std::optional<double> temperature;
    std::optional<double> humidity;
    QString status;    // "ok" or the name of the failure
    bool late = false; // taken after its slot on the schedule
};

enum class RecordFormat : quint8
{
    Csv,
    JsonLines,
    Influx
};

struct RecordFormatName
{
    RecordFormat format;
    const char *name;
};
constexpr RecordFormatName recordFormatNames[] = {
    {RecordFormat::Csv, "csv"},
    {RecordFormat::JsonLines, "jsonl"},
    {RecordFormat::Influx, "influx"},
};
std::optional<RecordFormat> recordFormatFromName(const QString &name);

// Each returns one complete line, newline included. Environment columns are present only when
// withEnvironment is set, so a file has the same columns on every row.
QByteArray csvHeader(bool withEnvironment);
QByteArray csvRow(const SampleRow &row, bool withEnvironment);
QByteArray jsonLine(const SampleRow &row, bool withEnvironment);
QByteArray influxLine(const SampleRow &row, bool withEnvironment);

// The line of a row in the format; the header is empty for formats without one.
QByteArray recordHeader(RecordFormat format, bool withEnvironment);
QByteArray recordLine(RecordFormat format, const SampleRow &row, bool withEnvironment);

// "avg" selects object 0, "1" to "4" the detection units.
quint8 objectSelector(const QString &object);
// PM2.5 and PM10 arrive in tenths; as doubles they keep exactly that one decimal.
double fromTenths(float value);

// One CSV field quoted when it holds a separator, a quote or a line break.
QByteArray csvField(const QString &text);
QString isoUtcMs(const QDateTime &time);
QString numberText(double value);
