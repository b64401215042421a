#include "record/eolprofile.h"

#include "record/samplerow.h"
#include "record/versioneddocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace {

constexpr DocumentKind profileKind{"px8107-eol-profile", 1, "end-of-line profile", "an"};
const QStringList knownObjects = {"avg", "1", "2", "3", "4"};

QString tr(const char *text)
{
    return QCoreApplication::translate("EolProfile", text);
}

// Strict reading: an unknown member is refused with its path, so a misspelt limit is never
// silently left out of the test.
class ProfileReader
{
public:
    QString error;

    bool allowOnly(const QJsonObject &object, const QString &where, const QStringList &members)
    {
        for (const QString &member : object.keys())
            if (!members.contains(member))
                return fail(tr("unknown member \"%1\" in %2").arg(member, where));
        return true;
    }

    bool number(const QJsonValue &value, const QString &where, std::optional<double> &out)
    {
        if (value.isUndefined())
            return true;
        if (!value.isDouble())
            return fail(tr("%1 must be a number").arg(where));
        out = value.toDouble();
        return true;
    }

    bool nonNegative(const QJsonValue &value, const QString &where, std::optional<double> &out)
    {
        if (!number(value, where, out))
            return false;
        if (out && *out < 0)
            return fail(tr("%1 must not be negative").arg(where));
        return true;
    }

    bool limits(const QJsonValue &value, const QString &where, std::optional<Limits> &out)
    {
        if (value.isUndefined())
            return true;
        if (!value.isObject())
            return fail(tr("%1 must be an object with \"min\" and/or \"max\"").arg(where));
        const QJsonObject object = value.toObject();
        Limits limits;
        if (!allowOnly(object, where, {"min", "max"}) ||
            !number(object.value("min"), where + ".min", limits.min) ||
            !number(object.value("max"), where + ".max", limits.max))
            return false;
        if (!limits.min && !limits.max)
            return fail(tr("%1 needs \"min\" or \"max\"").arg(where));
        if (limits.min && limits.max && *limits.min > *limits.max)
            return fail(tr("%1: min is above max").arg(where));
        out = limits;
        return true;
    }

    bool count(const QJsonValue &value, const QString &where, int &out)
    {
        std::optional<double> n;
        if (!number(value, where, n))
            return false;
        if (!n)
            return true;
        if (*n < 0 || *n != std::floor(*n) || *n > 100000)
            return fail(tr("%1 must be a whole number from 0 to 100000").arg(where));
        out = int(*n);
        return true;
    }

    // An object of quantity keys, each read by perQuantity.
    template <typename Read>
    bool perQuantity(const QJsonValue &value, const QString &where, Read read)
    {
        if (value.isUndefined())
            return true;
        if (!value.isObject())
            return fail(tr("%1 must be an object of pm2_5, pm10, pm100").arg(where));
        const QJsonObject object = value.toObject();
        QStringList keys;
        for (const Quantity &q : quantities)
            keys << QLatin1String(q.key);
        if (!allowOnly(object, where, keys))
            return false;
        for (int i = 0; i < quantityCount; ++i)
            if (!read(object.value(keys[i]), where + '.' + keys[i], i))
                return false;
        return true;
    }

    bool fail(const QString &message)
    {
        error = message;
        return false;
    }
};

bool readMeasurement(ProfileReader &reader, const QJsonObject &m, EolProfile &profile)
{
    if (!reader.allowOnly(m, "measurement",
                          {"objects", "warmup", "samples", "interval", "mean", "spread", "noise"}))
        return false;
    const QJsonValue objects = m.value("objects");
    if (!objects.isArray() || objects.toArray().isEmpty())
        return reader.fail(tr("measurement.objects must be a list of \"avg\", \"1\" … \"4\""));
    for (const QJsonValue &object : objects.toArray()) {
        const QString name =
            object.isDouble() ? QString::number(object.toInt()) : object.toString();
        if (!knownObjects.contains(name) || profile.objects.contains(name))
            return reader.fail(
                tr("measurement.objects: \"%1\" is not one of avg, 1, 2, 3, 4 "
                   "or is listed twice")
                    .arg(object.isDouble() ? QString::number(object.toDouble()) : name));
        profile.objects << name;
    }
    std::optional<double> interval;
    if (!reader.count(m.value("warmup"), "measurement.warmup", profile.warmupSamples) ||
        !reader.count(m.value("samples"), "measurement.samples", profile.samples) ||
        !reader.nonNegative(m.value("interval"), "measurement.interval", interval))
        return false;
    if (profile.samples < 1)
        return reader.fail(tr("measurement.samples must be at least 1"));
    if (interval)
        profile.intervalMs = qint64(std::llround(*interval * 1000));

    const bool limitsRead =
        reader.perQuantity(m.value("mean"), "measurement.mean",
                           [&](const QJsonValue &v, const QString &where, int i) {
                               return reader.limits(v, where, profile.mean[i]);
                           }) &&
        reader.perQuantity(m.value("noise"), "measurement.noise",
                           [&](const QJsonValue &v, const QString &where, int i) {
                               return reader.nonNegative(v, where, profile.noise[i]);
                           }) &&
        reader.perQuantity(
            m.value("spread"), "measurement.spread",
            [&](const QJsonValue &v, const QString &where, int i) {
                if (v.isUndefined())
                    return true;
                if (!v.isObject())
                    return reader.fail(
                        tr("%1 must be an object with \"absolute\" and/or \"relative\"")
                            .arg(where));
                const QJsonObject spread = v.toObject();
                return reader.allowOnly(spread, where, {"absolute", "relative"}) &&
                       reader.nonNegative(spread.value("absolute"), where + ".absolute",
                                          profile.spreadAbsolute[i]) &&
                       reader.nonNegative(spread.value("relative"), where + ".relative",
                                          profile.spreadRelative[i]);
            });
    if (!limitsRead)
        return false;
    int units = 0;
    for (const QString &object : profile.objects)
        units += object != QLatin1String("avg");
    for (int i = 0; i < quantityCount; ++i)
        if ((profile.spreadAbsolute[i] || profile.spreadRelative[i]) && units < 2)
            return reader.fail(tr("measurement.spread needs at least two units in "
                                  "measurement.objects"));
    return true;
}

