#pragma once

#include "replies/rxbuffer.h"

#include <QString>
#include <array>
#include <optional>

// Pure decoders of the receive buffer. Bytes past the received length read as 0.
namespace decode {

enum class NativeReply { DeviceId, Firmware, Other };
struct NativeFrameContent
{
    NativeReply reply = NativeReply::Other;
    QString text; // device ID or firmware text
};
NativeFrameContent nativeFrame(const RxBuffer &b, int position);

enum class WriteEcho { ToModbus, ToNative, FactoryReset };
// Only the three known echoes, compared on bytes 1, 3, 5, 6 and 7.
std::optional<WriteEcho> writeEcho(const RxBuffer &b);
// Source text of the message that announces an echo (translated by the window).
const char *writeEchoMessage(WriteEcho echo);

struct Measurement
{
    float pm25 = 0;
    float pm10 = 0;
    quint16 pm100 = 0;
};
Measurement measurement(const RxBuffer &b);
QString measurementLine(const Measurement &m, quint8 object);

struct BytePair
{
    int high = 0;
    int low = 0;
};
BytePair autoCleanDust(const RxBuffer &b); // seconds, hours
BytePair tempHumi(const RxBuffer &b);      // signed temperature, unsigned humidity
BytePair heatTemp(const RxBuffer &b);      // both signed
BytePair heatHumi(const RxBuffer &b);      // both unsigned

// True for automatic, false for manual, nothing for any other mode.
std::optional<bool> heatModeAutomatic(const RxBuffer &b);
// The heater's switch in manual mode.
bool heaterOn(const RxBuffer &b);

struct WorkMode
{
    int mode = 0; // 1, 2 or 3
    std::array<bool, 4> units{};
};
std::optional<WorkMode> workMode(const RxBuffer &b);

QString deviceAddressText(const RxBuffer &b);
std::array<bool, 4> selfCheckFailed(const RxBuffer &b);
std::array<bool, 4> globalOn(const RxBuffer &b);

struct Calibration
{
    int zeroOffset = 0;
    int factor = 0;
};
Calibration calibration(const RxBuffer &b);

// Self-check weights of units 1 to 4, then suspect weights of units 1 to 4.
std::array<int, 8> weights(const RxBuffer &b);

// Data bytes of a pass-through read, cut at the end of the buffer.
QString passThroughReadText(const RxBuffer &b);

} // namespace decode
