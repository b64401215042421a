#include "app/mainwindow.h"

#include <QMessageBox>

static const QString buildDate = QStringLiteral("2017.7.11");

void MainWindow::About()
{
    const QString webLine = tr("www.orvel.example ");
    const QString nameLine = tr("PX8107 Config and Test ");
    const QString versionLine = tr("V1.3");
    const QString text = QStringLiteral("<html>") + versionLine + QStringLiteral("</html><html>") +
                         QStringLiteral("<br>") + nameLine + QStringLiteral("</html><html>") +
                         QStringLiteral("<br>") + webLine + QStringLiteral("</html><html>") +
                         QStringLiteral("<br>") + buildDate + QStringLiteral("</html>");
    QMessageBox::information(nullptr, tr("About"), text, QMessageBox::Ok);
}
