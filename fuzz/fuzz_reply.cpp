// One receive tick over arbitrary line bytes: the buffer, the classification, every decoder the
// raised fields would run, the native decoder at both frame positions and at odd ones, the echo
// check and the baud-rate search with the state taken from the input.
//
// Input: bytes 0-1 raised fields (bit n-1 for field n), byte 2 probe state, byte 3 measurement
// object, bytes 4-7 probe tick counter, byte 8 an extra native position; the rest is the read.

#include "fuzzcheck.h"

#include "replies/awaited.h"
#include "replies/baudprobe.h"
#include "replies/classify.h"
#include "replies/decoders.h"
#include "replies/replywaitflags.h"
#include "serial/codec.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t stateBytes = 9;

quint16 word(const RxBuffer &b, int offset)
{
    return quint16((b[offset] << 8) | b[offset + 1]);
}

void checkBuffer(const QByteArray &read, const RxBuffer &b)
{
    FUZZ_CHECK(b.length == read.size());
    for (int i = 0; i < RxBuffer::capacity; ++i)
        FUZZ_CHECK(b[i] == (i < read.size() ? quint8(read[i]) : 0));
    for (int outside : {-1000000, -1, RxBuffer::capacity, RxBuffer::capacity + 1, 1000000})
        FUZZ_CHECK(b[outside] == 0);
    FUZZ_CHECK(isLogged(b.length) == (b.length > 3));
    FUZZ_CHECK(toHexText(read).size() == 3 * read.size());
}

void checkClassification(const RxBuffer &b, const Classification &c)
{
    const bool firstNative = b[0] == 0xAA && b[18] == 0xAB;
    const bool secondNative = b[19] == 0xAA && b[37] == 0xAB;
    if ((b.length == 19 || b.length == 38) && firstNative) {
        FUZZ_CHECK(c.kind == ReplyKind::NativeFrames);
        FUZZ_CHECK(c.nativeFrameCount == (b.length == 38 && secondNative ? 2 : 1));
    } else if (b.length == 8 && b[1] == 6) {
        FUZZ_CHECK(c.kind == ReplyKind::WriteEcho);
    } else if (b[1] == 3) {
        FUZZ_CHECK(c.kind == ReplyKind::FunctionThree);
    } else {
        FUZZ_CHECK(c.kind == ReplyKind::Unmatched);
    }
    if (c.kind != ReplyKind::NativeFrames)
        FUZZ_CHECK(c.nativeFrameCount == 0);
}

void checkNative(const RxBuffer &b, int p)
{
    static const QRegularExpression idForm(QStringLiteral("^[0-9a-f]{4}-[0-9a-f]{4}$"));
    static const QRegularExpression firmwareForm(
        QStringLiteral("^-?[0-9]{1,3}--?[0-9]{1,3}--?[0-9]{1,3}$"));
    if (p >= 0 && p + 19 <= RxBuffer::capacity) {
        quint8 sum = 0;
        for (int i = 2; i <= 16; ++i)
            sum = quint8(sum + b[p + i]);
        FUZZ_CHECK(awaited::nativeChecksumMatches(b, p) == (sum == b[p + 17]));
    } else {
        FUZZ_CHECK(!awaited::nativeChecksumMatches(b, p));
    }
    const decode::NativeFrameContent content = decode::nativeFrame(b, p);
    switch (content.reply) {
    case decode::NativeReply::DeviceId:
        FUZZ_CHECK(b[p + 1] == 0xA6);
        FUZZ_CHECK(idForm.match(content.text).hasMatch());
        break;
    case decode::NativeReply::Firmware:
        FUZZ_CHECK(b[p + 1] == 0xB5);
        FUZZ_CHECK(firmwareForm.match(content.text).hasMatch());
        break;
    case decode::NativeReply::Other:
        FUZZ_CHECK(b[p + 1] != 0xA6 && b[p + 1] != 0xB5);
        FUZZ_CHECK(content.text.isEmpty());
        break;
    }
}

