// The typed device number "hhhh-hhhh" into the native set-number frame.

#include "fuzzcheck.h"

#include "commands/nativeframe.h"
#include "serial/codec.h"

#include <QStringList>

#include <cstdint>

namespace {

quint16 expectedHalf(const QString &part)
{
    bool ok = false;
    const qlonglong value = part.toLongLong(&ok, 16);
    if (!ok || value < INT_MIN || value > INT_MAX)
        return 0;
    return quint16(value & 0xFFFF);
}

void checkFrame(const native::DeviceNumber &number)
{
    const QByteArray frame = native::setDeviceNumberFrame(number);
    FUZZ_CHECK(frame.size() == native::frameSize);
    FUZZ_CHECK(quint8(frame[0]) == native::header && quint8(frame[18]) == native::tail);
    FUZZ_CHECK(quint8(frame[1]) == quint8(native::Command::SetDeviceNumber));
    quint8 sum = 0;
    for (int i = 2; i <= 16; ++i)
        sum = quint8(sum + quint8(frame[i]));
    FUZZ_CHECK(quint8(frame[native::checksumOffset]) == sum);
    FUZZ_CHECK(nativeChecksum(frame) == sum);
    FUZZ_CHECK(
        frame.mid(8, 4) ==
        QByteArray::fromHex(QByteArray::number(number.firstHalf, 16).rightJustified(4, '0') +
                            QByteArray::number(number.secondHalf, 16).rightJustified(4, '0')));
    for (int i = 2; i <= 16; ++i)
        if (i < 8 || i > 11)
            FUZZ_CHECK(frame[i] == '\0');

    // The number as the window shows it parses back to itself.
    const QString shown = native::deviceIdText(quint8(frame[8]), quint8(frame[9]),
                                               quint8(frame[10]), quint8(frame[11]));
    const native::DeviceNumber again = native::parseDeviceNumber(shown);
    FUZZ_CHECK(again.firstHalf == number.firstHalf && again.secondHalf == number.secondHalf);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char *>(data), int(size));
    for (const QString &text : {QString::fromUtf8(raw), QString::fromLatin1(raw)}) {
        const native::DeviceNumber number = native::parseDeviceNumber(text);
        const QStringList parts = text.split(QLatin1Char('-'));
        FUZZ_CHECK(number.firstHalf == expectedHalf(parts.first()));
        FUZZ_CHECK(number.secondHalf == expectedHalf(parts.last()));
        checkFrame(number);
    }
    if (size >= 3) {
        const QString firmware = native::firmwareText(data[0], data[1], data[2]);
        FUZZ_CHECK(firmware.size() >= 5 && firmware.size() <= 14);
    }
    return 0;
}
