#include "options.h"

#include "commands/nativeframe.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QVector>

#include <algorithm>
#include <iterator>

namespace {

constexpr qint32 startRates[] = {2400, 4800, 9600, 19200};
constexpr quint32 defaultSeed = 1;
constexpr int maxCount = 1000000;
constexpr int maxMilliseconds = 60000;
constexpr double maxNoise = 1000;

// Reads option values into their fields, with a message for the first bad one.
struct OptionReader
{
    QCommandLineParser &parser;
    QString &error;

    // Decimal, or hexadecimal with 0x.
    bool integer(const QString &text, qint64 min, qint64 max, qint64 &value, const QString &what)
    {
        bool ok = false;
        const QString trimmed = text.trimmed();
        const bool isHex = trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
        value = isHex ? trimmed.mid(2).toLongLong(&ok, 16) : trimmed.toLongLong(&ok, 10);
        if (ok && value >= min && value <= max)
            return true;
        error = QStringLiteral("%1: '%2' is not a number from %3 to %4")
                    .arg(what, text)
                    .arg(min)
                    .arg(max);
        return false;
    }

    template <typename T> bool option(const QString &name, qint64 min, qint64 max, T &field)
    {
        if (!parser.isSet(name))
            return true;
        qint64 value = 0;
        if (!integer(parser.value(name), min, max, value, QStringLiteral("--") + name))
            return false;
        field = T(value);
        return true;
    }