QString number(double value)
{
    return numberText(std::round(value * 1000) / 1000);
}

} // namespace

bool Limits::contains(double value) const
{
    return (!min || value >= *min) && (!max || value <= *max);
}

QString Limits::text() const
{
    if (min && max)
        return numberText(*min) + QStringLiteral(" … ") + numberText(*max);
    if (min)
        return QStringLiteral("≥ ") + numberText(*min);
    return QStringLiteral("≤ ") + numberText(max.value_or(0));
}

bool parseEolProfile(const QByteArray &json, const QString &baseDirectory, EolProfile &profile,
                     QString &error)
{
    profile = EolProfile();
    ProfileReader reader;
    const auto document = readVersionedDocument(json, profileKind, error);
    if (!document)
        return false;
    const QJsonObject &root = *document;
    const bool read =
        reader.allowOnly(root, "the profile",
                         {"format", "version", "name", "firmware", "selfCheck", "temperature",
                          "humidity", "measurement", "settings"}) &&
        reader.limits(root.value("temperature"), "temperature", profile.temperature) &&
        reader.limits(root.value("humidity"), "humidity", profile.humidity);
    if (!read) {
        error = reader.error;
        return false;
    }
    profile.name = root.value("name").toString();
    if (root.contains("firmware")) {
        const QJsonObject firmware = root.value("firmware").toObject();
        if (!reader.allowOnly(firmware, "firmware", {"equals", "atLeast"}) ||
            firmware.size() != 1 || !firmware.begin().value().isString()) {
            error = reader.error.isEmpty()
                        ? tr("firmware must be {\"equals\": text} or {\"atLeast\": text}")
                        : reader.error;
            return false;
        }
        (firmware.contains("equals") ? profile.firmwareEquals : profile.firmwareAtLeast) =
            firmware.begin().value().toString();
    }
    if (root.contains("selfCheck")) {
        if (!root.value("selfCheck").isBool()) {
            error = tr("selfCheck must be true or false");
            return false;
        }
        profile.selfCheck = root.value("selfCheck").toBool();
    }
    if (root.contains("measurement")) {
        if (!root.value("measurement").isObject()) {
            error = tr("measurement must be an object");
            return false;
        }
        if (!readMeasurement(reader, root.value("measurement").toObject(), profile)) {
            error = reader.error;
            return false;
        }
    }
    if (root.contains("settings")) {
        const QString file = root.value("settings").toString();
        if (file.isEmpty()) {
            error = tr("settings must name a settings file");
            return false;
        }
        profile.settingsFile = QDir(baseDirectory).absoluteFilePath(file);
    }
    return true;
}

bool EolResult::passed() const
{
    for (const CheckResult &check : checks)
        if (!check.passed)
            return false;
    return !checks.isEmpty();
}

int compareFirmware(const QString &a, const QString &b)
{
    static const QRegularExpression digits(QStringLiteral("\\d+"));
    auto numbers = [](const QString &text) {
        QVector<qulonglong> out;
        auto it = digits.globalMatch(text);
        while (it.hasNext())
            out << it.next().captured().toULongLong();
        return out;
    };
    const QVector<qulonglong> x = numbers(a), y = numbers(b);
    for (int i = 0; i < qMax(x.size(), y.size()); ++i) {
        const qulonglong p = x.value(i), q = y.value(i);
        if (p != q)
            return p < q ? -1 : 1;
    }
    return 0;
}