void checkMeasurement(const RxBuffer &b, quint8 object)
{
    const decode::Measurement m = decode::measurement(b);
    FUZZ_CHECK(m.pm25 >= 0 && m.pm25 <= 6553.5f);
    FUZZ_CHECK(m.pm10 >= 0 && m.pm10 <= 6553.5f);
    FUZZ_CHECK(m.pm100 == word(b, 7));
    for (int shown : {0, 1, 2, 3, 4, int(object)}) {
        const QString line = decode::measurementLine(m, quint8(shown));
        FUZZ_CHECK(line.startsWith(shown == 0 ? QLatin1String("All Sensor: PM2.5 = ")
                                              : QLatin1String("Sensor ")));
        FUZZ_CHECK(line.endsWith(QStringLiteral("  PM100 = ") + QString::number(m.pm100)));
        FUZZ_CHECK(line.size() < 100);
    }
}

bool inByteRange(const decode::BytePair &pair, int low, int high)
{
    return pair.high >= low && pair.high <= high && pair.low >= low && pair.low <= high;
}

void checkSettings(const RxBuffer &b)
{
    FUZZ_CHECK(inByteRange(decode::autoCleanDust(b), 0, 255));
    FUZZ_CHECK(inByteRange(decode::heatHumi(b), 0, 255));
    FUZZ_CHECK(inByteRange(decode::heatTemp(b), -128, 127));
    const decode::BytePair tempHumi = decode::tempHumi(b);
    FUZZ_CHECK(tempHumi.high >= -128 && tempHumi.high <= 127);
    FUZZ_CHECK(tempHumi.low >= 0 && tempHumi.low <= 255);

    const auto automatic = decode::heatModeAutomatic(b);
    FUZZ_CHECK(automatic.has_value() == (b[3] <= 1));

    const auto mode = decode::workMode(b);
    FUZZ_CHECK(mode.has_value() == (b[3] >= 1 && b[3] <= 3));
    if (mode)
        FUZZ_CHECK(mode->mode == b[3]);

    const QString address = decode::deviceAddressText(b);
    FUZZ_CHECK(address.size() >= 1 && address.size() <= 2);
    FUZZ_CHECK(address.toInt(nullptr, 16) == b[4]);

    const auto failed = decode::selfCheckFailed(b);
    const auto on = decode::globalOn(b);
    for (std::size_t unit = 0; unit < 4; ++unit)
        FUZZ_CHECK(failed[unit] != on[unit]);

    const decode::Calibration calibration = decode::calibration(b);
    FUZZ_CHECK(calibration.zeroOffset >= -255 && calibration.zeroOffset <= 255);
    FUZZ_CHECK(calibration.factor >= 0 && calibration.factor <= 255);

    for (int weight : decode::weights(b))
        FUZZ_CHECK(weight >= 0 && weight <= 255);

    const QString passThrough = decode::passThroughReadText(b);
    FUZZ_CHECK(passThrough.size() == 3 * qMin(int(b[2]), RxBuffer::capacity - 3));
}

// One row per field, in the order the tick serves them, with the decoder it runs.
struct FieldRow
{
    quint8 ReplyWaitFlags::*field;
    void (*decoder)(const RxBuffer &, quint8 object);
};
const FieldRow fieldRows[] = {
    {&ReplyWaitFlags::waitSensorData, checkMeasurement},
    {&ReplyWaitFlags::waitAutoCleanDust,
     [](const RxBuffer &b, quint8) { decode::autoCleanDust(b); }},
    {&ReplyWaitFlags::waitHeatMode,
     [](const RxBuffer &b, quint8) { decode::heatModeAutomatic(b); }},
    {&ReplyWaitFlags::waitWorkMode, [](const RxBuffer &b, quint8) { decode::workMode(b); }},
    {&ReplyWaitFlags::waitDeviceAddr,
     [](const RxBuffer &b, quint8) { decode::deviceAddressText(b); }},
    {&ReplyWaitFlags::waitSelfCheck, [](const RxBuffer &b, quint8) { decode::selfCheckFailed(b); }},
    {&ReplyWaitFlags::waitGlobalOnOff, [](const RxBuffer &b, quint8) { decode::globalOn(b); }},
    {&ReplyWaitFlags::waitTempHumi, [](const RxBuffer &b, quint8) { decode::tempHumi(b); }},
    {&ReplyWaitFlags::waitHeatTemp, [](const RxBuffer &b, quint8) { decode::heatTemp(b); }},
    {&ReplyWaitFlags::waitHeatHumi, [](const RxBuffer &b, quint8) { decode::heatHumi(b); }},
    {&ReplyWaitFlags::waitCalibrate, [](const RxBuffer &b, quint8) { decode::calibration(b); }},
    {&ReplyWaitFlags::waitTransRead,
     [](const RxBuffer &b, quint8) { decode::passThroughReadText(b); }},
    {&ReplyWaitFlags::waitFactor, [](const RxBuffer &b, quint8) { decode::weights(b); }},
};

