// Replies no module should give: one that never ends, binary garbage, NUL bytes, a reply in
// single bytes, and replies that come after their time-out. Each exchange ends at its time-out,
// memory stays bounded, and what arrives is shown or dropped, never a crash.
#include "faultbench.h"
#include "ui_form1.h"  // named here too, so the window design is generated for this suite

#include "shell/commsettings.h"

#include <QElapsedTimer>

#include <cerrno>

using namespace faults;
using M = SimModel;

namespace {

// Writes count bytes of printable text without a carriage return into the pseudo-terminal as
// fast as it takes them, from the event loop: a device that streams without end.
struct Flood
{
    int fd;
    qsizetype left;
    QSocketNotifier notifier;
    QByteArray chunk = QByteArray(4096, 'x');

    Flood(int masterFd, qsizetype count)
        : fd(masterFd), left(count), notifier(masterFd, QSocketNotifier::Write)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { pour(); });
    }
    void pour()
    {
        while (left > 0) {
            const ssize_t n = ::write(fd, chunk.constData(), size_t(qMin(left, chunk.size())));
            if (n <= 0)
                break;  // full for now (EAGAIN): the notifier calls again
            left -= n;
        }
        if (left <= 0)
            notifier.setEnabled(false);
    }
};

}  // namespace