double mean(const QVector<double> &values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return values.isEmpty() ? 0 : sum / values.size();
}

double standardDeviation(const QVector<double> &values)
{
    if (values.size() < 2)
        return 0;
    const double m = mean(values);
    double squares = 0;
    for (double v : values)
        squares += (v - m) * (v - m);
    return std::sqrt(squares / (values.size() - 1));
}

EolResult evaluateEol(const EolProfile &profile, const EolMeasurements &measured)
{
    EolResult result;
    auto add = [&](const QString &check, const QString &value, const QString &limits, bool ok) {
        result.checks.push_back({check, value, limits, ok});
    };
    if (profile.firmwareEquals)
        add("firmware", measured.firmware, "= " + *profile.firmwareEquals,
            measured.firmware == *profile.firmwareEquals);
    if (profile.firmwareAtLeast)
        add("firmware", measured.firmware, "≥ " + *profile.firmwareAtLeast,
            compareFirmware(measured.firmware, *profile.firmwareAtLeast) >= 0);
    if (profile.selfCheck) {
        for (int unit = 0; unit < 4; ++unit) {
            const std::optional<bool> passed =
                measured.selfCheckPassed ? std::optional<bool>((*measured.selfCheckPassed)[unit])
                                         : std::nullopt;
            add(QStringLiteral("self-check unit %1").arg(unit + 1),
                passed ? (*passed ? "passed" : "failed") : "", "passed", passed.value_or(false));
        }
    }
    auto range = [&](const char *check, const std::optional<Limits> &limits,
                     const std::optional<double> &value) {
        if (limits)
            add(check, value ? number(*value) : QString(), limits->text(),
                value && limits->contains(*value));
    };
    range("temperature", profile.temperature, measured.temperature);
    range("humidity", profile.humidity, measured.humidity);

    for (int q = 0; q < quantityCount; ++q) {
        const QString label = QLatin1String(quantities[q].label);
        QVector<double> unitMeans;
        double averageMean = 0;
        bool haveAverage = false;
        for (const QString &object : profile.objects) {
            const QVector<double> values = measured.samples.value(object)[q];
            const bool enough = values.size() == profile.samples;
            const double m = mean(values);
            if (object == QLatin1String("avg")) {
                averageMean = m;
                haveAverage = enough;
            } else if (enough) {
                unitMeans << m;
            }
            if (profile.mean[q])
                add(QStringLiteral("mean %1 %2").arg(label, object), enough ? number(m) : QString(),
                    profile.mean[q]->text(), enough && profile.mean[q]->contains(m));
            if (profile.noise[q]) {
                const double sd = standardDeviation(values);
                add(QStringLiteral("noise %1 %2").arg(label, object),
                    enough ? number(sd) : QString(), "≤ " + numberText(*profile.noise[q]),
                    enough && sd <= *profile.noise[q]);
            }
        }
        int units = 0;
        for (const QString &object : profile.objects)
            units += object != QLatin1String("avg");
        const bool allUnits = unitMeans.size() == units && units >= 2;
        const double spread = allUnits ? *std::max_element(unitMeans.begin(), unitMeans.end()) -
                                             *std::min_element(unitMeans.begin(), unitMeans.end())
                                       : 0;
        if (profile.spreadAbsolute[q])
            add(QStringLiteral("spread %1").arg(label), allUnits ? number(spread) : QString(),
                "≤ " + numberText(*profile.spreadAbsolute[q]),
                allUnits && spread <= *profile.spreadAbsolute[q]);
        if (profile.spreadRelative[q]) {
            // Relative to the average object when it is measured, else to the mean of the units.
            const double reference = haveAverage ? averageMean : mean(unitMeans);
            const bool defined = allUnits && (reference > 0 || spread == 0);
            const double relative = reference > 0 ? spread / reference : 0;
            add(QStringLiteral("relative spread %1").arg(label),
                defined ? number(relative) : QString(),
                "≤ " + numberText(*profile.spreadRelative[q]),
                defined && relative <= *profile.spreadRelative[q]);
        }
    }
    return result;
}

QByteArray eolReportHeader(const EolResult &result)
{
    QByteArray line = "time,device_id,firmware,verdict";
    for (const CheckResult &check : result.checks)
        line += ',' + csvField(check.check);
    return line + "\r\n";
}

QByteArray eolReportRow(const QDateTime &time, const QString &deviceId, const QString &firmware,
                        const EolResult &result)
{
    QByteArray line = csvField(isoUtcMs(time)) + ',' + csvField(deviceId) + ',' +
                      csvField(firmware) + ',' + (result.passed() ? "PASS" : "FAIL");
    for (const CheckResult &check : result.checks)
        line += ',' + csvField(check.measured);
    return line + "\r\n";
}
