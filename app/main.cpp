#include "app/mainwindow.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QTranslator translator;
    translator.load(QStringLiteral(":/ts/zh_CN.qm"));
    application.installTranslator(&translator);
    MainWindow window;
    window.show();
    return application.exec();
}
