#include "app/mainwindow.h"
#include "replies/boundedlog.h"
#include "messageboxcloser.h"
#include "ptypair.h"
#include "serial/codec.h"

#include <QtTest>
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

// The port group and the receive tick over a real pseudo-terminal.
class PortTickTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opensAtChosenRateAndCloses_data();
    void opensAtChosenRateAndCloses();
    void openFailureStaysClosed();
    void buttonPutsItsBytesOnTheLine();
    void tickLogging_data();
    void tickLogging();
    void oneReplyServesTheOldestFittingField();
    void nativeFrameWithWrongChecksumIsOnlyLogged();
    void closedPortSendsNothingAndRaisesNothing_data();
    void closedPortSendsNothingAndRaisesNothing();
    void portHeldByAnotherWindowSaysSo();
    void tickWritesSurviveTheEndOfTickClear();
    void twoNativeFramesInOneRead_data();
    void twoNativeFramesInOneRead();
    void tickIsNotReenteredBehindItsOwnBox();
    void ticksRunBehindTheAboutBox();
    void lostPortClosesAndReopens();
    void refreshKeepsTheOpenPort();
    void logKeepsItsNewestLines();

private:
    void open(PtyPair &pty, const QString &rate = "9600");
    QString logText() const { return log->toPlainText(); }
    QAbstractButton *button(const char *name) const
    {
        return window->findChild<QAbstractButton *>(name);
    }

    MainWindow *window = nullptr;
    QTextEdit *log = nullptr;
};

void PortTickTest::init()
{
    replyWaitFlags = {};
    window = new MainWindow;
    window->show();
    log = window->findChild<QTextEdit *>("textEditPM");
}

void PortTickTest::cleanup()
{
    delete window;
    window = nullptr;
}

void PortTickTest::open(PtyPair &pty, const QString &rate)
{
    QVERIFY(pty.isValid());
    window->findChild<QComboBox *>("comboBoxCOM")->setEditText(pty.slavePath());
    auto *rates = window->findChild<QComboBox *>("comboBox_BoudRate");
    rates->setCurrentIndex(rates->findText(rate));
    button("pushButtonOpen")->click();
    QVERIFY(button("pushButtonClose")->isEnabled());
}

void PortTickTest::opensAtChosenRateAndCloses_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("rate");
    QTest::newRow("first 9600") << 0 << 9600;
    QTest::newRow("4800") << 1 << 4800;
    QTest::newRow("second 9600") << 2 << 9600;
    QTest::newRow("19200") << 3 << 19200;
}

void PortTickTest::opensAtChosenRateAndCloses()
{
    QFETCH(int, entry);
    QFETCH(int, rate);
    PtyPair pty;
    window->findChild<QComboBox *>("comboBoxCOM")->setEditText(pty.slavePath());
    window->findChild<QComboBox *>("comboBox_BoudRate")->setCurrentIndex(entry);
    button("pushButtonOpen")->click();
    QVERIFY(!button("pushButtonOpen")->isEnabled());
    QVERIFY(button("pushButtonClose")->isEnabled());
    QCOMPARE(pty.lineRate(), rate);
    pty.write(QByteArray::fromHex("0102030405"));
    QTRY_COMPARE_WITH_TIMEOUT(logText(), QString("01 02 03 04 05 "), 2000);

    button("pushButtonClose")->click();
    QVERIFY(button("pushButtonOpen")->isEnabled());
    QVERIFY(!button("pushButtonClose")->isEnabled());
    pty.write(QByteArray::fromHex("0a0b0c0d"));
    QTest::qWait(700);
    QCOMPARE(logText(), QString("01 02 03 04 05 "));
}

void PortTickTest::openFailureStaysClosed()
{
    window->findChild<QComboBox *>("comboBoxCOM")->setEditText("/dev/px8107-no-such-port");
    MessageBoxCloser closer;
    button("pushButtonOpen")->click();
    QCOMPARE(closer.seen.size(), 1);
    QCOMPARE(closer.seen.first().title, QString("Information"));
    QVERIFY(closer.seen.first().text.contains("/dev/px8107-no-such-port"));
    QVERIFY(closer.seen.first().text.contains("No such file or directory"));
    QVERIFY(button("pushButtonOpen")->isEnabled());
    QVERIFY(!button("pushButtonClose")->isEnabled());
    QCOMPARE(logText(), closer.seen.first().text);

    // No poll timer runs: a later open of a real port still works.
    PtyPair pty;
    open(pty);
    pty.write(QByteArray::fromHex("aabbccdd"));
    QTRY_COMPARE_WITH_TIMEOUT(logText().count("aa bb cc dd "), 1, 2000);
}