class TestBadReplies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestPty::runtimeDir(); }

    void endlessReplyEndsAtItsTimeOut_data()
    {
        QTest::addColumn<bool>("scan");
        QTest::newRow("terminal send") << false;
        QTest::newRow("current-settings scan") << true;
    }
    void endlessReplyEndsAtItsTimeOut()
    {
        QFETCH(bool, scan);
        FaultBench b({{M::E41, 0x00, 115200, false}});
        b.openAt(7);  // the rate warning is answered OK
        QVERIFY(b.port.portOpen());
        SimFault endless;
        endless.endlessBytes = 1 << 20;
        b.sim.bus().setFault(endless);
        const qint64 rssBefore = rssBytes();

        if (scan) {
            QElapsedTimer clock;
            clock.start();
            b.ui()->Com_Scan_OK->click();
            QTRY_VERIFY_WITH_TIMEOUT(b.form->scan().currentPosition().NextId >= 4, kBound);
            b.ui()->Com_Scan_OK->click();
            // Four steps of 600 ms at most each (and their ticks): nowhere near the bound.
            QVERIFY(clock.elapsed() < kBound / 2);
            QCOMPARE(b.form->MSFlexGrid1().textArray(5), QString());  // nothing was identified
        } else {
            for (int i = 0; i < 5; ++i) {
                QElapsedTimer clock;
                clock.start();
                const QString shown = b.send(QStringLiteral("$00M"));
                // 200 ms is the time-out; ten times that only tells a hang from a slow machine.
                QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
                // The stream fills the box past its limit, so the box is emptied.
                QVERIFY2(shown.size() < b.ui()->Text_Rec->maxLength(),
                         qPrintable(QString::number(shown.size())));
                QVERIFY(!shown.contains(QStringLiteral("QRD")));
            }
        }
        QVERIFY(b.boxes.shown.size() == 1);  // the rate warning only
        QVERIFY2(rssBytes() - rssBefore < 16 << 20,
                 qPrintable(QString::number(rssBytes() - rssBefore)));
    }

    void megabyteWithoutCarriageReturnIsCapped()
    {
        PtyBench b;
        b.openAt();
        QVERIFY(b.port.portOpen());
        const qint64 rssBefore = rssBytes();
        Flood flood(b.pty.master(), 1 << 20);

        QString command = QStringLiteral("$01M");
        const QString reply = b.form->Response(command, false, 300);
        // Kept up to 64 KiB, the rest read and dropped.
        QCOMPARE(reply.size(), 64 * 1024);
        QVERIFY(!reply.contains(u'\r'));

        // The terminal under the same stream: its box keeps to its limit.
        const QString shown = [&] {
            b.ui()->Text_Send->setText(QStringLiteral("$01M"));
            b.ui()->Com_send->click();
            return b.ui()->Text_Rec->text();
        }();
        QVERIFY2(shown.size() < b.ui()->Text_Rec->maxLength(),
                 qPrintable(QString::number(shown.size())));
        QTRY_VERIFY_WITH_TIMEOUT(flood.left == 0, kBound);
        QVERIFY2(rssBytes() - rssBefore < 16 << 20,
                 qPrintable(QString::number(rssBytes() - rssBefore)));

        // The stream over, a real reply comes through again.
        QTest::qWait(100);
        b.answer("$01M", "!01QRD-E41\r");
        b.ui()->Com_send->click();
        QCOMPARE(b.ui()->Text_Rec->text(), QStringLiteral(" !01QRD-E41\r\r\n"));
        QVERIFY(b.boxes.shown.isEmpty());
    }

    void streamWhileIdleStaysBounded()
    {
        // A device that streams while no exchange runs: nothing of it is wanted (the next
        // exchange drops unread input), so it must not pile up in memory.
        PtyBench b;
        b.openAt();
        QVERIFY(b.port.portOpen());
        const qint64 rssBefore = rssBytes();
        Flood flood(b.pty.master(), 32 << 20);
        QTest::qWait(1500);
        const qint64 growth = rssBytes() - rssBefore;
        QVERIFY2(growth < 8 << 20, qPrintable(QString::number(growth)));
        flood.notifier.setEnabled(false);

        b.answer("$01M", "!01QRD-E41\r");
        b.ui()->Com_send->click();
        QCOMPARE(b.ui()->Text_Rec->text(), QStringLiteral(" !01QRD-E41\r\r\n"));
        QVERIFY(b.boxes.shown.isEmpty());
    }

    void streamIntoModbusReceiveLoop()
    {
        // The receive loop reads everything that comes and shows it in hexadecimal: a stream
        // without end must neither grow the box without bound nor shut out the operator.
        PtyBench b;
        Ui::Form1 *ui = b.ui();
        std::unique_ptr<Flood> flood;
        qint64 leftAtProbe = -1;
        int redraws = 0;
        int arrivals = 0;
        QObject::connect(ui->Text_Rec, &QPlainTextEdit::textChanged, [&] { ++redraws; });
        QObject::connect(&b.port, &CommPort::dataArrived, [&] { ++arrivals; });
        qint64 rssBefore = 0;
        QTimer watch;
        QTimer::singleShot(50, b.form.get(), [&] {
            rssBefore = rssBytes();
            flood = std::make_unique<Flood>(b.pty.master(), 8 << 20);
            QTimer::singleShot(200, b.form.get(), [&] { leftAtProbe = flood->left; });
            QObject::connect(&watch, &QTimer::timeout, b.form.get(), [&] {
                if (flood->left == 0 && leftAtProbe >= 0)
                    ui->Opt_ASC->setChecked(true);
            });
            watch.start(100);
        });
        QTimer::singleShot(kBound * 2, b.form.get(), [&] { ui->Opt_ASC->setChecked(true); });
        ui->Opt_RTU->setChecked(true);
        ui->Com_Set_Ok->click();  // the loop, until ASCII is chosen
        watch.stop();

        QVERIFY(flood);
        QCOMPARE(flood->left, qsizetype(0));
        QVERIFY2(leftAtProbe > 0, qPrintable(QString::number(leftAtProbe)));
        const QString shown = ui->Text_Rec->text();
        QCOMPARE(shown.size(), CommSettings::ReceiveKeepLimit);
        QVERIFY(shown.endsWith(QStringLiteral("78 78 ")));  // 'x'
        const qint64 growth = rssBytes() - rssBefore;
        QVERIFY2(growth < 32 << 20, qPrintable(QString::number(growth)));
        // Drawn now and then, not again for every piece that came in.
        QVERIFY2(
            redraws * 10 < arrivals,
            qPrintable(QStringLiteral("%1 redraws for %2 arrivals").arg(redraws).arg(arrivals)));
        QVERIFY(b.boxes.shown.isEmpty());
    }

    void binaryGarbage()
    {
        FaultBench b({{M::E41, 0x00, 9600, false}, {M::E43, 0x01, 9600, false}});
        b.openAt();
        SimFault garbage;
        garbage.garbageBytes = 100;  // on the line within the terminal's 200 ms
        b.sim.bus().setFault(garbage);
        Ui::Form1 *ui = b.ui();

        // Terminal: shown as it came, with its carriage return.
        const QString shown = b.send(QStringLiteral("$00M"));
        QVERIFY(shown.startsWith(u' '));
        QVERIFY(shown.endsWith(QStringLiteral("\r\r\n")));
        // Blanks at either end of a piece are trimmed away; nothing else is lost.
        QVERIFY2(shown.size() > 90 && shown.size() <= 1 + 101 + 2,
                 qPrintable(QString::number(shown.size())));

        // Scan: the noise holds no carriage return before its end, so every step ends with its
        // reply, and the scan goes on address after address.
        b.scanUpTo(3);
        QVERIFY(b.boxes.shown.isEmpty());

        // Taking up a module that answers noise: no known model, nothing enabled.
        b.sim.bus().clearFault();
        b.scanUpTo(2);
        QCOMPARE(b.form->MSFlexGrid1().textArray(5), QStringLiteral("00"));
        b.sim.bus().setFault(garbage);
        b.takeUp(1);
        QVERIFY(!ui->Com_Write->isEnabled());
        QVERIFY(!ui->Frame_DO->isEnabled());
        QVERIFY(b.boxes.shown.isEmpty());

        // Modbus RTU: the noise shows as hexadecimal pairs.
        QString dump;
        QTimer::singleShot(50, b.form.get(), [&] {
            ui->Text_Send->setText(QStringLiteral("0 46 0 0"));
            ui->Com_send->click();
            QTimer::singleShot(1000, b.form.get(), [&] {
                dump = ui->Text_Rec->text();
                ui->Opt_ASC->setChecked(true);
            });
        });
        ui->Opt_RTU->setChecked(true);
        ui->Com_Set_Ok->click();
        // The blank the Send left, then the 100 bytes and the carriage return.
        QCOMPARE(dump.size(), 1 + 3 * 101);
        QVERIFY(dump.endsWith(QStringLiteral("0D ")));
        for (qsizetype i = 1; i < dump.size(); i += 3) {
            bool hex = false;
            dump.mid(i, 2).toInt(&hex, 16);
            QVERIFY2(hex && dump.at(i + 2) == u' ', qPrintable(dump.mid(i, 3)));
        }
        QVERIFY(b.boxes.shown.isEmpty());
    }

    void nulBytes()
    {
        PtyBench b;
        b.openAt();
        Ui::Form1 *ui = b.ui();
        const QByteArray withNuls("!0\0\0E41\0\r", 9);

        // Kept exactly in the reply box.
        b.answer("$01M", withNuls);
        ui->Text_Send->setText(QStringLiteral("$01M"));
        ui->Com_send->click();
        QCOMPARE(ui->Text_Rec->text(),
                 QStringLiteral(" ") + QString::fromLatin1(withNuls) + QStringLiteral("\r\n"));

        // A scan answer of NULs starting with "!" becomes a row, NULs and all.
        b.onData = [](PtyBench &p) {
            if (p.received.endsWith("$00F\r"))
                p.pty.writeMaster(QByteArray("!\0\0E41\r", 7));
        };
        ui->Com_Scan_OK->click();
        QTRY_VERIFY_WITH_TIMEOUT(b.form->scan().currentPosition().NextId >= 2, kBound);
        ui->Com_Scan_OK->click();
        QCOMPARE(b.form->MSFlexGrid1().textArray(5), QString::fromLatin1("\0\0", 2));
        QCOMPARE(b.form->MSFlexGrid1().textArray(6), QStringLiteral("QRD-E41"));

        // Taking it up sends the NUL address; the NUL-laden model answer is no known model.
        b.received.clear();
        b.onData = [](PtyBench &p) {
            if (p.received.endsWith(QByteArray("$\0\0F\r", 5)))
                p.pty.writeMaster(QByteArray("!\0\0E4\0\r", 7));
        };
        b.form->MSFlexGrid1().setCurrentCell(1, 0);
        ui->Com_Configuration->click();
        QVERIFY(b.received.startsWith(QByteArray("$\0\0F\r", 5)));
        QVERIFY(!ui->Com_Write->isEnabled());
        QVERIFY(b.boxes.shown.isEmpty());
    }

    void replyInSingleBytes()
    {
        FaultBench b({{M::E41, 0x00, 9600, false}});
        b.openAt();
        SimFault pieces;
        pieces.pieceSize = 1;
        pieces.pieceGapMs = 3;
        b.sim.bus().setFault(pieces);
        Ui::Form1 *ui = b.ui();

        QCOMPARE(b.send(QStringLiteral("$00M")), QStringLiteral(" !00QRD-E41\r\r\n"));

        b.scanUpTo(1);
        QCOMPARE(b.form->MSFlexGrid1().textArray(5), QStringLiteral("00"));
        QCOMPARE(b.form->MSFlexGrid1().textArray(6), QStringLiteral("QRD-E41"));

        // Modbus RTU: the byte-by-byte answer still reads as one dump.
        QString dump;
        QTimer::singleShot(50, b.form.get(), [&] {
            ui->Text_Send->setText(QStringLiteral("0 46 0 0"));
            ui->Com_send->click();
            QTimer::singleShot(1000, b.form.get(), [&] {
                dump = ui->Text_Rec->text();
                ui->Opt_ASC->setChecked(true);
            });
        });
        ui->Opt_RTU->setChecked(true);
        ui->Com_Set_Ok->click();
        QVERIFY2(dump.startsWith(QStringLiteral(" 00 46 00 02 0E 41 ")), qPrintable(dump));
        QCOMPARE(dump.size(), 1 + 8 * 3);
        QVERIFY(b.boxes.shown.isEmpty());
    }

    void lateReply_data()
    {
        QTest::addColumn<int>("pauseBeforeNext");
        QTest::addColumn<QString>("nextReply");
        // Arrived before the next command went out: dropped when that exchange starts.
        QTest::newRow("arrived in between") << 1500 << QStringLiteral("!00E41\r");
        // Arrives after the next command went out: taken as its answer, as the exchange has
        // no way to tell them apart.
        QTest::newRow("arrives during the next") << 0 << QStringLiteral("!00QRD-E41\r");
    }
    void lateReply()
    {
        QFETCH(int, pauseBeforeNext);
        QFETCH(QString, nextReply);
        FaultBench b({{M::E41, 0x00, 9600, false}});
        b.openAt();
        SimFault late;
        late.delayMs = 600;
        b.sim.bus().setFault(late);

        QString name = QStringLiteral("$00M");
        QCOMPARE(b.form->Response(name, false, 100), QString());
        if (pauseBeforeNext > 0) {
            QTest::qWait(pauseBeforeNext);
            b.sim.bus().clearFault();
        }
        QString model = QStringLiteral("$00F");
        QCOMPARE(b.form->Response(model, false, 2000), nextReply);
    }
};

QTEST_MAIN(TestBadReplies)
#include "tst_badreplies.moc"
