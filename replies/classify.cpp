#include "classify.h"

#include "commands/nativeframe.h"
#include "serial/codec.h"

namespace {
bool isNativeFrameAt(const RxBuffer &b, int position)
{
    return b[position] == native::header && b[position + native::frameSize - 1] == native::tail;
}
} // namespace

Classification classify(const RxBuffer &b)
{
    if (b.length == native::frameSize && isNativeFrameAt(b, 0))
        return {ReplyKind::NativeFrames, 1};
    if (b.length == 2 * native::frameSize && isNativeFrameAt(b, 0))
        return {ReplyKind::NativeFrames, isNativeFrameAt(b, native::frameSize) ? 2 : 1};
    if (b.length == 8 && b[1] == quint8(modbus::Function::WriteSingleRegister))
        return {ReplyKind::WriteEcho, 0};
    if (b[1] == quint8(modbus::Function::ReadHoldingRegisters))
        return {ReplyKind::FunctionThree, 0};
    return {};
}