void PortTickTest::buttonPutsItsBytesOnTheLine()
{
    PtyPair pty;
    open(pty);
    window->findChild<QComboBox *>("comboBoxSendObject")->setCurrentIndex(4);
    button("pushButton_GetSensorData")->click();
    QCOMPARE(pty.read(8).toHex(' '), QByteArray("00 03 04 b4 00 04 04 ce"));
    QCOMPARE(window->findChild<QLineEdit *>("lineEdit_TransSend_2")->text(),
             QString("00 03 04 b4 00 04 04 ce "));
    QCOMPARE(replyWaitFlags.waitSensorData, quint8(1));

    button("pushButton_GetInfo")->click();
    QCOMPARE(pty.read(19).toHex(), QByteArray("aaa6" + QByteArray(30, '0') + "00ab"));
}

void PortTickTest::tickLogging_data()
{
    QTest::addColumn<QByteArray>("arriving");
    QTest::addColumn<QString>("logged");
    QTest::newRow("three bytes are not logged") << QByteArray::fromHex("010302") << "";
    QTest::newRow("four bytes are") << QByteArray::fromHex("01020304") << "01 02 03 04 ";
    QByteArray long70;
    for (int i = 0; i < 70; ++i)
        long70.append(char(i));
    QTest::newRow("70 bytes logged in full") << long70 << toHexText(long70);
    QTest::newRow("unknown native command: only the log")
        << QByteArray::fromHex("aa01" + QByteArray(32, '0') + "ab")
        << toHexText(QByteArray::fromHex("aa01" + QByteArray(32, '0') + "ab"));
}

void PortTickTest::tickLogging()
{
    QFETCH(QByteArray, arriving);
    QFETCH(QString, logged);
    PtyPair pty;
    open(pty);
    replyWaitFlags.waitTempHumi = 1;
    pty.write(arriving);
    QTest::qWait(700);
    QCOMPARE(logText(), logged);
    // No read here is a whole reply: the raised field stays raised.
    QCOMPARE(replyWaitFlags.waitTempHumi, quint8(1));
}

// A reply serves one field, the oldest raised one it fits; the other waits for its own reply.
void PortTickTest::oneReplyServesTheOldestFittingField()
{
    PtyPair pty;
    open(pty);
    button("pushButton_GetTempHumi")->click();
    button("pushButton_GetDeviceAddr")->click();
    pty.read(16);
    pty.write(modbus::withCrc(QByteArray::fromHex("000302fb37")));
    auto *temp = window->findChild<QLineEdit *>("lineEdit_Temp");
    auto *address = window->findChild<QLineEdit *>("lineEdit_DeviceAddr");
    QTRY_COMPARE_WITH_TIMEOUT(temp->text(), QString("-5"), 2000);
    QCOMPARE(window->findChild<QLineEdit *>("lineEdit_Humi")->text(), QString("55"));
    QCOMPARE(address->text(), QString());
    QCOMPARE(replyWaitFlags.waitTempHumi, quint8(0));
    QCOMPARE(replyWaitFlags.waitDeviceAddr, quint8(1));
    pty.write(modbus::withCrc(QByteArray::fromHex("0003020001")));
    QTRY_COMPARE_WITH_TIMEOUT(address->text(), QString("1"), 2000);
    QCOMPARE(replyWaitFlags.waitDeviceAddr, quint8(0));
    QCOMPARE(temp->text(), QString("-5"));
}

void PortTickTest::nativeFrameWithWrongChecksumIsOnlyLogged()
{
    PtyPair pty;
    open(pty);
    QByteArray reply = QByteArray::fromHex("aaa6000000000000"
                                           "12ab0c3d"
                                           "0000000000"
                                           "06ab");
    reply[17] = char(0x07);
    pty.write(reply);
    QTRY_COMPARE_WITH_TIMEOUT(logText(), toHexText(reply), 2000);
    QCOMPARE(pty.read(1, 400), QByteArray()); // no firmware query follows
    QCOMPARE(window->findChild<QLineEdit *>("Edit_DeviceID")->text(), QString("ffff-ffff"));
}

