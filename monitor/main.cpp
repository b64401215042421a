#include "monitor/monitorwindow.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("PX8107"));
    QApplication::setApplicationName(QStringLiteral("px8107-monitor"));
    QTranslator translator;
    if (QLocale::system().language() == QLocale::Chinese &&
        translator.load(QStringLiteral(":/ts/monitor_zh_CN.qm")))
        application.installTranslator(&translator);
    MonitorWindow window;
    window.show();
    return application.exec();
}
