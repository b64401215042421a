// The reply verifier over any bytes arriving in any chunks, assembled as the engine assembles
// them: no crash, and no "ok" for a frame that is not a valid answer to the request.
//
// Input: byte 0 picks the request, byte 1 the chunk size (1 to 16); the rest is the line.

#include "fuzzcheck.h"

#include "commands/nativeframe.h"
#include "commands/requests.h"
#include "serial/codec.h"
#include "serial/replyverifier.h"

#include <cstdint>
#include <vector>

namespace {

const std::vector<QByteArray> &requestsToVerify()
{
    static const std::vector<QByteArray> rows = {
        requests::query(Register::Measurement, 2),
        modbus::toUnit(requests::query(Register::WorkMode), 7),
        requests::write(Register::HeatTemp, 40, 0xF6),
        modbus::toUnit(requests::calibrationWrite(1, 2, QStringLiteral("-5"), QStringLiteral("90")),
                       3),
        native::deviceInfoQuery(),
        native::firmwareQuery(),
    };
    return rows;
}

quint8 at(const QByteArray &bytes, int i)
{
    return quint8(bytes.at(i));
}

void checkAccepted(const QByteArray &request, const QByteArray &reply, const reply::Verdict &v)
{
    if (v.outcome == reply::Outcome::Exception) {
        FUZZ_CHECK(reply.size() == 5 && at(reply, 1) == (at(request, 1) | 0x80));
        FUZZ_CHECK(v.exceptionCode == at(reply, 2));
    }
    if (v.outcome != reply::Outcome::Ok)
        return;
    FUZZ_CHECK(reply.size() == reply::expectedReplyLength(request, reply));
    FUZZ_CHECK(at(reply, 1) == at(request, 1));
    if (reply::isNativeFrame(request)) {
        FUZZ_CHECK(reply.size() == native::frameSize && at(reply, 0) == native::header &&
                   at(reply, 18) == native::tail);
        FUZZ_CHECK(nativeChecksum(reply) == at(reply, native::checksumOffset));
        return;
    }
    const QByteArray body = reply.left(reply.size() - 2);
    FUZZ_CHECK(modbus::withCrc(body) == reply);
    FUZZ_CHECK(at(request, 0) == 0 ? at(reply, 0) <= 247 : at(reply, 0) == at(request, 0));
    if (at(request, 1) == 3)
        FUZZ_CHECK(at(reply, 2) == 2 * at(request, 5) && at(request, 4) == 0);
    else
        FUZZ_CHECK(reply.mid(2, 4) == request.mid(2, 4) || at(request, 1) == 0x10);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray &request = requestsToVerify()[data[0] % requestsToVerify().size()];
    const int chunk = 1 + data[1] % 16;
    const QByteArray line(reinterpret_cast<const char *>(data + 2), int(size - 2));

    QByteArray received;
    for (int offset = 0; offset < line.size(); offset += chunk) {
        received += line.mid(offset, chunk);
        const int expected = reply::expectedReplyLength(request, received);
        FUZZ_CHECK(expected >= -1);
        if (expected > 0 && received.size() >= expected) {
            const QByteArray reply = received.left(expected);
            checkAccepted(request, reply, reply::verify(request, reply));
            received = received.mid(expected);
        }
    }
    // Silence after what is left: the engine verifies it as it stands.
    checkAccepted(request, received, reply::verify(request, received));
    return 0;
}
