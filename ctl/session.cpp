#include "session.h"

#include "serial/codec.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <algorithm>
#include <iterator>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("px8107ctl", text);
}

bool readInteger(const QCommandLineParser &parser, const QString &name, int minimum, int maximum,
                 int &value, QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const QString text = parser.value(name);
    const int parsed = text.toInt(&ok, 10);
    if (!ok || parsed < minimum || parsed > maximum) {
        *error = tr("--%1: '%2' is not a number from %3 to %4")
                     .arg(name, text)
                     .arg(minimum)
                     .arg(maximum);
        return false;
    }
    value = parsed;
    return true;
}

QString rateList()
{
    QStringList rates;
    for (qint32 rate : lineRates)
        rates << QString::number(rate);
    return rates.join(QStringLiteral(", "));
}
} // namespace

void addGlobalOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("port"), tr("Serial port, e.g. COM3 or /dev/ttyUSB0."), tr("name")},
        {QStringLiteral("baud"),
         tr("Line rate: %1, or auto to search them (default 9600).").arg(rateList()),
         tr("rate|auto")},
        {QStringLiteral("address"),
         tr("Modbus unit address 1 to 247; 0 (default) reaches a single sensor at any address."),
         tr("n")},
        {QStringLiteral("timeout"),
         tr("Wait this long for an answer after each request (default %1).")
             .arg(RequestEngine::defaultTimeoutMs),
         tr("ms")},
        {QStringLiteral("retries"),
         tr("Send a request again this many times after a damaged or missing answer (default %1).")
             .arg(RequestEngine::defaultRetries),
         tr("n")},
        {QStringLiteral("json"), tr("Write one JSON document instead of a table.")},
        {QStringLiteral("verbose"), tr("Log every frame and the counters on stderr.")},
    });
}

