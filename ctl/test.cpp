#include "ctl/applysettings.h"
#include "ctl/commands.h"
#include "ctl/identity.h"
#include "record/eolprofile.h"
#include "record/recordfile.h"
#include "record/samplerow.h"
#include "record/sampleschedule.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTimer>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("px8107ctl", text);
}

// Fills what the profile asks for; the first failed transaction ends the test.
ClientFailure measure(SensorClient &client, const EolProfile &profile, EolMeasurements &measured,
                      Output &out)
{
    if (profile.selfCheck) {
        const Answer<int> selfCheck = client.get(*settings::find(QStringLiteral("self-check")));
        if (!selfCheck)
            return selfCheck.failure;
        std::array<bool, detectionUnits> passed{};
        for (int unit = 0; unit < detectionUnits; ++unit)
            passed[unit] = *selfCheck & (1 << unit);
        measured.selfCheckPassed = passed;
    }
    if (profile.temperature || profile.humidity) {
        const Answer<Environment> environment = client.environment();
        if (!environment)
            return environment.failure;
        measured.temperature = environment->temperature;
        measured.humidity = environment->humidity;
    }
    if (!profile.measures())
        return {};
    QElapsedTimer clock;
    clock.start();
    const SampleSchedule schedule(0, profile.intervalMs, profile.warmupSamples);
    const qint64 total = schedule.keptIndex(profile.samples);
    for (qint64 index = 0; index < total; ++index) {
        out.progress(tr("sample %1 of %2 (%3 for warm-up)")
                         .arg(index + 1)
                         .arg(total)
                         .arg(profile.warmupSamples));
        const qint64 wait = schedule.waitMs(index, clock.elapsed());
        if (wait > 0) {
            QEventLoop loop;
            QTimer::singleShot(int(wait), &loop, &QEventLoop::quit);
            loop.exec();
        }
        for (const QString &object : profile.objects) {
            const Answer<decode::Measurement> m = client.measurement(objectSelector(object));
            if (!m)
                return m.failure;
            if (schedule.isWarmup(index))
                continue;
            auto &series = measured.samples[object];
            series[0] << fromTenths(m->pm25);
            series[1] << fromTenths(m->pm10);
            series[2] << double(m->pm100);
        }
    }
    return {};
}

// The settings part of the test: one check per key, the value the sensor holds afterwards.
QVector<CheckResult> settingChecks(const QVector<WantedSetting> &wanted, const ApplyResult *result)
{
    QVector<CheckResult> checks;
    for (int i = 0; i < wanted.size(); ++i) {
        const settings::SettingKey &key = *wanted[i].key;
        const ApplyRow *row = result ? &result->rows[i] : nullptr;
        const bool passed =
            row && (row->verdict == ApplyVerdict::Same || row->verdict == ApplyVerdict::Written);
        checks.push_back({QStringLiteral("setting %1").arg(key.key),
                          row && row->after ? settings::formatValue(key, *row->after) : QString(),
                          QStringLiteral("= ") + settings::formatValue(key, wanted[i].value),
                          passed});
    }
    return checks;
}

} // namespace

void addTestOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("report"),
                      tr("Append one row with every measured value and the verdict to this CSV."),
                      tr("FILE.csv")});
}

ExitCode runTest(Session &session)
{
    const QStringList files = session.parser.positionalArguments();
    if (files.size() != 1)
        return session.usage(tr("test takes one profile"));
    QFile profileFile(files.first());
    if (!profileFile.open(QIODevice::ReadOnly))
        return session.usage(
            tr("cannot read %1: %2").arg(files.first(), profileFile.errorString()));
    EolProfile profile;
    QString error;
    if (!parseEolProfile(profileFile.readAll(), QFileInfo(files.first()).absolutePath(), profile,
                         error))
        return session.usage(QStringLiteral("%1: %2").arg(files.first(), error));
    QVector<WantedSetting> wanted;
    if (!profile.settingsFile.isEmpty() &&
        !loadWantedSettings(profile.settingsFile, {}, wanted, error))
        return session.usage(error);

    // The report's columns follow from the profile alone, so a report file of another profile
    // is refused before the sensor is touched.
    EolResult blank = evaluateEol(profile, {});
    blank.checks += settingChecks(wanted, nullptr);
    RecordFile report;
    const QString reportPath = session.parser.value(QStringLiteral("report"));
    if (!reportPath.isEmpty() && !report.open(reportPath, eolReportHeader(blank), error)) {
        session.out.diagnostic(QStringLiteral("px8107ctl: ") + error);
        return report.headerRefused() ? ExitCode::Usage : ExitCode::OutputError;
    }

    Identity identity;
    if (const ExitCode code = connectAndIdentify(session, identity); code != ExitCode::Success)
        return code;
    EolMeasurements measured;
    measured.firmware = identity.firmware;
    const ClientFailure measureFailure = measure(session.client, profile, measured, session.out);
    if (measureFailure.kind != ClientFailure::Kind::None)
        return session.failed(measureFailure, tr("measure"));
    EolResult result = evaluateEol(profile, measured);
    if (!wanted.isEmpty()) {
        const ApplyResult applied = applySettings(session.client, wanted, false);
        if (applied.failure.kind != ClientFailure::Kind::None)
            return session.failed(
                applied.failure,
                tr("apply %1 from %2").arg(applied.failedKey->key, profile.settingsFile));
        result.checks += settingChecks(wanted, &applied);
    }

    const QString verdict = result.passed() ? QStringLiteral("PASS") : QStringLiteral("FAIL");
    QList<QStringList> rows{{tr("CHECK"), tr("MEASURED"), tr("LIMITS"), tr("RESULT")}};
    QJsonArray checks;
    for (const CheckResult &check : result.checks) {
        const QString outcome = check.passed ? QStringLiteral("PASS") : QStringLiteral("FAIL");
        rows << QStringList{check.check, check.measured.isEmpty() ? "-" : check.measured,
                            check.limits, outcome};
        checks.append(QJsonObject{{QStringLiteral("check"), check.check},
                                  {QStringLiteral("measured"), check.measured},
                                  {QStringLiteral("limits"), check.limits},
                                  {QStringLiteral("result"), outcome}});
    }
    const QJsonObject document{{QStringLiteral("profile"), profile.name},
                               {QStringLiteral("device-id"), identity.deviceId},
                               {QStringLiteral("firmware"), identity.firmware},
                               {QStringLiteral("checks"), checks},
                               {QStringLiteral("verdict"), verdict}};
    if (!reportPath.isEmpty() &&
        !report.writeLine(eolReportRow(QDateTime::currentDateTimeUtc(), identity.deviceId,
                                       identity.firmware, result),
                          error)) {
        session.out.diagnostic(QStringLiteral("px8107ctl: ") + error);
        return ExitCode::OutputError;
    }
    const ExitCode written = session.finish(
        document, Output::table(rows) + tr("\nverdict: %1 (device %2, firmware %3)\n")
                                            .arg(verdict, identity.deviceId, identity.firmware));
    if (written != ExitCode::Success)
        return written;
    return result.passed() ? ExitCode::Success : ExitCode::Mismatch;
}
