#include "app/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>
#include <QTranslator>

namespace {

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Configuration and test window for the PX8107 particulate-matter sensor.\n"
        "Open the sensor's serial port in the window, then read its concentrations,\n"
        "query and change its settings over Modbus RTU or its native protocol, and\n"
        "search for the baud rate it answers at."));
    parser.addHelpOption();
    parser.addVersionOption();
}

bool asksForHelpOrVersion(int argc, char *argv[])
{
    static const char *const options[] = {"-h", "--help", "-?", "--help-all", "-v", "--version"};
    for (int i = 1; i < argc; ++i)
        for (const char *option : options)
            if (qstrcmp(argv[i], option) == 0)
                return true;
    return false;
}

// The X11 and Wayland platform plugins abort without a display server; say what is needed instead.
bool displayMissing(int argc, char *argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            return false;
    return true;
#else
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    return false;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("px8107-config"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PX8107_VERSION));

    // Help and version need no display, so that they also work on a server or in a build.
    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication application(argc, argv);
        QCommandLineParser parser;
        describe(parser);
        parser.process(application);
    }
    if (displayMissing(argc, argv)) {
        QTextStream(stderr) << "px8107-config: needs a graphical display, and neither DISPLAY nor "
                               "WAYLAND_DISPLAY is set: run it from a desktop session, or under "
                               "a virtual display with 'xvfb-run px8107-config'\n";
        return 1;
    }

    QApplication application(argc, argv);
    QCommandLineParser parser;
    describe(parser);
    parser.process(application);
    QTranslator translator;
    translator.load(QStringLiteral(":/ts/zh_CN.qm"));
    application.installTranslator(&translator);
    MainWindow window;
    window.show();
    return application.exec();
}