    bool list(const QString &text, int size, qint64 max, QVector<qint64> &values,
              const QString &what)
    {
        const QStringList parts = text.split(QLatin1Char(','));
        if (parts.size() != size) {
            error = QStringLiteral("%1: '%2' needs %3 comma-separated values")
                        .arg(what, text)
                        .arg(size);
            return false;
        }
        values.clear();
        for (const QString &part : parts) {
            qint64 value = 0;
            if (!integer(part, 0, max, value, what))
                return false;
            values.append(value);
        }
        return true;
    }
};

// Every option; [sensor] ones may follow each --sensor.
void setUpParser(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Simulated PX8107 particulate-matter sensors on a pseudo-terminal.\n"
        "Prints the terminal's path as its first line and serves Modbus RTU and native\n"
        "requests until SIGINT or SIGTERM. Numbers are decimal, or hexadecimal with 0x.\n"
        "\n"
        "Several sensors share the one terminal, as on an RS-485 line. The options before\n"
        "the first --sensor describe sensor 1 and the line; each --sensor starts another\n"
        "sensor, described by the [sensor] options that follow it, from the factory\n"
        "settings and default readings, with device ID 2024-0108, 2024-0109, ... and\n"
        "seed 2, 3, ... A sensor understands only bytes sent at its own rate with 8 data\n"
        "bits, no parity and 1 stop bit (a Linux pty hides 7 data bits, and even parity\n"
        "set without the input parity check INPCK). A request is answered by every\n"
        "sensor that understands it and is addressed to unit 0 or to its own address;\n"
        "when several answer, the answers collide: one damaged mix goes on the line,\n"
        "aligned at the first byte, a 0 bit of any answer winning, changed where a run\n"
        "of it would pass for a frame with a valid CRC.\n"
        "\n"
        "With --verbose, every request framed appears on stderr as one line\n"
        "\"hh:mm:ss.zzz request N [hex] at RATE baud 8N1: what each sensor did\",\n"
        "whether a sensor understood it or not; bytes that start no request appear as\n"
        "\"noise [hex]: ...\". Count the \" request \" lines to know what was sent."));
    parser.addHelpOption();
    parser.addVersionOption();
    const auto add = [&parser](const QString &name, const QString &description,
                               const QString &valueName = {}) {
        parser.addOption(QCommandLineOption(name, description, valueName));
    };
    const SensorSettings factory;
    const SensorReadings readingDefaults;
    const ServeOptions serveDefaults;
    const FaultPlan &faultDefaults = serveDefaults.faults;
    const auto defaults = [](auto values) {
        QStringList parts;
        for (const auto value : values)
            parts.append(QString::number(value));
        return parts.join(QLatin1Char(','));
    };
    QStringList unitDefaults;
    for (int unit = 1; unit <= detectionUnits; ++unit) {
        const Measurement &m = readingDefaults.units[std::size_t(unit - 1)];
        unitDefaults.append(QStringLiteral("%1=%2,%3,%4")
                                .arg(unit)
                                .arg(m.pm25Tenths)
                                .arg(m.pm10Tenths)
                                .arg(m.pm100));
    }
    const auto &id = readingDefaults.deviceId;

    add(QStringLiteral("baud"),
        QStringLiteral("[sensor] Line rate at start: 2400, 4800, 9600 or 19200 (default %1).")
            .arg(factory.lineRate),
        QStringLiteral("rate"));
    add(QStringLiteral("link"), QStringLiteral("Also make a symbolic link to the terminal here."),
        QStringLiteral("path"));
    add(QStringLiteral("address"),
        QStringLiteral("[sensor] Modbus unit address at start, 1 to 247 (default %1).")
            .arg(factory.address),
        QStringLiteral("n"));
    add(QStringLiteral("protocol"),
        QStringLiteral("[sensor] Protocol at start: modbus (default) or native."),
        QStringLiteral("name"));
    add(QStringLiteral("unit"),
        QStringLiteral("[sensor] Measurement of detection unit n (1 to 4) as raw register values: "
                       "PM2.5 and PM10 in tenths, PM100; a unit far off the others reads out of "
                       "limits. Repeatable (defaults %1).")
            .arg(unitDefaults.join(QLatin1Char(' '))),
        QStringLiteral("n=pm25,pm10,pm100"));
    add(QStringLiteral("random-walk"),
        QStringLiteral("[sensor] Move every measurement by a small random step on each measurement "
                       "read."));
    add(QStringLiteral("seed"),
        QStringLiteral("[sensor] Seed of the random walk and the unit noise (default %1 for sensor "
                       "1, its number for the others).")
            .arg(defaultSeed),
        QStringLiteral("s"));
    add(QStringLiteral("self-check"),
        QStringLiteral("[sensor] Self-check mask, bit n-1 set when unit n passed (default 0x%1).")
            .arg(readingDefaults.selfCheck, 2, 16, QLatin1Char('0')),
        QStringLiteral("mask"));
    add(QStringLiteral("temperature"),
        QStringLiteral("[sensor] Internal temperature, -128 to 127 degC (default %1).")
            .arg(readingDefaults.temperature),
        QStringLiteral("c"));
    add(QStringLiteral("humidity"),
        QStringLiteral("[sensor] Internal relative humidity, 0 to 255 % (default %1).")
            .arg(readingDefaults.humidity),
        QStringLiteral("p"));
    add(QStringLiteral("weights"),
        QStringLiteral(
            "[sensor] Self-check weights of units 1 to 4, then suspect weights of units 1 "
            "to 4 (default %1).")
            .arg(defaults(readingDefaults.weights)),
        QStringLiteral("w1,...,w8"));
    add(QStringLiteral("device-id"),
        QStringLiteral("[sensor] Device ID reported by native 0xA6 (default %1).")
            .arg(native::deviceIdText(id[0], id[1], id[2], id[3])),
        QStringLiteral("hhhh-hhhh"));
    add(QStringLiteral("firmware"),
        QStringLiteral("[sensor] Firmware version bytes reported by native 0xB5 (default %1).")
            .arg(defaults(readingDefaults.firmware)),
        QStringLiteral("a,b,c"));
    add(QStringLiteral("unit-noise"),
        QStringLiteral("[sensor] On every measurement read, add fresh seeded Gaussian noise of "
                       "standard deviation sd ug/m3 (0 to 1000) to PM2.5, PM10 and PM100 of "
                       "detection unit n, each in its register's resolution, clamped to 0..65535; "
                       "the average follows. Repeatable."),
        QStringLiteral("n=sd"));
    add(QStringLiteral("sensor"),
        QStringLiteral("Start another sensor on the line; the [sensor] options that follow are "
                       "its own."));
    add(QStringLiteral("processing-ms"),
        QStringLiteral("Processing time added to the wire time of request and reply (default %1).")
            .arg(serveDefaults.processingMs),
        QStringLiteral("ms"));
    add(QStringLiteral("drop-every"), QStringLiteral("Send no answer to every nth reply."),
        QStringLiteral("n"));
    add(QStringLiteral("corrupt-every"),
        QStringLiteral("Flip every bit of the middle byte of every nth reply."),
        QStringLiteral("n"));
    add(QStringLiteral("split-every"),
        QStringLiteral("Send every nth reply in two writes with a pause between them."),
        QStringLiteral("n"));
    add(QStringLiteral("split-pause"),
        QStringLiteral("Pause between the two writes of a split reply (default %1).")
            .arg(faultDefaults.splitPauseMs),
        QStringLiteral("ms"));
    add(QStringLiteral("noise-every"),
        QStringLiteral("Send unsolicited bytes right after every nth reply."), QStringLiteral("n"));
    add(QStringLiteral("noise"),
        QStringLiteral("The unsolicited bytes, as hex (default %1).")
            .arg(QString::fromLatin1(faultDefaults.noise.toHex())),
        QStringLiteral("hex"));
    add(QStringLiteral("delay-every"), QStringLiteral("Answer every nth reply later than usual."),
        QStringLiteral("n"));
    add(QStringLiteral("delay-ms"),
        QStringLiteral("Extra delay of a delayed reply (default %1).").arg(faultDefaults.delayMs),
        QStringLiteral("ms"));
    add(QStringLiteral("vanish-after"),
        QStringLiteral("After n requests, once the last answer has been read (at most 1 s), close "
                       "the terminal, remove the link and exit."),
        QStringLiteral("n"));
    add(QStringLiteral("return-after"),
        QStringLiteral("With --vanish-after: come back ms after vanishing, once, on a new "
                       "terminal with the sensors as they were; the new path is printed as "
                       "another line and the link points to it."),
        QStringLiteral("ms"));
    add(QStringLiteral("verbose"),
        QStringLiteral("Log every request, answer and fault on stderr, in hex with a timestamp: "
                       "one \"request N [hex]\" line per request framed."));
}