std::optional<GlobalOptions> readGlobalOptions(const QCommandLineParser &parser, QString *error)
{
    GlobalOptions options;
    options.port = parser.value(QStringLiteral("port"));
    options.json = parser.isSet(QStringLiteral("json"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    options.baudRate = 9600;
    if (parser.isSet(QStringLiteral("baud"))) {
        const QString text = parser.value(QStringLiteral("baud"));
        if (text == QLatin1String("auto")) {
            options.baudRate.reset();
        } else {
            bool ok = false;
            const int rate = text.toInt(&ok, 10);
            if (!ok || std::find(std::begin(lineRates), std::end(lineRates), rate) ==
                           std::end(lineRates)) {
                *error = tr("--baud: '%1' is not one of %2 or auto").arg(text, rateList());
                return std::nullopt;
            }
            options.baudRate = rate;
        }
    }
    int address = 0;
    if (!readInteger(parser, QStringLiteral("address"), 0, 247, address, error) ||
        !readInteger(parser, QStringLiteral("timeout"), 1, 60000, options.timeoutMs, error) ||
        !readInteger(parser, QStringLiteral("retries"), 0, 10, options.retries, error))
        return std::nullopt;
    options.address = quint8(address);
    options.timeoutGiven = parser.isSet(QStringLiteral("timeout"));
    options.retriesGiven = parser.isSet(QStringLiteral("retries"));
    return options;
}

Session::Session(const QCommandLineParser &commandLine, const GlobalOptions &globalOptions,
                 Output &output)
    : parser(commandLine), options(globalOptions), out(output), client(engine, options.address)
{
    engine.setTimeoutMs(options.timeoutMs);
    engine.setRetries(options.retries);
    if (options.verbose) {
        QObject::connect(&engine, &RequestEngine::sent, [this](const QByteArray &bytes) {
            out.diagnostic(QStringLiteral("tx %1").arg(toHexText(bytes).trimmed()));
        });
        QObject::connect(&engine, &RequestEngine::received, [this](const QByteArray &bytes) {
            out.diagnostic(QStringLiteral("rx %1").arg(toHexText(bytes).trimmed()));
        });
    }
}

std::optional<ExitCode> Session::connect()
{
    if (options.port.isEmpty())
        return usage(tr("no port given: name one with --port (px8107ctl ports lists them)"));
    const qint32 firstRate = options.baudRate.value_or(lineRates[0]);
    if (!engine.open(options.port, firstRate)) {
        out.diagnostic(tr("px8107ctl: cannot open %1: %2").arg(options.port, engine.errorText()));
        return ExitCode::PortError;
    }
    QObject::connect(&engine, &RequestEngine::portLost, [this](const QString &message) {
        out.diagnostic(tr("px8107ctl: port lost: %1").arg(message));
    });
    if (options.baudRate)
        return std::nullopt;
    Answer<int> answer;
    for (qint32 rate : lineRates) {
        out.progress(tr("looking for the sensor at %1 baud").arg(rate));
        engine.setBaudRate(rate);
        answer = client.probe();
        if (answer) {
            if (options.verbose)
                out.diagnostic(tr("the sensor answers at %1 baud").arg(rate));
            return std::nullopt;
        }
        if (answer.failure.outcome == reply::Outcome::PortLost)
            break;
    }
    return failed(answer.failure, tr("searching %1 baud").arg(rateList()));
}

ExitCode exitCodeFor(const ClientFailure &failure)
{
    switch (failure.kind) {
    case ClientFailure::Kind::InvalidValue:
        return ExitCode::Usage;
    case ClientFailure::Kind::Mismatch:
        return ExitCode::Mismatch;
    case ClientFailure::Kind::Reply:
    case ClientFailure::Kind::None:
        break;
    }
    return exitCodeFor(failure.outcome);
}

ExitCode Session::usage(const QString &message)
{
    out.diagnostic(QStringLiteral("px8107ctl: ") + message);
    if (options.json)
        out.writeJson({{QStringLiteral("error"),
                        QJsonObject{{QStringLiteral("outcome"), QStringLiteral("usage")},
                                    {QStringLiteral("message"), message},
                                    {QStringLiteral("exit-code"), toInt(ExitCode::Usage)}}}});
    return ExitCode::Usage;
}

ExitCode Session::failed(const ClientFailure &failure, const QString &what)
{
    const ExitCode code = exitCodeFor(failure);
    QString message = what + QStringLiteral(": ") + failure.text;
    if (!failure.reply.isEmpty())
        message += tr(" (received %1)").arg(toHexText(failure.reply).trimmed());
    out.diagnostic(QStringLiteral("px8107ctl: ") + message);
    reportCounters();
    if (options.json) {
        QString outcome = QString::fromLatin1(reply::outcomeName(failure.outcome));
        if (failure.kind == ClientFailure::Kind::InvalidValue)
            outcome = QStringLiteral("usage");
        else if (failure.kind == ClientFailure::Kind::Mismatch)
            outcome = QStringLiteral("mismatch");
        QJsonObject error{{QStringLiteral("outcome"), outcome},
                          {QStringLiteral("message"), message},
                          {QStringLiteral("exit-code"), toInt(code)}};
        if (failure.outcome == reply::Outcome::Exception)
            error.insert(QStringLiteral("exception-code"), failure.exceptionCode);
        error.insert(QStringLiteral("reply"), QString::fromLatin1(failure.reply.toHex()));
        if (!out.writeJson({{QStringLiteral("error"), error}}))
            return ExitCode::OutputError;
    }
    return code;
}

ExitCode Session::finish(const QJsonObject &document, const QString &text)
{
    reportCounters();
    const bool written = options.json ? out.writeJson(document) : out.write(text);
    if (!written) {
        out.diagnostic(tr("px8107ctl: cannot write the output"));
        return ExitCode::OutputError;
    }
    return ExitCode::Success;
}

void Session::reportCounters()
{
    if (!options.verbose)
        return;
    const EngineCounters &c = engine.counters();
    out.diagnostic(tr("requests %1, attempts %2, replies %3, timeouts %4, incomplete %5, "
                      "CRC errors %6, bad replies %7, exceptions %8, stray bytes %9")
                       .arg(c.requests)
                       .arg(c.attempts)
                       .arg(c.replies)
                       .arg(c.timeouts)
                       .arg(c.incomplete)
                       .arg(c.crcErrors)
                       .arg(c.badReplies)
                       .arg(c.exceptions)
                       .arg(c.strayBytes));
}
