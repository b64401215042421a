#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    fillPortList();
    pollTimerId = -1;
    ui->pushButtonOpen->setEnabled(true);
    ui->pushButtonClose->setEnabled(false);
    ui->tabWidget->setStyleSheet(
        QStringLiteral("QTabWidget:pane {border:1px solid #205B7B;background:  transparent; }"));
    ui->tabWidget->setCurrentIndex(0);

    auto *aboutAction = new QAction(tr("&About"), this);
    connect(aboutAction, &QAction::triggered, this, &MainWindow::About);
    QMenu *aboutMenu = menuBar()->addMenu(tr("&About"));
    aboutMenu->addAction(aboutAction);

    // The log is a view; an undo history of it would only grow.
    ui->textEditPM->setUndoRedoEnabled(false);

    ui->pushButton_SetID->hide();
    ui->tabWidget->removeTab(ui->tabWidget->indexOf(ui->tab_TransSend));

    // A lost device is handled at once rather than polled into a busy loop.
    connect(&serialPort, &QSerialPort::errorOccurred, this, &MainWindow::onPortError);
}

MainWindow::~MainWindow()
{
    serialPort.close();
    enterClosedState();
    delete ui;
}

void MainWindow::on_pushButton_clicked()
{
    ui->textEditPM->clear();
}
