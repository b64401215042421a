// The tool's own start-up (as app/main.cpp), optionally quitting once shown and idle.

#include "app/mainwindow.h"
#include "quitwhenidle.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char *argv[])
{
    const bool quitWhenIdle = quitWhenIdleRequested(argc, argv);
    QApplication application(argc, argv);
    QTranslator translator;
    translator.load(QStringLiteral(":/ts/zh_CN.qm"));
    application.installTranslator(&translator);
    MainWindow window;
    window.show();
    if (quitWhenIdle)
        quitWhenShownAndIdle(window);
    return application.exec();
}
