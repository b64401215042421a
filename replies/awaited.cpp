#include "awaited.h"

#include "commands/nativeframe.h"
#include "commands/registermap.h"
#include "commands/requests.h"
#include "serial/codec.h"

namespace awaited {

bool fitsQuery(const RxBuffer &b, int registerCount)
{
    const int dataBytes = b[2];
    const int whole = 3 + dataBytes + 2;
    if (dataBytes != 2 * registerCount || b.length < whole || whole > RxBuffer::capacity)
        return false;
    const quint16 crc = crc16Modbus(b.bytes.data(), quint16(3 + dataBytes));
    return b[3 + dataBytes] == (crc & 0xFF) && b[4 + dataBytes] == (crc >> 8);
}

bool nativeChecksumMatches(const RxBuffer &b, int position)
{
    if (position < 0 || position + native::frameSize > RxBuffer::capacity)
        return false;
    return nativeChecksum(b.bytes.data() + position) == b[position + native::checksumOffset];
}

static constexpr int countOf(Register reg)
{
    return registerInfo(reg).readCount;
}

const Query queries[queryCount] = {
    {&ReplyWaitFlags::waitSensorData, countOf(Register::Measurement),
     QT_TRANSLATE_NOOP("MainWindow", "measurement")},
    {&ReplyWaitFlags::waitAutoCleanDust, countOf(Register::AutoCleanDust),
     QT_TRANSLATE_NOOP("MainWindow", "automatic cleaning")},
    {&ReplyWaitFlags::waitHeatMode, countOf(Register::HeatMode),
     QT_TRANSLATE_NOOP("MainWindow", "heating mode")},
    {&ReplyWaitFlags::waitWorkMode, countOf(Register::WorkMode),
     QT_TRANSLATE_NOOP("MainWindow", "work mode")},
    {&ReplyWaitFlags::waitDeviceAddr, countOf(Register::DeviceAddress),
     QT_TRANSLATE_NOOP("MainWindow", "device address")},
    {&ReplyWaitFlags::waitSelfCheck, countOf(Register::SelfCheck),
     QT_TRANSLATE_NOOP("MainWindow", "self-check")},
    {&ReplyWaitFlags::waitGlobalOnOff, countOf(Register::GlobalOnOff),
     QT_TRANSLATE_NOOP("MainWindow", "global switches")},
    {&ReplyWaitFlags::waitTempHumi, countOf(Register::TempHumi),
     QT_TRANSLATE_NOOP("MainWindow", "temperature and humidity")},
    {&ReplyWaitFlags::waitHeatTemp, countOf(Register::HeatTemp),
     QT_TRANSLATE_NOOP("MainWindow", "heating temperature thresholds")},
    {&ReplyWaitFlags::waitHeatHumi, countOf(Register::HeatHumi),
     QT_TRANSLATE_NOOP("MainWindow", "heating humidity thresholds")},
    // The three calibration ranges read the same number of registers.
    {&ReplyWaitFlags::waitCalibrate, countOf(calibrationRanges[0]),
     QT_TRANSLATE_NOOP("MainWindow", "calibration")},
    {&ReplyWaitFlags::waitTransRead, requests::passThroughReadCount,
     QT_TRANSLATE_NOOP("MainWindow", "pass-through read")},
    {&ReplyWaitFlags::waitFactor, countOf(Register::Weights),
     QT_TRANSLATE_NOOP("MainWindow", "self-check weights")},
};
static_assert(countOf(calibrationRanges[1]) == countOf(calibrationRanges[0]) &&
                  countOf(calibrationRanges[2]) == countOf(calibrationRanges[0]),
              "one register count serves every calibration range");

int rowOf(quint8 ReplyWaitFlags::*field)
{
    for (int row = 0; row < queryCount; ++row)
        if (queries[row].field == field)
            return row;
    return -1;
}

void Clock::raised(int row)
{
    if (row < 0 || row >= queryCount)
        return;
    order[std::size_t(row)] = ++lastOrder;
    waited[std::size_t(row)] = 0;
}

int Clock::serve(const RxBuffer &b, ReplyWaitFlags &flags)
{
    int served = -1;
    for (int row = 0; row < queryCount; ++row) {
        if (flags.*queries[row].field != 1 || !fitsQuery(b, queries[row].registerCount))
            continue;
        if (served < 0 || order[std::size_t(row)] < order[std::size_t(served)])
            served = row;
    }
    if (served >= 0) {
        flags.*queries[served].field = 0;
        order[std::size_t(served)] = 0;
        waited[std::size_t(served)] = 0;
    }
    return served;
}

std::vector<int> Clock::tick(ReplyWaitFlags &flags)
{
    std::vector<int> expired;
    for (int row = 0; row < queryCount; ++row) {
        const std::size_t i = std::size_t(row);
        if (flags.*queries[row].field != 1) {
            waited[i] = 0;
            order[i] = 0;
            continue;
        }
        if (++waited[i] < noAnswerTicks)
            continue;
        flags.*queries[row].field = 0;
        waited[i] = 0;
        order[i] = 0;
        expired.push_back(row);
    }
    return expired;
}

std::vector<int> Clock::lowerAll(ReplyWaitFlags &flags)
{
    std::vector<int> lowered;
    for (int row = 0; row < queryCount; ++row) {
        order[std::size_t(row)] = 0;
        waited[std::size_t(row)] = 0;
        if (flags.*queries[row].field != 1)
            continue;
        flags.*queries[row].field = 0;
        lowered.push_back(row);
    }
    return lowered;
}

} // namespace awaited
