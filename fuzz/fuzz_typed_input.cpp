// Everything a user can type into a line edit, through its conversion and its request builder:
// the pass-through hex field, the decimal setting fields, the hex device address and the
// calibration pair.
//
// Input: byte 0 pass-through target and text encoding, byte 1 calibration object, byte 2
// calibration range index (signed); the rest is up to four texts separated by newlines.

#include "fuzzcheck.h"

#include "commands/requests.h"
#include "commands/typedinput.h"
#include "serial/codec.h"

#include <QStringList>

#include <cstdint>

namespace {

// A Modbus frame followed by its CRC, low byte first, leaves a CRC of zero.
bool crcVerifies(const QByteArray &frame)
{
    return frame.size() > 2 && crc16Modbus(frame) == 0;
}

quint8 at(const QByteArray &bytes, int i)
{
    return quint8(bytes.at(i));
}

// Whatever QString accepts as an int, low byte; anything else 0.
quint8 expectedLowByte(const QString &text, int base)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, base);
    if (!ok || value < INT_MIN || value > INT_MAX)
        return 0;
    return quint8(value & 0xFF);
}

void checkHexText(const QString &text)
{
    const QByteArray payload = fromHexText(text);
    const QStringList parts = text.split(QLatin1Char(' '));
    FUZZ_CHECK(payload.size() == parts.size());
    for (int i = 0; i < parts.size(); ++i)
        FUZZ_CHECK(at(payload, i) == expectedLowByte(parts.at(i), 16));

    for (int target : {0, 1, 4, 255}) {
        const auto frame = requests::passThroughWrite(quint8(target), payload);
        const int n = payload.size();
        if (n > requests::passThroughMaxPayload) {
            FUZZ_CHECK(!frame);
            continue;
        }
        FUZZ_CHECK(frame.has_value());
        FUZZ_CHECK(frame->size() == n + 9);
        FUZZ_CHECK(frame->size() <= requests::passThroughFrameCapacity);
        FUZZ_CHECK(crcVerifies(*frame));
        FUZZ_CHECK(frame->left(6) ==
                   QByteArray::fromHex("0010") + char(target) + QByteArray::fromHex("11000a"));
        FUZZ_CHECK(at(*frame, 6) == n);
        quint8 sum = 0;
        for (int i = 2; i <= 16 && i < n; ++i)
            sum = quint8(sum + at(payload, i));
        for (int i = 0; i < n; ++i)
            FUZZ_CHECK(at(*frame, 7 + i) == (i == 17 ? sum : at(payload, i)));
    }
}

void checkDecimal(const QString &text)
{
    FUZZ_CHECK(requests::lowByteOfDecimal(text) == expectedLowByte(text, 10));
    FUZZ_CHECK(requests::passThroughTarget(text) == requests::lowByteOfDecimal(text));
}

// A value that passes its check lies in its range and is what the request builders send.
void checkTyped(const QString &text)
{
    for (const typedinput::FieldRange &range : typedinput::fieldRanges) {
        const typedinput::Checked checked = typedinput::check(range.field, text);
        FUZZ_CHECK(checked.value.has_value() == checked.refusal.isEmpty());
        if (!checked.value)
            continue;
        FUZZ_CHECK(*checked.value >= range.min && *checked.value <= range.max);
        if (range.base == 16)
            FUZZ_CHECK(requests::deviceAddressFromText(text) == *checked.value);
        else
            FUZZ_CHECK(requests::lowByteOfDecimal(text) == quint8(*checked.value & 0xFF));
    }
    if (!typedinput::passThroughRefusal(text).isEmpty())
        return;
    const QStringList parts = text.split(QLatin1Char(' '));
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const int value = parts.at(i).toInt(&ok, 16);
        FUZZ_CHECK((ok && value >= 0 && value <= 255) ||
                   (parts.at(i).isEmpty() && i > 0 && i == parts.size() - 1));
    }
}

void checkDeviceAddress(const QString &text)
{
    const quint8 address = requests::deviceAddressFromText(text);
    const quint8 typed = expectedLowByte(text, 16);
    FUZZ_CHECK(address == (typed == 0 ? 1 : typed));
    const QByteArray frame = requests::deviceAddressWrite(text);
    FUZZ_CHECK(frame.size() == 8);
    FUZZ_CHECK(crcVerifies(frame));
    FUZZ_CHECK(frame.left(5) == QByteArray::fromHex("0006000000"));
    FUZZ_CHECK(at(frame, 5) == address);
}

void checkCalibration(quint8 object, int range, const QString &zeroText, const QString &factorText)
{
    const QByteArray frame = requests::calibrationWrite(object, range, zeroText, factorText);
    FUZZ_CHECK(frame.size() == 13);
    FUZZ_CHECK(crcVerifies(frame));
    FUZZ_CHECK(at(frame, 0) == 0 && at(frame, 1) == 0x10 && at(frame, 2) == object);
    const quint8 reg = at(frame, 3);
    FUZZ_CHECK(reg == (range == 1 ? 0xC5 : range == 2 ? 0xC7 : 0xC3));
    FUZZ_CHECK(at(frame, 4) == 0 && at(frame, 5) == 2 && at(frame, 6) == 4);

    bool ok = false;
    const qlonglong zero = zeroText.toLongLong(&ok, 10);
    const bool valid = ok && zero >= INT_MIN && zero <= INT_MAX;
    FUZZ_CHECK(at(frame, 7) == (valid && zero > 0 ? 1 : 0));
    FUZZ_CHECK(at(frame, 8) == (valid ? quint8((zero < 0 ? -zero : zero) & 0xFF) : 0));
    FUZZ_CHECK(at(frame, 9) == 0);
    FUZZ_CHECK(at(frame, 10) == requests::lowByteOfDecimal(factorText));

    const QByteArray query = requests::calibrationQuery(object, range);
    FUZZ_CHECK(query.size() == 8 && crcVerifies(query));
    FUZZ_CHECK(at(query, 3) == reg);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const quint8 target = data[0];
    const quint8 object = data[1];
    const int range = int(qint8(data[2]));
    const QByteArray raw(reinterpret_cast<const char *>(data + 3), int(size - 3));

    // Raw bytes as hex text come back with one more byte: the text's trailing space.
    FUZZ_CHECK(fromHexText(toHexText(raw)) == raw + '\0');

    const QString all = (target & 1) ? QString::fromLatin1(raw) : QString::fromUtf8(raw);
    QStringList texts = all.split(QLatin1Char('\n'));
    while (texts.size() < 4)
        texts.append(QString());

    checkHexText(all);
    for (const QString &text : texts) {
        checkHexText(text);
        checkDecimal(text);
        checkDeviceAddress(text);
        checkTyped(text);
    }
    checkCalibration(object, range, texts.at(0), texts.at(1));
    checkCalibration(object, range, texts.at(2), texts.at(3));
    return 0;
}
