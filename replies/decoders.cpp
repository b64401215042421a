#include "decoders.h"

#include "commands/nativeframe.h"
#include "serial/codec.h"

namespace decode {

NativeFrameContent nativeFrame(const RxBuffer &b, int p)
{
    switch (native::Command(b[p + 1])) {
    case native::Command::DeviceInfo:
        return {NativeReply::DeviceId,
                native::deviceIdText(b[p + 8], b[p + 9], b[p + 10], b[p + 11])};
    case native::Command::Firmware:
        return {NativeReply::Firmware, native::firmwareText(b[p + 9], b[p + 10], b[p + 11])};
    default:
        return {};
    }
}

namespace {
struct KnownEcho
{
    WriteEcho echo;
    quint8 reg;
    quint8 value;
    quint8 crcLow;
    quint8 crcHigh;
    const char *message;
};

// The echoes of the three fixed writes; their CRC bytes are compared, not computed.
constexpr KnownEcho knownEchoes[] = {
    {WriteEcho::ToModbus, 0xB1, 0x03, 0x98, 0x3D, QT_TRANSLATE_NOOP("MainWindow", "Device change to MODBUS!")},
    {WriteEcho::ToNative, 0xB1, 0x00, 0xD8, 0x3C, QT_TRANSLATE_NOOP("MainWindow", "Device change to Orvel!")},
    {WriteEcho::FactoryReset, 0xA5, 0x01, 0x59, 0xF8,
     QT_TRANSLATE_NOOP("MainWindow", "Device change to FactoryConfig!")},
};
} // namespace

std::optional<WriteEcho> writeEcho(const RxBuffer &b)
{
    if (b.length != 8 || b[1] != quint8(modbus::Function::WriteSingleRegister))
        return std::nullopt;
    for (const KnownEcho &known : knownEchoes)
        if (b[3] == known.reg && b[5] == known.value && b[6] == known.crcLow &&
            b[7] == known.crcHigh)
            return known.echo;
    return std::nullopt;
}

const char *writeEchoMessage(WriteEcho echo)
{
    for (const KnownEcho &known : knownEchoes)
        if (known.echo == echo)
            return known.message;
    return "";
}

static quint16 word(const RxBuffer &b, int offset)
{
    return quint16((b[offset] << 8) | b[offset + 1]);
}

Measurement measurement(const RxBuffer &b)
{
    return {float(word(b, 3) / 10.0), float(word(b, 5) / 10.0), word(b, 7)};
}

QString measurementLine(const Measurement &m, quint8 object)
{
    const QString label = object == 0 ? QStringLiteral("All Sensor: PM2.5 = ")
                                      : QStringLiteral("Sensor %2:  PM2.5 = ").arg(int(object));
    return label + QString::number(double(m.pm25), 'g', 6) + QStringLiteral("  PM10 = ") +
           QString::number(double(m.pm10), 'g', 6) + QStringLiteral("  PM100 = ") +
           QString::number(m.pm100);
}

BytePair autoCleanDust(const RxBuffer &b)
{
    return {b[3], b[4]};
}

BytePair tempHumi(const RxBuffer &b)
{
    return {qint8(b[3]), b[4]};
}

BytePair heatTemp(const RxBuffer &b)
{
    return {qint8(b[3]), qint8(b[4])};
}

BytePair heatHumi(const RxBuffer &b)
{
    return {b[3], b[4]};
}

std::optional<bool> heatModeAutomatic(const RxBuffer &b)
{
    if (b[3] == 1)
        return true;
    if (b[3] == 0)
        return false;
    return std::nullopt;
}

bool heaterOn(const RxBuffer &b)
{
    return b[4] == 1;
}

static std::array<bool, 4> bitsSet(quint8 mask)
{
    return {bool(mask & 0x01), bool(mask & 0x02), bool(mask & 0x04), bool(mask & 0x08)};
}

std::optional<WorkMode> workMode(const RxBuffer &b)
{
    if (b[3] < 1 || b[3] > 3)
        return std::nullopt;
    return WorkMode{b[3], bitsSet(b[4])};
}

QString deviceAddressText(const RxBuffer &b)
{
    return QString::number(b[4], 16);
}

std::array<bool, 4> selfCheckFailed(const RxBuffer &b)
{
    return bitsSet(quint8(~b[4]));
}

std::array<bool, 4> globalOn(const RxBuffer &b)
{
    return bitsSet(b[4]);
}

Calibration calibration(const RxBuffer &b)
{
    return {b[3] != 0 ? int(b[4]) : -int(b[4]), b[6]};
}

std::array<int, 8> weights(const RxBuffer &b)
{
    std::array<int, 8> values{};
    for (int i = 0; i < 8; ++i)
        values[std::size_t(i)] = b[3 + i];
    return values;
}

QString passThroughReadText(const RxBuffer &b)
{
    const int available = RxBuffer::capacity - 3;
    const int count = b[2] < available ? b[2] : available;
    return toHexText(b.bytes.data() + 3, count);
}

} // namespace decode
