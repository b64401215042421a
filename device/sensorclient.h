#pragma once

#include "commands/settingkeys.h"
#include "replies/decoders.h"
#include "serial/requestengine.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Why an operation gave no value.
struct ClientFailure
{
    enum class Kind : quint8
    {
        None,
        Reply,        // the transaction failed: see outcome
        InvalidValue, // refused before anything was sent
        Mismatch,     // the read-back differs from what was written
    };
    Kind kind = Kind::None;
    reply::Outcome outcome = reply::Outcome::Ok;
    quint8 exceptionCode = 0;
    QString text; // what went wrong; the caller names the operation and the key
    QByteArray request;
    QByteArray reply;
};

// A value, or the failure that prevented it.
template <typename T> struct Answer
{
    std::optional<T> value;
    ClientFailure failure;

    explicit operator bool() const { return value.has_value(); }
    const T &operator*() const { return *value; }
    const T *operator->() const { return &*value; }
};

struct Environment
{
    int temperature = 0; // °C
    int humidity = 0;    // %RH
};

// Typed operations on one sensor through the engine, each waiting for its answer in a local
// event loop. Modbus requests go to unit(); 0 reaches whichever single sensor is on the line.
class SensorClient
{
public:
    explicit SensorClient(RequestEngine &engine, quint8 unit = 0);

    void setUnit(quint8 unit) { unit_ = unit; }
    quint8 unit() const { return unit_; }
    RequestEngine &engine() { return engine_; }

    // The request addressed to unit(); native frames go as they are.
    Answer<QByteArray> transact(const QByteArray &request, bool expectsReply = true);

    Answer<decode::Measurement> measurement(quint8 object);
    Answer<Environment> environment();
    Answer<int> get(const settings::SettingKey &key);
    // Checks the value, keeps the other values of a shared register, writes, follows a new rate
    // or address, and reads the value back. Returns what the sensor holds afterwards (for an
    // action, the value carried out).
    Answer<int> set(const settings::SettingKey &key, int value);

    // Native frames: answered only while the sensor speaks its native protocol.
    Answer<QString> deviceId();
    Answer<QString> firmware();

    // A one-register read of the address register: does a sensor answer at unit() and this rate?
    Answer<int> probe();

private:
    template <typename T> static Answer<T> failed(const ClientFailure &failure)
    {
        return {std::nullopt, failure};
    }
    Answer<RxBuffer> read(const QByteArray &request);
    Answer<QString> nativeText(const QByteArray &request);

    RequestEngine &engine_;
    quint8 unit_ = 0;
};

// A failure of a transaction that finished without a verified reply.
ClientFailure replyFailure(const RequestEngine::Result &result);
