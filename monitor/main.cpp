#include "app/displaycheck.h"
#include "monitor/monitorwindow.h"
#include "mqtt/mqttcommandline.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

namespace {

bool asksForHelpOrVersion(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i)
        for (const char *option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (qstrcmp(argv[i], option) == 0)
                return true;
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // Help and version need no display, so that they also work on a server or in a build.
    if (displayMissing(argc, argv) && !asksForHelpOrVersion(argc, argv)) {
        std::fputs(displayMissingMessage("px8107-monitor"), stderr);
        return 1;
    }
    if (asksForHelpOrVersion(argc, argv))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(PX8107_VERSION));
    QApplication::setOrganizationName(QStringLiteral("PX8107"));
    QApplication::setApplicationName(QStringLiteral("px8107-monitor"));
    QTranslator translator;
    if (QLocale::system().language() == QLocale::Chinese &&
        translator.load(QStringLiteral(":/ts/monitor_zh_CN.qm")))
        application.installTranslator(&translator);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plots and records a PX8107 sensor live. Without options the window opens "
                       "with the port, rate, address, objects and interval used last."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Serial port (a name or a path) to use."),
                                  QStringLiteral("port"));
    const QCommandLineOption connectAtStart(QStringLiteral("connect"),
                                            QStringLiteral("Connect as soon as the window opens."));
    parser.addOption(port);
    parser.addOption(connectAtStart);
    addMqttOptions(parser);
    parser.process(application);
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "px8107-monitor: unexpected argument '%s'; see --help\n",
                     qPrintable(parser.positionalArguments().constFirst()));
        return 2;
    }
    std::optional<MqttSettings> mqttSettings;
    if (mqttOptionsGiven(parser)) {
        QString error;
        mqttSettings = mqttSettingsFromCommandLine(parser, &error);
        if (!mqttSettings) {
            std::fprintf(stderr, "px8107-monitor: %s\n", qPrintable(error));
            return 2;
        }
    }

    MonitorWindow window;
    if (mqttSettings)
        window.setMqttSettings(*mqttSettings);
    if (parser.isSet(port))
        window.choosePort(parser.value(port));
    window.show();
    if (parser.isSet(connectAtStart))
        window.connectSensor();
    return application.exec();
}
