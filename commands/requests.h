#pragma once

#include "commands/registermap.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Pure builders of every request the tool sends over Modbus. Inputs are what the widgets hold.
namespace requests {

// Base-10 text conversion of the setting fields: failure gives 0, the low 8 bits are sent.
quint8 lowByteOfDecimal(const QString &text);
// Base-16 device address; 0 (also empty or unconvertible text) is sent as 1.
quint8 deviceAddressFromText(const QString &text);
// Bit n-1 set for each checked unit n.
quint8 unitMask(bool unit1, bool unit2, bool unit3, bool unit4);
// Line-rate code for an index of the rate selector "9600", "4800", "9600", "19200".
quint8 baudRateCodeForIndex(int index);

QByteArray query(Register reg, quint8 object = 0);
QByteArray calibrationQuery(quint8 object, int rangeIndex);

QByteArray write(Register reg, quint8 highByte, quint8 lowByte);
QByteArray deviceAddressWrite(const QString &text);
QByteArray calibrationWrite(quint8 object, int rangeIndex, const QString &zeroOffsetText,
                            const QString &factorText);

// Pass-through: 19 registers of a target's block from 0x11 on.
constexpr quint8 passThroughRegisterLow = 0x11;
constexpr quint16 passThroughRegisterCount = 10;
constexpr quint16 passThroughReadCount = 19;
constexpr int passThroughFrameCapacity = 100;
constexpr int passThroughMaxPayload = passThroughFrameCapacity - 9;

quint8 passThroughTarget(const QString &targetText);
// Payload bytes 2..16 are summed into payload byte 17, so a typed native frame leaves with a
// correct checksum. Empty when the payload does not fit the frame.
std::optional<QByteArray> passThroughWrite(quint8 target, const QByteArray &payload);
QByteArray passThroughRead(quint8 target);

} // namespace requests
