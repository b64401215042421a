#include "app/mainwindow.h"

#include <QApplication>
#include <QTextStream>
#include <QTranslator>

namespace {

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
    if (displayMissing(argc, argv)) {
        QTextStream(stderr) << "px8107-config: needs a graphical display, and neither DISPLAY nor "
                               "WAYLAND_DISPLAY is set: run it from a desktop session, or under "
                               "a virtual display with 'xvfb-run px8107-config'\n";
        return 1;
    }

    QApplication application(argc, argv);
    QTranslator translator;
    translator.load(QStringLiteral(":/ts/zh_CN.qm"));
    application.installTranslator(&translator);
    MainWindow window;
    window.show();
    return application.exec();
}
