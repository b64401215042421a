#include "app/displaycheck.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QTranslator>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (displayMissing(argc, argv)) {
        std::fputs(displayMissingMessage("px8107-config"), stderr);
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