void PortTickTest::closedPortSendsNothingAndRaisesNothing_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("shown");
    QTest::newRow("temperature query") << "pushButton_GetTempHumi"
                                       << "00 03 00 a8 00 01 04 3b ";
    QTest::newRow("sleep") << "pushButton_SetSleep"
                           << "00 06 00 a2 00 00 29 f9 ";
    QTest::newRow("baud search") << "pushButton_GetBaudrate"
                                 << "";
}

void PortTickTest::closedPortSendsNothingAndRaisesNothing()
{
    QFETCH(QString, buttonName);
    QFETCH(QString, shown);
    button(qPrintable(buttonName))->click();
    QCOMPARE(logText(), QString("Nothing was sent: the serial port is not open."));
    QCOMPARE(window->findChild<QLineEdit *>("lineEdit_TransSend_2")->text(), shown);
    const ReplyWaitFlags none{};
    QVERIFY(memcmp(&replyWaitFlags, &none, sizeof none) == 0);
}

void PortTickTest::portHeldByAnotherWindowSaysSo()
{
    PtyPair pty;
    open(pty);
    MainWindow second;
    second.findChild<QComboBox *>("comboBoxCOM")->setEditText(pty.slavePath());
    MessageBoxCloser closer;
    second.findChild<QAbstractButton *>("pushButtonOpen")->click();
    QCOMPARE(closer.seen.size(), 1);
    QVERIFY2(closer.seen.first().text.contains("held by another program"),
             qPrintable(closer.seen.first().text));
    QVERIFY(second.findChild<QAbstractButton *>("pushButtonOpen")->isEnabled());
}

void PortTickTest::tickWritesSurviveTheEndOfTickClear()
{
    PtyPair pty;
    open(pty);
    // Each device-ID reply makes the tick itself write the firmware query.
    const QByteArray idReply = QByteArray::fromHex("aaa6000000000000" "12ab0c3d" "0000000000" "06ab");
    const QByteArray firmwareQuery = QByteArray::fromHex("aab5" + QByteArray(30, '0') + "00ab");
    for (int round = 0; round < 5; ++round) {
        pty.write(idReply);
        QCOMPARE(pty.read(19, 2000).toHex(), firmwareQuery.toHex());
    }
    QCOMPARE(window->findChild<QLineEdit *>("Edit_DeviceID")->text(), QString("12ab-0c3d"));
}

static QByteArray native(const char *command, const char *idOrVersion, int offset)
{
    QByteArray frame(19, '\0');
    frame[0] = char(0xAA);
    frame[1] = char(QByteArray::fromHex(command).at(0));
    const QByteArray data = QByteArray::fromHex(idOrVersion);
    frame.replace(offset, data.size(), data);
    quint8 sum = 0;
    for (int i = 2; i <= 16; ++i)
        sum = quint8(sum + quint8(frame[i]));
    frame[17] = char(sum);
    frame[18] = char(0xAB);
    return frame;
}

void PortTickTest::twoNativeFramesInOneRead_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<int>("firmwareQueries");
    QTest::addColumn<QString>("deviceId");
    QTest::addColumn<QString>("firmware");
    QTest::newRow("two ID replies: the second stays, two queries")
        << native("a6", "00000001", 8) + native("a6", "12ab0c3d", 8) << 2 << "12ab-0c3d" << "";
    QTest::newRow("ID then firmware")
        << native("a6", "00000001", 8) + native("b5", "80007f", 9) << 1 << "0000-0001" << "-128-0-127";
    QTest::newRow("second frame without its tail: only the first")
        << native("a6", "00000001", 8) + native("b5", "80007f", 9).left(18) + QByteArray(1, 0)
        << 1 << "0000-0001" << "";
}

void PortTickTest::twoNativeFramesInOneRead()
{
    QFETCH(QByteArray, read);
    QFETCH(int, firmwareQueries);
    QFETCH(QString, deviceId);
    QFETCH(QString, firmware);
    PtyPair pty;
    open(pty);
    window->findChild<QAbstractButton *>("pushButton_GetInfo")->click();
    pty.read(19);
    pty.write(read);
    const QByteArray query = QByteArray::fromHex("aab5" + QByteArray(30, '0') + "00ab");
    QCOMPARE(pty.read(19 * firmwareQueries, 2500).toHex(), query.repeated(firmwareQueries).toHex());
    QCOMPARE(pty.read(1, 400), QByteArray());
    QCOMPARE(window->findChild<QLineEdit *>("Edit_DeviceID")->text(), deviceId);
    QCOMPARE(window->findChild<QLabel *>("label_softid")->text(), firmware);
}

