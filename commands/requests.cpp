#include "requests.h"

#include "serial/codec.h"

namespace requests {

quint8 lowByteOfDecimal(const QString &text)
{
    return quint8(text.toInt(nullptr, 10) & 0xFF);
}

quint8 deviceAddressFromText(const QString &text)
{
    const quint8 address = quint8(text.toInt(nullptr, 16) & 0xFF);
    return address == 0 ? 1 : address;
}

quint8 unitMask(bool unit1, bool unit2, bool unit3, bool unit4)
{
    return quint8((unit1 ? 0x01 : 0) | (unit2 ? 0x02 : 0) | (unit3 ? 0x04 : 0) | (unit4 ? 0x08 : 0));
}

quint8 baudRateCodeForIndex(int index)
{
    return index == 0 ? 3 : quint8(quint8(index) + 1);
}

QByteArray query(Register reg, quint8 object)
{
    return modbus::readRequest(registerAddress(reg, object), registerInfo(reg).readCount);
}

static Register calibrationRange(int rangeIndex)
{
    return calibrationRanges[rangeIndex >= 1 && rangeIndex <= 2 ? rangeIndex : 0];
}

QByteArray calibrationQuery(quint8 object, int rangeIndex)
{
    return query(calibrationRange(rangeIndex), object);
}

QByteArray write(Register reg, quint8 highByte, quint8 lowByte)
{
    return modbus::writeSingleRequest(quint16(reg), quint16((highByte << 8) | lowByte));
}

QByteArray deviceAddressWrite(const QString &text)
{
    return write(Register::DeviceAddress, 0, deviceAddressFromText(text));
}

QByteArray calibrationWrite(quint8 object, int rangeIndex, const QString &zeroOffsetText,
                            const QString &factorText)
{
    const int zeroOffset = zeroOffsetText.toInt(nullptr, 10);
    // Sign and magnitude, not two's complement; a magnitude is never negative.
    const quint8 sign = zeroOffset > 0 ? 1 : 0;
    const quint8 magnitude = quint8((zeroOffset < 0 ? -qint64(zeroOffset) : zeroOffset) & 0xFF);
    QByteArray data;
    data.append(char(sign));
    data.append(char(magnitude));
    data.append(char(0));
    data.append(char(lowByteOfDecimal(factorText)));
    const Register range = calibrationRange(rangeIndex);
    return modbus::writeMultipleRequest(registerAddress(range, object), registerInfo(range).readCount,
                                        data);
}

quint8 passThroughTarget(const QString &targetText)
{
    return lowByteOfDecimal(targetText);
}

std::optional<QByteArray> passThroughWrite(quint8 target, const QByteArray &payload)
{
    if (payload.size() > passThroughMaxPayload)
        return std::nullopt;
    QByteArray data = payload;
    if (data.size() >= 18) {
        quint8 sum = 0;
        for (int i = 2; i <= 16; ++i)
            sum = quint8(sum + quint8(data[i]));
        data[17] = char(sum);
    }
    const quint16 start = quint16((target << 8) | passThroughRegisterLow);
    return modbus::writeMultipleRequest(start, passThroughRegisterCount, data);
}

QByteArray passThroughRead(quint8 target)
{
    return modbus::readRequest(quint16((target << 8) | passThroughRegisterLow),
                               passThroughReadCount);
}

} // namespace requests