const QStringList lineOptions = {
    QStringLiteral("link"),         QStringLiteral("processing-ms"),
    QStringLiteral("drop-every"),   QStringLiteral("corrupt-every"),
    QStringLiteral("split-every"),  QStringLiteral("split-pause"),
    QStringLiteral("noise-every"),  QStringLiteral("noise"),
    QStringLiteral("delay-every"),  QStringLiteral("delay-ms"),
    QStringLiteral("vanish-after"), QStringLiteral("return-after"),
    QStringLiteral("verbose"),
};

// The options of one sensor, from its section of the command line.
bool parseSensor(QCommandLineParser &parser, const QStringList &arguments, int number,
                 SensorOptions &sensor, QString &error)
{
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty()) {
        error =
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return false;
    }

    OptionReader parsed{parser, error};
    SensorSettings &settings = sensor.settings;
    SensorReadings &readings = sensor.readings;

    if (!parsed.option(QStringLiteral("baud"), 0, 115200, settings.lineRate))
        return false;
    if (std::find(std::begin(startRates), std::end(startRates), settings.lineRate) ==
        std::end(startRates)) {
        error = QStringLiteral("--baud: %1 is not one of 2400, 4800, 9600, 19200")
                    .arg(settings.lineRate);
        return false;
    }
    if (!parsed.option(QStringLiteral("address"), 1, 247, settings.address))
        return false;
    const QString protocol = parser.value(QStringLiteral("protocol"));
    if (protocol == QLatin1String("native")) {
        settings.protocol = ProtocolCode::Native;
    } else if (!protocol.isEmpty() && protocol != QLatin1String("modbus")) {
        error = QStringLiteral("--protocol: '%1' is neither modbus nor native").arg(protocol);
        return false;
    }

    for (const QString &unitText : parser.values(QStringLiteral("unit"))) {
        const int equals = unitText.indexOf(QLatin1Char('='));
        qint64 unit = 0;
        QVector<qint64> values;
        if (equals < 0) {
            error = QStringLiteral("--unit: '%1' is not n=pm25,pm10,pm100").arg(unitText);
            return false;
        }
        if (!parsed.integer(unitText.left(equals), 1, detectionUnits, unit,
                            QStringLiteral("--unit")) ||
            !parsed.list(unitText.mid(equals + 1), 3, 0xFFFF, values, QStringLiteral("--unit")))
            return false;
        readings.units[std::size_t(unit - 1)] = {quint16(values[0]), quint16(values[1]),
                                                 quint16(values[2])};
    }
    quint32 seed = number == 1 ? defaultSeed : quint32(number);
    if (!parsed.option(QStringLiteral("seed"), 0, 0xFFFFFFFFLL, seed))
        return false;
    if (parser.isSet(QStringLiteral("random-walk")))
        sensor.randomWalkSeed = seed;
    sensor.noise.seed = seed;
    for (const QString &noiseText : parser.values(QStringLiteral("unit-noise"))) {
        const int equals = noiseText.indexOf(QLatin1Char('='));
        qint64 unit = 0;
        bool ok = false;
        const double sd = noiseText.mid(equals + 1).toDouble(&ok);
        if (equals < 0 || !ok || !(sd >= 0 && sd <= maxNoise)) {
            error = QStringLiteral("--unit-noise: '%1' is not n=sd with sd from 0 to %2")
                        .arg(noiseText)
                        .arg(maxNoise);
            return false;
        }
        if (!parsed.integer(noiseText.left(equals), 1, detectionUnits, unit,
                            QStringLiteral("--unit-noise")))
            return false;
        sensor.noise.standardDeviation[std::size_t(unit - 1)] = sd;
    }
    if (!parsed.option(QStringLiteral("self-check"), 0, 0xFF, readings.selfCheck) ||
        !parsed.option(QStringLiteral("temperature"), -128, 127, readings.temperature) ||
        !parsed.option(QStringLiteral("humidity"), 0, 255, readings.humidity))
        return false;
    if (parser.isSet(QStringLiteral("weights"))) {
        QVector<qint64> values;
        if (!parsed.list(parser.value(QStringLiteral("weights")), weightBytes, 0xFF, values,
                         QStringLiteral("--weights")))
            return false;
        for (int i = 0; i < weightBytes; ++i)
            readings.weights[std::size_t(i)] = quint8(values[i]);
    }
    if (parser.isSet(QStringLiteral("device-id"))) {
        const QString text = parser.value(QStringLiteral("device-id"));
        static const QRegularExpression form(QStringLiteral("^[0-9a-fA-F]{4}-[0-9a-fA-F]{4}$"));
        if (!form.match(text).hasMatch()) {
            error = QStringLiteral("--device-id: '%1' is not hhhh-hhhh").arg(text);
            return false;
        }
        const native::DeviceNumber number = native::parseDeviceNumber(text);
        readings.deviceId = {quint8(number.firstHalf >> 8), quint8(number.firstHalf),
                             quint8(number.secondHalf >> 8), quint8(number.secondHalf)};
    }
    if (parser.isSet(QStringLiteral("firmware"))) {
        QVector<qint64> values;
        if (!parsed.list(parser.value(QStringLiteral("firmware")), firmwareBytes, 0xFF, values,
                         QStringLiteral("--firmware")))
            return false;
        for (int i = 0; i < firmwareBytes; ++i)
            readings.firmware[std::size_t(i)] = quint8(values[i]);
    }

    return true;
}

