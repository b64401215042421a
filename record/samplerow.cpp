#include "record/samplerow.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <cmath>

namespace {

constexpr char influxMeasurement[] = "px8107";

struct ValueColumn
{
    const char *name;
    std::optional<double> SampleRow::*value;
    bool environment;
};
// One row per value column, in the order of the CSV header.
constexpr ValueColumn valueColumns[] = {
    {"pm2_5", &SampleRow::pm25, false},       {"pm10", &SampleRow::pm10, false},
    {"pm100", &SampleRow::pm100, false},      {"temperature", &SampleRow::temperature, true},
    {"humidity", &SampleRow::humidity, true},
};

bool columnIncluded(const ValueColumn &column, bool withEnvironment)
{
    return withEnvironment || !column.environment;
}

// Tag keys, tag values and field keys: comma, equals sign and space are escaped.
QByteArray influxEscapeKey(const QString &text)
{
    QByteArray out;
    for (char c : text.toUtf8()) {
        if (c == ',' || c == '=' || c == ' ')
            out += '\\';
        out += c;
    }
    return out;
}

QByteArray influxString(const QString &text)
{
    QByteArray out = "\"";
    for (char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

} // namespace

std::optional<RecordFormat> recordFormatFromName(const QString &name)
{
    for (const RecordFormatName &row : recordFormatNames)
        if (name == QLatin1String(row.name))
            return row.format;
    return std::nullopt;
}

QByteArray recordHeader(RecordFormat format, bool withEnvironment)
{
    return format == RecordFormat::Csv ? csvHeader(withEnvironment) : QByteArray();
}

QByteArray recordLine(RecordFormat format, const SampleRow &row, bool withEnvironment)
{
    switch (format) {
    case RecordFormat::Csv:
        return csvRow(row, withEnvironment);
    case RecordFormat::JsonLines:
        return jsonLine(row, withEnvironment);
    case RecordFormat::Influx:
        break;
    }
    return influxLine(row, withEnvironment);
}

quint8 objectSelector(const QString &object)
{
    return object == QLatin1String("avg") ? 0 : quint8(object.toInt());
}

double fromTenths(float value)
{
    return std::round(double(value) * 10) / 10;
}

QString isoUtcMs(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QByteArray csvField(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') &&
        !bytes.contains('\r'))
        return bytes;
    return '"' + bytes.replace('"', "\"\"") + '"';
}

QByteArray csvHeader(bool withEnvironment)
{
    QByteArray line = "time,device_id,address,object";
    for (const ValueColumn &column : valueColumns)
        if (columnIncluded(column, withEnvironment))
            line += QByteArray(",") + column.name;
    return line + ",status,late\r\n";
}

QByteArray csvRow(const SampleRow &row, bool withEnvironment)
{
    QByteArray line = csvField(isoUtcMs(row.time)) + ',' + csvField(row.deviceId) + ',' +
                      QByteArray::number(row.address) + ',' + csvField(row.object);
    for (const ValueColumn &column : valueColumns) {
        if (!columnIncluded(column, withEnvironment))
            continue;
        line += ',';
        if (const std::optional<double> &value = row.*column.value)
            line += numberText(*value).toUtf8();
    }
    return line + ',' + csvField(row.status) + ',' + (row.late ? "1" : "0") + "\r\n";
}

QByteArray jsonLine(const SampleRow &row, bool withEnvironment)
{
    QJsonObject object{{"time", isoUtcMs(row.time)}, {"device_id", row.deviceId},
                       {"address", row.address},     {"object", row.object},
                       {"status", row.status},       {"late", row.late}};
    for (const ValueColumn &column : valueColumns) {
        if (!columnIncluded(column, withEnvironment))
            continue;
        const std::optional<double> &value = row.*column.value;
        object.insert(QLatin1String(column.name), value ? QJsonValue(*value) : QJsonValue());
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray influxLine(const SampleRow &row, bool withEnvironment)
{
    QByteArray line = influxMeasurement;
    // An empty tag value is not allowed in the line protocol: a device whose ID is not known
    // carries no device tag.
    if (!row.deviceId.isEmpty())
        line += ",device=" + influxEscapeKey(row.deviceId);
    line += ",object=" + influxEscapeKey(row.object);
    line += " address=" + QByteArray::number(row.address) + 'i';
    for (const ValueColumn &column : valueColumns) {
        const std::optional<double> &value = row.*column.value;
        if (columnIncluded(column, withEnvironment) && value)
            line += ',' + QByteArray(column.name) + '=' + numberText(*value).toUtf8();
    }
    line += ",status=" + influxString(row.status);
    line += QByteArray(",late=") + (row.late ? "true" : "false");
    const qint64 ns = row.time.toMSecsSinceEpoch() * 1000000;
    return line + ' ' + QByteArray::number(ns) + '\n';
}
