#include "ctl/commands.h"

#include "commands/nativeframe.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <cmath>
#include <algorithm>
#include <iterator>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("px8107ctl", text);
}

constexpr int highestAddress = 247;
// Time a sensor takes to start its answer, beyond the answer's own time on the wire.
constexpr int answerMarginMs = 40;
constexpr int probeReplyBytes = 7;

std::optional<QList<qint32>> parseRates(const QString &text, QString *error)
{
    QList<qint32> rates;
    for (const QString &part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int rate = part.trimmed().toInt(&ok, 10);
        if (!ok ||
            std::find(std::begin(lineRates), std::end(lineRates), rate) == std::end(lineRates)) {
            *error = tr("--rates: '%1' is not one of 19200, 9600, 4800, 2400").arg(part);
            return std::nullopt;
        }
        rates << rate;
    }
    return rates;
}

std::optional<QList<int>> parseAddresses(const QString &text, QString *error)
{
    QList<int> addresses;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        bool firstOk = false;
        bool lastOk = false;
        const int first = ends.first().trimmed().toInt(&firstOk, 10);
        const int last = ends.last().trimmed().toInt(&lastOk, 10);
        if (ends.size() > 2 || !firstOk || !lastOk || first < 1 || last > highestAddress ||
            first > last) {
            *error = tr("--addresses: '%1' is not an address or range within 1-247").arg(part);
            return std::nullopt;
        }
        for (int address = first; address <= last; ++address)
            addresses << address;
    }
    return addresses;
}
} // namespace

void addScanOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("rates"),
         tr("Rates to try, comma-separated (default 19200,9600,4800,2400)."), tr("list")},
        {QStringLiteral("addresses"),
         tr("Addresses and ranges to try, e.g. 1-10,20 (default 1-247)."), tr("list")},
        {QStringLiteral("first"), tr("Stop at the first sensor found.")},
    });
}

// Every address at every rate gets one read of its address register; the timeout is sized to
// the rate unless --timeout is given, and nothing is sent again unless --retries is given.
ExitCode runScan(Session &session)
{
    QString error;
    const auto rates = parseRates(session.parser.value(QStringLiteral("rates")).isEmpty()
                                      ? QStringLiteral("19200,9600,4800,2400")
                                      : session.parser.value(QStringLiteral("rates")),
                                  &error);
    if (!rates)
        return session.usage(error);
    const auto addresses = parseAddresses(session.parser.isSet(QStringLiteral("addresses"))
                                              ? session.parser.value(QStringLiteral("addresses"))
                                              : QStringLiteral("1-247"),
                                          &error);
    if (!addresses)
        return session.usage(error);
    if (const auto failure = session.connect())
        return *failure;
    RequestEngine &engine = session.engine;
    if (!session.options.retriesGiven)
        engine.setRetries(0);
    const bool first = session.parser.isSet(QStringLiteral("first"));

    QJsonArray found;
    QJsonArray errors;
    QList<QStringList> rows{{tr("ADDRESS"), tr("RATE"), tr("PROTOCOL"), tr("DEVICE ID")}};
    const auto addFound = [&](std::optional<int> address, qint32 rate, const QString &protocol,
                              const QString &deviceId) {
        found.append(QJsonObject{
            {QStringLiteral("address"), address ? QJsonValue(*address) : QJsonValue()},
            {QStringLiteral("rate"), rate},
            {QStringLiteral("protocol"), protocol},
            {QStringLiteral("device-id"), deviceId.isEmpty() ? QJsonValue() : deviceId}});
        rows << QStringList{address ? QString::number(*address) : QStringLiteral("-"),
                            QString::number(rate), protocol, deviceId};
    };
    // False when the scan cannot go on.
    const auto addFailure = [&](const ClientFailure &failure, qint32 rate,
                                std::optional<int> address) {
        if (failure.outcome == reply::Outcome::PortLost)
            return false;
        if (failure.outcome == reply::Outcome::Timeout)
            return true;
        const QString where = address ? tr("address %1").arg(*address) : tr("native protocol");
        session.out.diagnostic(
            tr("px8107ctl: scan: %1 baud, %2: %3").arg(rate).arg(where, failure.text));
        errors.append(QJsonObject{
            {QStringLiteral("address"), address ? QJsonValue(*address) : QJsonValue()},
            {QStringLiteral("rate"), rate},
            {QStringLiteral("outcome"), QLatin1String(reply::outcomeName(failure.outcome))},
            {QStringLiteral("message"), failure.text},
            {QStringLiteral("reply"), QString::fromLatin1(failure.reply.toHex())}});
        return true;
    };
    const auto done = [&] {
        return session.finish(
            {{QStringLiteral("sensors"), found}, {QStringLiteral("errors"), errors}},
            Output::table(rows));
    };

    for (qint32 rate : *rates) {
        engine.setBaudRate(rate);
        const auto sizeTimeout = [&](int replyBytes) {
            if (!session.options.timeoutGiven)
                engine.setTimeoutMs(answerMarginMs +
                                    int(std::ceil(RequestEngine::wireMs(replyBytes, rate) +
                                                  RequestEngine::silenceMs(rate))));
        };
        sizeTimeout(probeReplyBytes);
        for (int i = 0; i < addresses->size(); ++i) {
            const int address = addresses->at(i);
            session.out.progress(tr("scan: %1 baud, address %2 (%3 of %4), %5 found")
                                     .arg(rate)
                                     .arg(address)
                                     .arg(i + 1)
                                     .arg(addresses->size())
                                     .arg(found.size()));
            session.client.setUnit(quint8(address));
            const Answer<int> answer = session.client.probe();
            if (answer) {
                addFound(address, rate, QStringLiteral("modbus"), QString());
                if (first)
                    return done();
            } else if (!addFailure(answer.failure, rate, address)) {
                return session.failed(answer.failure, tr("scan"));
            }
        }
        // A sensor in its native protocol has no address: one device-ID query per rate.
        sizeTimeout(native::frameSize);
        session.out.progress(tr("scan: %1 baud, native protocol").arg(rate));
        const Answer<QString> id = session.client.deviceId();
        if (id) {
            addFound(std::nullopt, rate, QStringLiteral("native"), *id);
            if (first)
                return done();
        } else if (!addFailure(id.failure, rate, std::nullopt)) {
            return session.failed(id.failure, tr("scan"));
        }
    }
    session.out.endProgress();
    const ExitCode code = done();
    if (code != ExitCode::Success || !found.isEmpty())
        return code;
    session.out.diagnostic(tr("px8107ctl: scan: no sensor answered"));
    return errors.isEmpty() ? ExitCode::NoAnswer : ExitCode::BadReply;
}