bool parseLine(QCommandLineParser &parser, SimulatorOptions &options, QString &error)
{
    OptionReader parsed{parser, error};
    ServeOptions &serve = options.serve;
    FaultPlan &faults = serve.faults;
    if (!parsed.option(QStringLiteral("processing-ms"), 0, maxMilliseconds, serve.processingMs) ||
        !parsed.option(QStringLiteral("vanish-after"), 0, maxCount, serve.vanishAfter) ||
        !parsed.option(QStringLiteral("drop-every"), 0, maxCount, faults.dropEvery) ||
        !parsed.option(QStringLiteral("corrupt-every"), 0, maxCount, faults.corruptEvery) ||
        !parsed.option(QStringLiteral("split-every"), 0, maxCount, faults.splitEvery) ||
        !parsed.option(QStringLiteral("split-pause"), 0, maxMilliseconds, faults.splitPauseMs) ||
        !parsed.option(QStringLiteral("noise-every"), 0, maxCount, faults.noiseEvery) ||
        !parsed.option(QStringLiteral("delay-every"), 0, maxCount, faults.delayEvery) ||
        !parsed.option(QStringLiteral("delay-ms"), 0, maxMilliseconds, faults.delayMs) ||
        !parsed.option(QStringLiteral("return-after"), 0, maxMilliseconds, serve.returnAfterMs))
        return false;
    if (serve.returnAfterMs >= 0 && serve.vanishAfter == 0) {
        error = QStringLiteral("--return-after: needs --vanish-after");
        return false;
    }
    if (parser.isSet(QStringLiteral("noise"))) {
        const QString noise = parser.value(QStringLiteral("noise"));
        faults.noise = QByteArray::fromHex(noise.toLatin1());
        if (faults.noise.isEmpty() || faults.noise.toHex() != noise.toLower().toLatin1()) {
            error = QStringLiteral("--noise: '%1' is not hex bytes such as ff00").arg(noise);
            return false;
        }
    }

    options.linkPath = parser.value(QStringLiteral("link"));
    serve.verbose = parser.isSet(QStringLiteral("verbose"));
    return true;
}

} // namespace

bool parseOptions(const QStringList &arguments, SimulatorOptions &options, QString &error)
{
    // Sections: sensor 1 with the line, then one per --sensor.
    QList<QStringList> sections{{arguments.value(0)}};
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--sensor"))
            sections.append(QStringList{arguments.value(0)});
        else
            sections.last().append(arguments[i]);
    }
    options.sensors.clear();
    for (int index = 0; index < sections.size(); ++index) {
        QCommandLineParser parser;
        setUpParser(parser);
        SensorOptions sensor;
        sensor.readings.deviceId.back() = quint8(sensor.readings.deviceId.back() + index);
        if (!parseSensor(parser, sections[index], index + 1, sensor, error))
            return false;
        if (index == 0) {
            if (!parseLine(parser, options, error))
                return false;
        } else {
            for (const QString &name : lineOptions) {
                if (parser.isSet(name)) {
                    error = QStringLiteral("--%1 is an option of the line: give it before the "
                                           "first --sensor")
                                .arg(name);
                    return false;
                }
            }
        }
        options.sensors.push_back(sensor);
    }
    return true;
}
