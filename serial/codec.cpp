#include "codec.h"

#include <QStringList>

quint16 crc16Modbus(const quint8 *data, quint16 length)
{
    quint16 crc = 0xFFFF;
    for (quint16 i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

quint16 crc16Modbus(const QByteArray &bytes)
{
    return crc16Modbus(reinterpret_cast<const quint8 *>(bytes.constData()),
                       quint16(qMin(bytes.size(), 0xFFFF)));
}

QString toHexText(const quint8 *data, int length)
{
    QString text;
    if (length <= 0)
        return text;
    text.reserve(length * 3);
    for (int i = 0; i < length; ++i)
        text += QStringLiteral("%1").arg(data[i], 2, 16, QLatin1Char('0')) + QLatin1Char(' ');
    return text;
}

QString toHexText(const QByteArray &bytes)
{
    return toHexText(reinterpret_cast<const quint8 *>(bytes.constData()), bytes.size());
}

QByteArray fromHexText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::KeepEmptyParts);
    QByteArray bytes;
    bytes.reserve(parts.size());
    for (const QString &part : parts)
        bytes.append(char(part.toInt(nullptr, 16) & 0xFF));
    return bytes;
}

quint8 nativeChecksum(const quint8 *frame)
{
    quint8 sum = 0;
    for (int i = 2; i <= 16; ++i)
        sum = quint8(sum + frame[i]);
    return sum;
}

quint8 nativeChecksum(const QByteArray &frame)
{
    Q_ASSERT(frame.size() >= 17);
    return nativeChecksum(reinterpret_cast<const quint8 *>(frame.constData()));
}

namespace modbus {

namespace {
void appendWord(QByteArray &frame, quint16 word)
{
    frame.append(char(word >> 8));
    frame.append(char(word & 0xFF));
}
} // namespace

QByteArray withCrc(QByteArray frame)
{
    const quint16 crc = crc16Modbus(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

static QByteArray twoWordRequest(Function function, quint16 first, quint16 second)
{
    QByteArray frame;
    frame.append(char(unitAddress));
    frame.append(char(function));
    appendWord(frame, first);
    appendWord(frame, second);
    return withCrc(frame);
}

QByteArray readRequest(quint16 startRegister, quint16 count)
{
    return twoWordRequest(Function::ReadHoldingRegisters, startRegister, count);
}

QByteArray writeSingleRequest(quint16 reg, quint16 value)
{
    return twoWordRequest(Function::WriteSingleRegister, reg, value);
}

QByteArray writeMultipleRequest(quint16 startRegister, quint16 count, const QByteArray &data)
{
    QByteArray frame;
    frame.append(char(unitAddress));
    frame.append(char(Function::WriteMultipleRegisters));
    appendWord(frame, startRegister);
    appendWord(frame, count);
    frame.append(char(data.size() & 0xFF));
    frame.append(data);
    return withCrc(frame);
}

QByteArray toUnit(const QByteArray &request, quint8 unit)
{
    if (request.size() < 3)
        return request;
    QByteArray frame = request.left(request.size() - 2);
    frame[0] = char(unit);
    return withCrc(frame);
}

} // namespace modbus
