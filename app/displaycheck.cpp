#include "app/displaycheck.h"

#include <QByteArray>
#include <QtGlobal>

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

const char *displayMissingMessage(const char *program)
{
    static QByteArray message;
    message = QByteArray(program) +
              ": needs a graphical display, and neither DISPLAY nor WAYLAND_DISPLAY is set: run "
              "it from a desktop session, or under a virtual display with 'xvfb-run " +
              program + "'\n";
    return message.constData();
}
