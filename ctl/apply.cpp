#include "ctl/applysettings.h"
#include "ctl/commands.h"
#include "record/snapshot.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("px8107ctl", text);
}

QString valueText(const settings::SettingKey &key, const std::optional<int> &value)
{
    return value ? settings::formatValue(key, *value) : QStringLiteral("-");
}

QJsonValue valueJson(const settings::SettingKey &key, const std::optional<int> &value)
{
    return value ? QJsonValue::fromVariant(settings::jsonValue(key, *value)) : QJsonValue();
}

} // namespace

bool loadWantedSettings(const QString &path, const QStringList &only,
                        QVector<WantedSetting> &wanted, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = tr("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    Snapshot snapshot;
    if (!parseSnapshot(file.readAll(), snapshot, error) ||
        !wantedSettings(snapshot, only, wanted, error)) {
        error = QStringLiteral("%1: %2").arg(path, error);
        return false;
    }
    return true;
}

void addApplyOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("dry-run"), tr("Read and compare only; write nothing.")},
        {QStringLiteral("only"), tr("Apply only these keys of the file, comma-separated."),
         tr("KEYS")},
    });
}

ExitCode runApply(Session &session)
{
    const QStringList files = session.parser.positionalArguments();
    if (files.size() != 1)
        return session.usage(tr("apply takes one settings file"));
    QStringList only;
    if (session.parser.isSet(QStringLiteral("only")))
        only = session.parser.value(QStringLiteral("only")).split(QLatin1Char(','));
    for (QString &key : only)
        key = key.trimmed();
    QVector<WantedSetting> wanted;
    QString error;
    if (!loadWantedSettings(files.first(), only, wanted, error))
        return session.usage(error);

    if (const auto failure = session.connect())
        return *failure;
    if (const ExitCode code = readAddress(session); code != ExitCode::Success)
        return code;
    const bool dryRun = session.parser.isSet(QStringLiteral("dry-run"));
    const ApplyResult result = applySettings(session.client, wanted, dryRun);

    QList<QStringList> rows{{tr("KEY"), tr("BEFORE"), tr("WANTED"), tr("AFTER"), tr("VERDICT")}};
    QJsonArray settingsJson;
    for (const ApplyRow &row : result.rows) {
        const QString verdict = QLatin1String(applyVerdictName(row.verdict));
        rows << QStringList{row.key->key, valueText(*row.key, row.before),
                            valueText(*row.key, row.wanted), valueText(*row.key, row.after),
                            verdict};
        settingsJson.append(QJsonObject{{QStringLiteral("key"), row.key->key},
                                        {QStringLiteral("before"), valueJson(*row.key, row.before)},
                                        {QStringLiteral("wanted"), valueJson(*row.key, row.wanted)},
                                        {QStringLiteral("after"), valueJson(*row.key, row.after)},
                                        {QStringLiteral("verdict"), verdict}});
    }
    QJsonObject document{{QStringLiteral("file"), files.first()},
                         {QStringLiteral("dry-run"), dryRun},
                         {QStringLiteral("settings"), settingsJson}};
    if (result.failure.kind != ClientFailure::Kind::None) {
        // The table shows what was applied before the line failed; a second run completes it.
        if (!session.options.json) {
            session.out.write(Output::table(rows));
            return session.failed(result.failure, tr("apply %1").arg(result.failedKey->key));
        }
        const ExitCode code = exitCodeFor(result.failure);
        session.out.diagnostic(
            tr("px8107ctl: apply %1: %2").arg(result.failedKey->key, result.failure.text));
        document.insert(QStringLiteral("error"),
                        QJsonObject{{QStringLiteral("outcome"),
                                     QLatin1String(reply::outcomeName(result.failure.outcome))},
                                    {QStringLiteral("message"), result.failure.text},
                                    {QStringLiteral("exit-code"), toInt(code)}});
        return session.out.writeJson(document) ? code : ExitCode::OutputError;
    }
    const ExitCode written = session.finish(document, Output::table(rows));
    if (written != ExitCode::Success)
        return written;
    if (result.mismatch()) {
        session.out.diagnostic(tr("px8107ctl: the sensor holds other values than the file for "
                                  "the keys marked mismatch"));
        return ExitCode::Mismatch;
    }
    return ExitCode::Success;
}
