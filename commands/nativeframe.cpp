#include "nativeframe.h"

#include "serial/codec.h"

#include <QStringList>

namespace native {

QByteArray frame(quint8 command, const Data &data)
{
    QByteArray bytes(frameSize, '\0');
    bytes[0] = char(header);
    bytes[1] = char(command);
    for (int i = 0; i < dataSize; ++i)
        bytes[2 + i] = char(data[std::size_t(i)]);
    bytes[checksumOffset] = char(nativeChecksum(bytes));
    bytes[18] = char(tail);
    return bytes;
}

QByteArray deviceInfoQuery()
{
    return frame(Command::DeviceInfo);
}

QByteArray firmwareQuery()
{
    return frame(Command::Firmware);
}

QByteArray sleepFrame()
{
    Data data{};
    data[0] = 0x06;
    data[1] = 0x01;
    data[13] = 0xFF;
    data[14] = 0xFF;
    return frame(Command::Sleep, data);
}

DeviceNumber parseDeviceNumber(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('-'), Qt::KeepEmptyParts);
    return {quint16(parts.first().toInt(nullptr, 16) & 0xFFFF),
            quint16(parts.last().toInt(nullptr, 16) & 0xFFFF)};
}

QByteArray setDeviceNumberFrame(const DeviceNumber &number)
{
    Data data{};
    // Offsets 8 to 11 of the frame, high byte first.
    data[6] = quint8(number.firstHalf >> 8);
    data[7] = quint8(number.firstHalf & 0xFF);
    data[8] = quint8(number.secondHalf >> 8);
    data[9] = quint8(number.secondHalf & 0xFF);
    return frame(Command::SetDeviceNumber, data);
}

QString deviceIdText(quint8 b0, quint8 b1, quint8 b2, quint8 b3)
{
    const auto hex = [](quint8 b) { return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')); };
    return hex(b0) + hex(b1) + QLatin1Char('-') + hex(b2) + hex(b3);
}

QString firmwareText(quint8 major, quint8 minor, quint8 patch)
{
    return QStringLiteral("%1-%2-%3").arg(int(qint8(major))).arg(int(qint8(minor))).arg(int(qint8(patch)));
}

} // namespace native
