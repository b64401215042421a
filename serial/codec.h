#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// CRC-16/MODBUS: init 0xFFFF, reflected polynomial 0xA001, no final XOR.
quint16 crc16Modbus(const quint8 *data, quint16 length);
quint16 crc16Modbus(const QByteArray &bytes);

// Two lower-case hex digits and one space per byte, so non-empty text ends with a space.
QString toHexText(const quint8 *data, int length);
QString toHexText(const QByteArray &bytes);

// Splits at single spaces (empty parts kept), each part base 16, low 8 bits; never empty.
QByteArray fromHexText(const QString &text);

// 8-bit sum of the data bytes (offsets 2 to 16) of a native frame of at least 17 bytes.
quint8 nativeChecksum(const quint8 *frame);
quint8 nativeChecksum(const QByteArray &frame);

namespace modbus {

constexpr quint8 unitAddress = 0x00;

enum class Function : quint8 {
    ReadHoldingRegisters = 0x03,
    WriteSingleRegister = 0x06,
    WriteMultipleRegisters = 0x10,
};

// Appends the CRC of everything before it; on a serial line the low byte goes first.
QByteArray withCrc(QByteArray frame);

QByteArray readRequest(quint16 startRegister, quint16 count);
QByteArray writeSingleRequest(quint16 reg, quint16 value);
// The register count is a field of its own: the pass-through frame sends 10 whatever the data.
QByteArray writeMultipleRequest(quint16 startRegister, quint16 count, const QByteArray &data);

// The same request sent to another unit (0 reaches every unit on the line), with its CRC renewed.
QByteArray toUnit(const QByteArray &request, quint8 unit);

} // namespace modbus