void checkProbe(const RxBuffer &b, quint8 state, quint32 ticks)
{
    FUZZ_CHECK(baudprobe::acceptsReply(b) == (b[0] == b[4] && b[2] == 2));
    const baudprobe::TickStep step = baudprobe::endOfTick(state, ticks);
    if (state == 0) {
        FUZZ_CHECK(step.newState == 0 && step.newTicks == ticks && !step.retuneTo);
        return;
    }
    FUZZ_CHECK(step.newTicks == quint32(ticks + 1));
    if (!step.retuneTo) {
        FUZZ_CHECK(step.newState == state);
        return;
    }
    FUZZ_CHECK(step.newState < baudprobe::exhaustedState);
    const qint32 rate = *step.retuneTo;
    FUZZ_CHECK(rate == 2400 || rate == 4800 || rate == 9600 || rate == 19200);
    const char *message = baudprobe::messageOfState(step.newState);
    FUZZ_CHECK((message != nullptr) == (step.newState >= 1 && step.newState <= 4));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::uint8_t state[stateBytes] = {};
    const std::size_t taken = size < stateBytes ? size : stateBytes;
    std::memcpy(state, data, taken);
    const QByteArray read(reinterpret_cast<const char *>(data + taken), int(size - taken));

    const quint16 raised = quint16(state[0] | (state[1] << 8));
    const quint8 probeState = state[2];
    const quint8 object = state[3];
    quint32 ticks = 0;
    std::memcpy(&ticks, state + 4, sizeof ticks);
    const int oddPosition = int(state[8]) - 100;

    replyWaitFlags = {};
    for (std::size_t row = 0; row < std::size(fieldRows); ++row)
        replyWaitFlags.*fieldRows[row].field = (raised >> row) & 1;
    replyWaitFlags.baudProbeState = probeState;
    const ReplyWaitFlags before = replyWaitFlags;

    const RxBuffer b = RxBuffer::fromRead(read);
    checkBuffer(read, b);
    const Classification c = classify(b);
    checkClassification(b, c);

    switch (c.kind) {
    case ReplyKind::NativeFrames:
        for (int frame = 0; frame < c.nativeFrameCount; ++frame)
            checkNative(b, frame * 19);
        break;
    case ReplyKind::WriteEcho:
        if (const auto echo = decode::writeEcho(b))
            FUZZ_CHECK(std::strlen(decode::writeEchoMessage(*echo)) > 0);
        break;
    case ReplyKind::FunctionThree: {
        // At most one raised field is served: with every field raised from outside (no order),
        // the first row whose query the whole, intact reply fits.
        awaited::Clock clock;
        const int served = clock.serve(b, replyWaitFlags);
        int firstFitting = -1;
        for (int row = 0; row < awaited::queryCount && firstFitting < 0; ++row) {
            const int whole = 5 + b[2];
            if (before.*fieldRows[row].field == 1 &&
                b[2] == 2 * awaited::queries[row].registerCount && read.size() >= whole &&
                whole <= RxBuffer::capacity && crc16Modbus(read.left(whole)) == 0)
                firstFitting = row;
        }
        FUZZ_CHECK(served == firstFitting);
        for (int row = 0; row < awaited::queryCount; ++row)
            FUZZ_CHECK(replyWaitFlags.*fieldRows[row].field ==
                       (row == served ? 0 : before.*fieldRows[row].field));
        if (served >= 0)
            fieldRows[served].decoder(b, object);
        break;
    }
    case ReplyKind::Unmatched:
        break;
    }
    if (c.kind != ReplyKind::FunctionThree)
        for (const FieldRow &row : fieldRows)
            FUZZ_CHECK(replyWaitFlags.*row.field == before.*row.field);

    // Every decoder on every read, whatever the classification said.
    checkNative(b, 0);
    checkNative(b, 19);
    checkNative(b, oddPosition);
    const auto echo = decode::writeEcho(b);
    FUZZ_CHECK(!echo || c.kind == ReplyKind::WriteEcho);
    checkMeasurement(b, object);
    checkSettings(b);
    checkProbe(b, probeState, ticks);
    return 0;
}