void PortTickTest::tickIsNotReenteredBehindItsOwnBox()
{
    PtyPair pty;
    open(pty);
    const QByteArray echo = QByteArray::fromHex("000600b10003983d");
    // Bytes that arrive while the box is open wait in the port and are dropped by that tick.
    MessageBoxCloser closer(
        1500, [&] { QCOMPARE(logText(), QString("00 06 00 b1 00 03 98 3d ")); },
        [&] { pty.write(QByteArray::fromHex("01030200017984")); });
    pty.write(echo);
    QTRY_COMPARE_WITH_TIMEOUT(logText(), QString("00 06 00 b1 00 03 98 3d \nDevice change to MODBUS!"),
                              4000);
    QTest::qWait(700);
    QCOMPARE(logText(), QString("00 06 00 b1 00 03 98 3d \nDevice change to MODBUS!"));
    QCOMPARE(closer.seen.first().title, QString("Information"));
    QCOMPARE(closer.seen.first().text, QString("Device change to MODBUS!"));
    QVERIFY(closer.seen.first().hadParent);
}

void PortTickTest::ticksRunBehindTheAboutBox()
{
    PtyPair pty;
    open(pty);
    QString logWhileOpen;
    MessageBoxCloser closer(1200, [&] { logWhileOpen = logText(); });
    QTimer::singleShot(100, [&] { pty.write(QByteArray::fromHex("0a0b0c0d")); });
    window->menuBar()->actions().first()->menu()->actions().first()->trigger();
    QCOMPARE(closer.seen.size(), 1);
    QCOMPARE(logWhileOpen, QString("0a 0b 0c 0d "));
}

void PortTickTest::lostPortClosesAndReopens()
{
    auto pty = std::make_unique<PtyPair>();
    open(*pty);
    button("pushButton_GetTempHumi")->click();
    MessageBoxCloser closer;
    pty->hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), 1, 3000);
    QVERIFY2(closer.seen.first().text.contains(pty->slavePath()), qPrintable(closer.seen.first().text));
    QVERIFY(closer.seen.first().text.contains("lost"));
    QVERIFY(closer.seen.first().text.contains("\"dialout\" group"));
    QVERIFY(button("pushButtonOpen")->isEnabled());
    QVERIFY(!button("pushButtonClose")->isEnabled());
    QVERIFY(logText().contains("lost"));
    // The query that went out on the lost port is lowered with its line.
    QCOMPARE(replyWaitFlags.waitTempHumi, quint8(0));
    QVERIFY(logText().contains("No valid answer came to the temperature and humidity query."));

    PtyPair second;
    open(second);
    second.write(QByteArray::fromHex("01020304"));
    QTRY_VERIFY_WITH_TIMEOUT(logText().endsWith("01 02 03 04 "), 2000);
    QCOMPARE(closer.seen.size(), 1);
}

void PortTickTest::refreshKeepsTheOpenPort()
{
    PtyPair pty;
    open(pty);
    button("pushButton_3")->click();
    QVERIFY(button("pushButtonClose")->isEnabled());
    pty.write(QByteArray::fromHex("05060708"));
    QTRY_COMPARE_WITH_TIMEOUT(logText(), QString("05 06 07 08 "), 2000);
    button("pushButtonClose")->click();
    QVERIFY(button("pushButtonOpen")->isEnabled());
}

void PortTickTest::logKeepsItsNewestLines()
{
    const int full = boundedlog::lineLimit + boundedlog::trimBatch;
    QStringList lines;
    for (int i = 0; i < full; ++i)
        lines << QString::number(i);
    log->setPlainText(lines.join('\n'));
    PtyPair pty;
    open(pty);
    // At the bound nothing is trimmed yet; one line past it trims back to the limit.
    pty.write(QByteArray::fromHex("01020304"));
    QTRY_VERIFY_WITH_TIMEOUT(log->document()->lastBlock().text() == "01 02 03 04 ", 2000);
    QCOMPARE(log->document()->blockCount(), boundedlog::lineLimit);
    QCOMPARE(log->document()->firstBlock().text(), QString::number(full + 1 - boundedlog::lineLimit));
    QVERIFY(!log->isUndoRedoEnabled());
}

QTEST_MAIN(PortTickTest)
#include "tst_porttick.moc"
