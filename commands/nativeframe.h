#pragma once

#include <QByteArray>
#include <QString>
#include <array>

namespace native {

constexpr int frameSize = 19;
constexpr int dataSize = 15;
constexpr quint8 header = 0xAA;
constexpr quint8 tail = 0xAB;
constexpr int checksumOffset = 17;

enum class Command : quint8 {
    DeviceInfo = 0xA6,
    SetDeviceNumber = 0xA7,
    Sleep = 0xB4,
    Firmware = 0xB5,
};

using Data = std::array<quint8, dataSize>;

// The one builder of native frames: header, command, data (offsets 2..16), checksum, tail.
QByteArray frame(quint8 command, const Data &data = {});
inline QByteArray frame(Command command, const Data &data = {})
{
    return frame(quint8(command), data);
}

QByteArray deviceInfoQuery();
QByteArray firmwareQuery();
QByteArray sleepFrame();

// Device number "hhhh-hhhh": first and last part at every "-", each base 16, low 16 bits.
struct DeviceNumber
{
    quint16 firstHalf = 0;
    quint16 secondHalf = 0;
};
DeviceNumber parseDeviceNumber(const QString &text);
QByteArray setDeviceNumberFrame(const DeviceNumber &number);

// Device ID as shown: the four bytes as "hhhh-hhhh".
QString deviceIdText(quint8 b0, quint8 b1, quint8 b2, quint8 b3);
// Firmware version as shown: three signed bytes in decimal joined by "-".
QString firmwareText(quint8 major, quint8 minor, quint8 patch);

} // namespace native
