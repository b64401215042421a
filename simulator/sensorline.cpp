#include "sensorline.h"

#include "commands/nativeframe.h"
#include "serial/codec.h"

#include <QStringList>

#include <algorithm>

namespace {

constexpr int minimumModbusSize = 4;
constexpr quint16 crcStart = 0xFFFF;
constexpr quint16 crcPolynomial = 0xA001;
constexpr int bitsPerByte = 8;
constexpr int byteValues = 256;

quint16 crcUpdate(quint16 crc, quint8 byte)
{
    crc ^= byte;
    for (int bit = 0; bit < bitsPerByte; ++bit)
        crc = (crc & 1) ? quint16((crc >> 1) ^ crcPolynomial) : quint16(crc >> 1);
    return crc;
}

// CRCs of the runs that end before the last two bytes, kept up to date while the end grows.
class RunCrcs
{
public:
    // The byte at end - 3 joins every run's body.
    void grow(const QByteArray &bytes, int end)
    {
        const int bodyEnd = end - 2;
        if (bodyEnd < 1)
            return;
        crcs_.push_back(crcStart);
        const quint8 byte = quint8(bytes.at(bodyEnd - 1));
        for (quint16 &crc : crcs_)
            crc = crcUpdate(crc, byte);
    }

    // Some run ending at end is a Modbus frame with a valid CRC.
    bool validEndingAt(const QByteArray &bytes, int end) const
    {
        const quint8 low = quint8(bytes.at(end - 2));
        const quint8 high = quint8(bytes.at(end - 1));
        // Runs start at 0 .. end - 4: a frame is at least address, function and CRC.
        const int starts = std::min(int(crcs_.size()), end - minimumModbusSize + 1);
        for (int start = 0; start < starts; ++start)
            if (low == (crcs_[std::size_t(start)] & 0xFF) &&
                high == (crcs_[std::size_t(start)] >> 8))
                return true;
        return false;
    }

private:
    std::vector<quint16> crcs_; // index: start of the run
};

bool nativeEndingAt(const QByteArray &bytes, int end)
{
    if (end < native::frameSize)
        return false;
    const QByteArray frame = bytes.mid(end - native::frameSize, native::frameSize);
    return quint8(frame.at(0)) == native::header &&
           quint8(frame.at(native::frameSize - 1)) == native::tail &&
           quint8(frame.at(native::checksumOffset)) == nativeChecksum(frame);
}

} // namespace

QString LineSettings::text() const
{
    return QStringLiteral("%1 baud %2%3%4")
        .arg(baud)
        .arg(dataBits)
        .arg(QLatin1Char(parity))
        .arg(stopBits);
}

QByteArray collide(const std::vector<QByteArray> &replies)
{
    int size = 0;
    for (const QByteArray &reply : replies)
        size = std::max(size, int(reply.size()));
    QByteArray mix(size, char(0xFF));
    for (const QByteArray &reply : replies)
        for (int i = 0; i < reply.size(); ++i)
            mix[i] = char(quint8(mix.at(i)) & quint8(reply.at(i)));

    RunCrcs crcs;
    for (int end = 1; end <= size; ++end) {
        crcs.grow(mix, end);
        if (end < minimumModbusSize)
            continue;
        // Each run rules out one value of its last byte at most, so a free value is always found.
        const quint8 original = quint8(mix.at(end - 1));
        for (int change = 1;
             change < byteValues && (crcs.validEndingAt(mix, end) || nativeEndingAt(mix, end));
             ++change)
            mix[end - 1] = char(original ^ change);
    }
    return mix;
}

bool holdsValidFrame(const QByteArray &bytes)
{
    RunCrcs crcs;
    for (int end = 1; end <= bytes.size(); ++end) {
        crcs.grow(bytes, end);
        if (end >= minimumModbusSize &&
            (crcs.validEndingAt(bytes, end) || nativeEndingAt(bytes, end)))
            return true;
    }
    return false;
}

SensorLine::SensorLine(std::vector<SensorModel> sensors) : sensors_(std::move(sensors)) {}

bool SensorLine::understands(int sensor, const LineSettings &line) const
{
    return line.isEightNoneOne() && line.baud == sensors_[std::size_t(sensor)].lineRate();
}

bool SensorLine::anyUnderstands(const LineSettings &line) const
{
    for (int i = 0; i < size(); ++i)
        if (understands(i, line))
            return true;
    return false;
}

QString SensorLine::ratesText() const
{
    QStringList rates;
    for (const SensorModel &sensor : sensors_)
        rates.append(QString::number(sensor.lineRate()));
    return (size() == 1 ? QStringLiteral("sensor at ") : QStringLiteral("sensors at ")) +
           rates.join(QStringLiteral(", "));
}

LineExchange SensorLine::handle(const Request &request, const LineSettings &line)
{
    LineExchange result;
    std::vector<QByteArray> replies;
    QStringList answering;
    QStringList notes;
    for (int i = 0; i < size(); ++i) {
        const QString who = size() > 1 ? QStringLiteral("sensor %1: ").arg(i + 1) : QString();
        if (!understands(i, line)) {
            notes.append(who + QStringLiteral("not understood, listens at %1 baud 8N1")
                                   .arg(sensors_[std::size_t(i)].lineRate()));
            continue;
        }
        const Exchange exchange = sensors_[std::size_t(i)].handle(request);
        notes.append(who + exchange.note);
        if (!exchange.reply.isEmpty()) {
            replies.push_back(exchange.reply);
            answering.append(QString::number(i + 1));
        }
        if (exchange.lineRateAfterReply)
            result.rateChanges.push_back({i, exchange.lineRateAfterReply});
    }
    result.answering = int(replies.size());
    if (replies.size() == 1) {
        result.reply = replies.front();
    } else if (replies.size() > 1) {
        result.reply = collide(replies);
        notes.append(
            QStringLiteral("collision of sensors %1").arg(answering.join(QStringLiteral(", "))));
    }
    result.note = notes.join(QStringLiteral("; "));
    return result;
}
