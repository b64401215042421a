#include "ctl/commands.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <cmath>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("px8107ctl", text);
}

const QString microgramsPerCubicMetre = QStringLiteral("µg/m³");

QString objectName(quint8 object)
{
    return object == 0 ? QStringLiteral("avg") : QString::number(object);
}

// Tenths as the sensor sends them, so JSON carries 12.3 and not 12.30000019.
double tenths(float value)
{
    return std::round(double(value) * 10.0) / 10.0;
}
} // namespace

void addReadOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("object"),
         tr("avg (the average of the units, default), a detection unit 1 to 4, or all."),
         tr("avg|1..4|all")},
        {QStringLiteral("env"), tr("Also read the temperature and humidity inside the sensor.")},
    });
}

ExitCode runRead(Session &session)
{
    QList<quint8> objects{0};
    if (session.parser.isSet(QStringLiteral("object"))) {
        const QString text = session.parser.value(QStringLiteral("object"));
        bool isUnit = false;
        const int unit = text.toInt(&isUnit, 10);
        if (text == QLatin1String("all"))
            objects = {0, 1, 2, 3, 4};
        else if (isUnit && unit >= 1 && unit <= detectionUnits)
            objects = {quint8(unit)};
        else if (text != QLatin1String("avg"))
            return session.usage(tr("--object: '%1' is not avg, 1 to 4 or all").arg(text));
    }
    if (const auto failure = session.connect())
        return *failure;

    QJsonArray measurements;
    QList<QStringList> rows{{tr("OBJECT"), QStringLiteral("PM2.5 ") + microgramsPerCubicMetre,
                             QStringLiteral("PM10 ") + microgramsPerCubicMetre,
                             QStringLiteral("PM100 ") + microgramsPerCubicMetre}};
    for (quint8 object : objects) {
        const Answer<decode::Measurement> m = session.client.measurement(object);
        if (!m)
            return session.failed(m.failure, tr("read object %1").arg(objectName(object)));
        measurements.append(QJsonObject{
            {QStringLiteral("object"),
             object == 0 ? QJsonValue(objectName(0)) : QJsonValue(object)},
            {QStringLiteral("pm25"), tenths(m->pm25)},
            {QStringLiteral("pm10"), tenths(m->pm10)},
            {QStringLiteral("pm100"), m->pm100},
        });
        rows << QStringList{objectName(object), QString::number(tenths(m->pm25), 'f', 1),
                            QString::number(tenths(m->pm10), 'f', 1), QString::number(m->pm100)};
    }
    QJsonObject document{{QStringLiteral("port"), session.options.port},
                         {QStringLiteral("rate"), session.engine.baudRate()},
                         {QStringLiteral("address"), session.client.unit()},
                         {QStringLiteral("unit"), microgramsPerCubicMetre},
                         {QStringLiteral("measurements"), measurements}};
    QString text = Output::table(rows);
    if (session.parser.isSet(QStringLiteral("env"))) {
        const Answer<Environment> env = session.client.environment();
        if (!env)
            return session.failed(env.failure, tr("read temperature and humidity"));
        document.insert(QStringLiteral("environment"),
                        QJsonObject{{QStringLiteral("temperature"), env->temperature},
                                    {QStringLiteral("humidity"), env->humidity}});
        text += QLatin1Char('\n') +
                Output::table({{tr("temperature"), QStringLiteral("%1 °C").arg(env->temperature)},
                               {tr("humidity"), QStringLiteral("%1 %RH").arg(env->humidity)}});
    }
    return session.finish(document, text);
}
