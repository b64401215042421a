#include "ctl/commands.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <vector>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("px8107ctl", text);
}

const char *accessName(settings::Access access)
{
    switch (access) {
    case settings::Access::Read:
        return "read";
    case settings::Access::ReadWrite:
    case settings::Access::Line:
        return "read-write";
    case settings::Access::Action:
        return "action";
    }
    return "";
}

QString unknownKey(const QString &key)
{
    return tr("unknown key '%1'; px8107ctl keys lists them").arg(key);
}

QJsonValue json(const settings::SettingKey &key, int value)
{
    return QJsonValue::fromVariant(settings::jsonValue(key, value));
}
} // namespace

ExitCode runKeys(Session &session)
{
    QJsonArray keys;
    QList<QStringList> rows{{tr("KEY"), tr("ACCESS"), tr("VALUES"), tr("DESCRIPTION")}};
    for (const settings::SettingKey &key : settings::keys()) {
        keys.append(QJsonObject{
            {QStringLiteral("key"), key.key},
            {QStringLiteral("access"), QLatin1String(accessName(key.access))},
            {QStringLiteral("values"), key.rangeText()},
            {QStringLiteral("unit"), key.unit},
            {QStringLiteral("register"),
             QStringLiteral("0x%1").arg(key.address(), 4, 16, QLatin1Char('0'))},
            {QStringLiteral("description"), key.description},
        });
        rows << QStringList{key.key, QLatin1String(accessName(key.access)), key.rangeText(),
                            key.description};
    }
    return session.finish({{QStringLiteral("keys"), keys}}, Output::table(rows));
}

ExitCode runGet(Session &session)
{
    const QStringList names = session.parser.positionalArguments();
    if (names.isEmpty())
        return session.usage(tr("get: name at least one key; px8107ctl keys lists them"));
    std::vector<const settings::SettingKey *> keys;
    for (const QString &name : names) {
        const settings::SettingKey *key = settings::find(name);
        if (!key)
            return session.usage(unknownKey(name));
        if (key->access == settings::Access::Action)
            return session.usage(tr("%1 is an action and has nothing to read").arg(name));
        keys.push_back(key);
    }
    if (const auto failure = session.connect())
        return *failure;

    QJsonObject values;
    QList<QStringList> rows{{tr("KEY"), tr("VALUE"), tr("UNIT")}};
    for (const settings::SettingKey *key : keys) {
        const Answer<int> value = session.client.get(*key);
        if (!value)
            return session.failed(value.failure, tr("get %1").arg(key->key));
        values.insert(key->key, json(*key, *value));
        rows << QStringList{key->key, settings::formatValue(*key, *value), key->unit};
    }
    return session.finish({{QStringLiteral("settings"), values}}, Output::table(rows));
}

ExitCode runSet(Session &session)
{
    const QStringList assignments = session.parser.positionalArguments();
    if (assignments.isEmpty())
        return session.usage(tr("set: give at least one KEY=VALUE; px8107ctl keys lists them"));
    std::vector<std::pair<const settings::SettingKey *, int>> changes;
    for (const QString &assignment : assignments) {
        const int equals = assignment.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? assignment : assignment.left(equals);
        const settings::SettingKey *key = settings::find(name);
        if (!key)
            return session.usage(unknownKey(name));
        if (!key->isWritable())
            return session.usage(tr("%1 is a reading and cannot be set").arg(name));
        // An action with only one value needs none: "set factory-reset".
        if (equals < 0 && key->kind == settings::ValueKind::Integer &&
            key->minimum == key->maximum) {
            changes.emplace_back(key, key->minimum);
            continue;
        }
        if (equals < 0)
            return session.usage(
                tr("'%1': expected KEY=VALUE, with %2").arg(assignment, key->rangeText()));
        QString error;
        const std::optional<int> value =
            settings::parseValue(*key, assignment.mid(equals + 1), &error);
        if (!value)
            return session.usage(error);
        changes.emplace_back(key, *value);
    }
    if (const auto failure = session.connect())
        return *failure;

    QJsonObject values;
    QList<QStringList> rows{{tr("KEY"), tr("VALUE"), tr("UNIT"), tr("STATUS")}};
    QStringList done;
    for (const auto &[key, value] : changes) {
        const Answer<int> result = session.client.set(*key, value);
        if (!result) {
            if (!done.isEmpty())
                session.out.diagnostic(
                    tr("px8107ctl: already set: %1").arg(done.join(QStringLiteral(", "))));
            return session.failed(result.failure, tr("set %1").arg(key->key));
        }
        done << key->key;
        values.insert(key->key, json(*key, *result));
        rows << QStringList{key->key, settings::formatValue(*key, *result), key->unit,
                            key->access == settings::Access::Action ? tr("done") : tr("confirmed")};
    }
    return session.finish({{QStringLiteral("settings"), values},
                           {QStringLiteral("address"), session.client.unit()},
                           {QStringLiteral("rate"), session.engine.baudRate()}},
                          Output::table(rows));
}
