// What the operator sees beyond the five pages: the Traffic window, its record and its files, the
// loop test's verdict, the scans' progress and the command history.
#include "link/convertersocket.h"
#include "monitor/trafficfile.h"
#include "monitor/trafficmonitor.h"
#include "monitor/trafficrecorder.h"
#include "support/rig.h"
#include "widgets/commandhistory.h"

#include <QtWidgets>

namespace {

// The "Traffic" window, opened as F2 opens it the first time.
TrafficMonitor *monitor(Window &w)
{
    auto *found = w.form().findChild<TrafficMonitor *>();
    return found ? found : w.form().showTrafficMonitor();
}

// Each expected piece appears in the monitor's lines, as Copy gives them, in this order.
void verifyInOrder(Window &w, const QStringList &expected)
{
    const QString text = monitor(w)->copiedText();
    qsizetype at = 0;
    for (const QString &piece : expected) {
        at = text.indexOf(piece, at);
        QVERIFY2(at >= 0, qPrintable(piece + " not found in order in:\n" + text));
        at += piece.size();
    }
}

QStringList lines(const QString &text)
{
    return text.split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
}

// The terminal's box after key presses.
QString press(Window &w, Qt::Key key, int times)
{
    for (int n = 0; n < times; ++n) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(w.w("Text_Send"), &event);
    }
    return w.text("Text_Send");
}

}  // namespace

class TestMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "XST-02:00"); }  // local time two hours ahead of UTC
    void localTime() { QCOMPARE(isoLocalTime(1714525965120), "2024-05-01T03:12:45.120+02:00"); }

    // Pieces received on the line, each after a silence: the frames ended when the last came,
    // the entries kept and the bytes of the first. In Modbus RTU mode (a rate given) a frame ends
    // after 3.5 character times (at least 2 ms), or past 512 bytes without a silence.
    void record_data()
    {
        for (const char *column : {"rate", "gapMs", "pieces"})
            QTest::addColumn<int>(column);
        QTest::addColumn<QByteArray>("piece");
        QTest::addColumn<int>("ended");
        QTest::addColumn<QString>("verdict");
        const QByteArray x3(3, 'x'), x4(4, 'x'), good = QByteArray::fromHex("0146020E416918");
        QTest::newRow("1200, 29 ms < 29.2") << 1200 << 29 << 2 << x4 << 0 << "";
        QTest::newRow("1200, 30 ms") << 1200 << 30 << 2 << x4 << 1 << "CRC wrong";
        QTest::newRow("9600, 3 ms < 3.6") << 9600 << 3 << 2 << x3 << 0 << "";
        QTest::newRow("9600, 4 ms") << 9600 << 4 << 2 << x3 << 1 << "too short for a frame";
        QTest::newRow("115200, 1 ms") << 115200 << 1 << 2 << x4 << 0 << "";
        QTest::newRow("115200, 2 ms") << 115200 << 2 << 2 << good << 1 << "CRC ok";
        QTest::newRow("exception") << 9600 << 4 << 2 << QByteArray::fromHex("01C602F261") << 1
                                   << "CRC ok, exception 02 to function 46";
        QTest::newRow("stream, no silence")
            << 9600 << 1 << 19 << QByteArray(100, 'x') << 3 << "CRC wrong";
        QTest::newRow("at the bounds") << 0 << 1 << 5000 << QByteArray(512, 'x') << 0 << "";
        QTest::newRow("one over each") << 0 << 1 << 5001 << QByteArray(513, 'x') << 0 << "";
    }
    void record()
    {
        PageRig f;
        f.port.setSettings(QStringLiteral("%1,n,8,1").arg(row<int>("rate")));
        f.port.setInputMode(row<int>("rate") ? 1 : 0);
        ConverterSocket socket(f.time);
        TrafficLog log;
        TrafficRecorder recorder(log, f.port, socket, f.time);
        TrafficFile file;
        TrafficMonitor monitor(log, file, f.boxes);
        monitor.show();
        const int size = int(row<QByteArray>("piece").size());
        for (int n = 0; n < row<int>("pieces"); ++n) {
            f.time.advance(quint32(row<int>("gapMs")));
            f.port.receive(row<QByteArray>("piece"));
            f.port.input();
        }
        QStringList ended;
        for (const TrafficEntry &entry : log.entries())
            if (entry.kind == TrafficEntry::Frame)
                ended << entry.note;
        QCOMPARE(ended, QStringList(row<int>("ended"), row<QString>("verdict")));
        const int kept = qMin(row<int>("pieces") + row<int>("ended"), 5000);
        QCOMPARE(lines(monitor.copiedText()).size(), kept);
        QCOMPARE(log.entries().front().bytes.size(), qMin(size, 512));
        QCOMPARE(log.entries().front().dropped, qMax(size - 512, 0));
    }

    // The Traffic window opened by F2, its controls (and the main window's) used before and after
    // one exchange and a second after that: the lines (without time and channel) that Copy put on
    // the clipboard, or that went to the file picked for Save or Log to file.
    void window_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");  // "row 2": the third line selected
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("message");  // told once, naming the file; the record kept
        const QByteArray r = "!01,QRD-E41\r";
        const QStringList all{"out $01,\"M<CR>", "in  !01,QRD-E41<CR>",
                              "    $01,\"M: reply after 5 ms"};
        const QStringList csv{
            "time,channel,direction,hex,text,verdict",
            "COM1 9600,out,24 30 31 2C 22 4D 0D,\"$01,\"\"M<CR>\",",
            "COM1 9600,in,21 30 31 2C 51 52 44 2D 45 34 31 0D,\"!01,QRD-E41<CR>\",",
            "COM1 9600,note,,,\"$01,\"\"M: reply after 5 ms\""};
        using L = QStringList;
        const L copy{"monitorCopy"}, save{"monitorSave"}, log{"monitorLog"}, sum{"Check_Chksum"};
        QTest::newRow("checksum ok, a-f")
            << QByteArray("!01300600ab\r") << sum << L{"row 2"} + copy << ""
            << L{"    $01,\"M20: reply after 5 ms, checksum ok"} << "";
        QTest::newRow("checksum none")
            << QByteArray("!01QRD-E4Z\r") << sum << L{"row 2"} + copy << ""
            << L{"    $01,\"M20: reply after 5 ms, checksum none"} << "";
        QTest::newRow("checksum wrong")
            << QByteArray("!01QRD-E4141\r") << sum << L{"row 2"} + copy << ""
            << L{"    $01,\"M20: reply after 5 ms, checksum wrong"} << "";
        QTest::newRow("no reply") << QByteArray() << L() << L{"row 1"} + copy << ""
                                  << L{"    $01,\"M: no reply within 200 ms"} << "";
        QTest::newRow("paused") << r << L{"monitorPause"} << copy << "" << L() << "";
        QTest::newRow("resumed") << r << L{"monitorPause"} << L{"monitorPause", "monitorCopy"} << ""
                                 << all << "";
        QTest::newRow("F2 on top, cleared")
            << r << L{"F2"} << L{"monitorClear", "monitorCopy"} << "" << L() << "";
        QTest::newRow("closed, F2") << r << L{"close"} << L{"F2", "monitorCopy"} << "" << all << "";
        QTest::newRow("save csv") << r << L() << save << "t.csv" << csv << "";
        QTest::newRow("save csv, one")
            << r << L() << L{"row 1"} + save << "t.CSV" << L{csv[0], csv[2]} << "";
        QTest::newRow("save hex") << r << L{"monitorHex"} << save << "t.txt"
                                  << L{"out 24 30 31 2C 22 4D 0D",
                                       "in  21 30 31 2C 51 52 44 2D 45 34 31 0D", all[2]}
                                  << "";
        QTest::newRow("log") << r << log << log << "b.log" << all << "";
        QTest::newRow("log csv") << r << log << log << "b.csv" << csv << "";
        QTest::newRow("save, no folder")
            << r << L() << save << "none/t.csv" << L() << "No such file or directory";
        QTest::newRow("log, no folder")
            << r << log << L() << "none/b.log" << L() << "No such file or directory";
        QTest::newRow("log, file for folder")
            << r << log << L() << "file/b.log" << L() << "Not a directory";
        QTest::newRow("save, disk full")
            << r << L() << save << "/dev/full" << L() << "No space left on device";
        QTest::newRow("log, disk full")
            << r << log << L() << "/dev/full" << L() << "No space left on device";
    }
    void window()
    {
        QTemporaryDir dir;  // and the working folder: no file is written unless asked for
        QDir::setCurrent(dir.path());
        QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
        const QString path = QDir(dir.path()).absoluteFilePath(row<QString>("file"));
        const QString message = row<QString>("message");
        Window w;
        w.fakePort->responder = [](auto &, auto &) { return row<QByteArray>("reply"); };
        w.open();
        w.form().show();
        TrafficMonitor *m = nullptr;
        const auto act = [&](const QStringList &names) {
            for (const QString &name : names) {
                if (name == "F2") {  // in the main window: the Traffic window comes up on top
                    w.form().activateWindow();
                    QTRY_COMPARE(QApplication::activeWindow(), &w.form());
                    QTest::keyClick(&w.form(), Qt::Key_F2);
                    m = w.form().findChild<TrafficMonitor *>();
                    QTRY_COMPARE(QApplication::activeWindow(), m);
                    m->chooseFile = [&](TrafficMonitor::FileUse) { return path; };
                } else if (name.startsWith("row ")) {
                    m->copiedText();  // the window up to date first
                    auto *view = m->findChild<QListView *>();
                    view->selectionModel()->select(view->model()->index(name.mid(4).toInt(), 0),
                                                   QItemSelectionModel::Select);
                } else if (name == "close") {
                    m->close();
                } else {
                    w.form().findChild<QAbstractButton *>(name)->click();
                }
            }
        };
        act(QStringList{"F2"} + row<QStringList>("before"));
        w.setText("Text_Send", "$01,\"M");
        w.click("Com_send");
        act(row<QStringList>("after"));
        w.click("Com_send");
        QTRY_VERIFY(m->findChild<QAbstractButton *>("monitorSave")->isEnabled());
        QFile file(path);
        QStringList got = lines(row<QString>("file").isEmpty() ? QApplication::clipboard()->text()
                                : message.isEmpty() && file.open(QIODevice::ReadOnly)
                                    ? QString::fromUtf8(file.readAll())
                                    : QString());
        const QRegularExpression time(
            "^(\\d{4}-\\d\\d-\\d\\dT)?[\\d:]{8}\\.\\d{3}(\\+02:00,| .{22} )");
        got.replaceInStrings(time, QString());
        QCOMPARE(got, row<QStringList>("expected"));
        QTRY_COMPARE(w.boxes.shown.size(), message.isEmpty() ? 0 : 1);  // told from the event loop
        QVERIFY(message.isEmpty() || w.boxes.texts()[0].contains(path + ": " + message));
        QVERIFY(!m->findChild<QCheckBox *>("monitorLog")->isChecked());
        if (!message.isEmpty())  // the record whole, the window following it unasked
            QTRY_COMPARE(m->findChild<QListView *>()->model()->rowCount(), 6);
        QVERIFY(!row<QString>("file").isEmpty() ||
                QDir().entryList(QDir::Files) == QStringList{"file"});
    }

    // The log going on in numbered files past three lines, never in bench.1.log that an earlier
    // run left, and stopping once when its file is removed: each file and the entries it holds.
    void rotation_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("removeAfter");
        QTest::addColumn<QStringList>("files");
        using L = QStringList;
        QTest::newRow("csv") << "bench.csv" << 0  // "verdict": the header's last column
                             << L{"bench.1.csv:verdict 4 5 6",
                                  "bench.1.log:", "bench.2.csv:verdict 7",
                                  "bench.csv:verdict 1 2 3"};
        QTest::newRow("plain") << "bench.log" << 0
                               << L{"bench.1.log:", "bench.2.log:4 5 6", "bench.3.log:7",
                                    "bench.log:1 2 3"};
        QTest::newRow("removed") << "bench.log" << 2 << L{"bench.1.log:"};
    }
    void rotation()
    {
        QTemporaryDir dir;
        QDir folder(dir.path());
        QFile(folder.filePath("bench.1.log")).open(QIODevice::WriteOnly);
        TrafficFile file;
        int failures = 0;
        connect(&file, &TrafficFile::failed, [&] { ++failures; });
        const bool csv = row<QString>("name").endsWith("csv");
        QVERIFY(file.open(folder.filePath(row<QString>("name"))).isEmpty());
        const auto entry = [](int n) {  // 400 ms apart
            return TrafficEntry{n * 400, "COM1", TrafficEntry::Note, {}, 0, QString::number(n)};
        };
        file.setRotateBytes(3 * trafficFileLine(entry(1), csv, false).size() +
                            (csv ? csvHeader().size() : 0));
        for (int n = 1; n <= 7; ++n) {  // each written before the next, as the event loop does
            file.append(entry(n));
            file.flush();
            if (n == row<int>("removeAfter"))
                folder.remove(row<QString>("name"));
        }
        file.close();
        QStringList files;
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
            QFile f(folder.filePath(name));
            f.open(QIODevice::ReadOnly);
            files << name + ':' +
                         lines(QString::fromUtf8(f.readAll()))
                             .replaceInStrings(QRegularExpression("^.*[ ,]"), "")
                             .join(' ');
        }
        QCOMPARE(files, row<QStringList>("files"));
        QCOMPARE(failures, row<int>("removeAfter") ? 1 : 0);
    }

    void tcpSendAndEcho()
    {
        Window w({{SimModel::E41, 0x01, 9600, false}});
        const quint16 port = w.sim->startConverter();
        w.setText("Text_IP", "127.0.0.1");
        w.setText("Text_Port", QString::number(port));
        w.click("Com_link");
        w.click("Com_Tcpip_Send");
        QTRY_COMPARE_WITH_TIMEOUT(w.text("Text_Tcpip_Receive"), QStringLiteral(" !01QRD-E41\r"),
                                  5000);
        const QString channel = QStringLiteral("TCP 127.0.0.1:%1").arg(port);
        verifyInOrder(w, {channel + "    out $01M", "out <CR>", "in  !01QRD-E41<CR>"});
    }

    void loopVerdict()
    {
        // A clean loop, whose counts are the same on any machine; how a faulty line is read is
        // the network suite's.
        const QString counts = QStringLiteral("837 sent, 837 echoed, 0 wrong, 0 missing, ");
        Window w(QList<SimModuleSettings>{});
        const quint16 port = w.sim->startConverter(0, SimConverter::Mode::Loop);
        w.setText("Text_IP", "127.0.0.1");
        w.setText("Text_Port", QString::number(port));
        w.click("Com_link");
        w.click("Com_loop_Test");
        w.w<QScrollBar>("HScroll1")->setValue(1);
        auto *loop = w.w<QPushButton>("Com_loop_Test");
        // Stopped during the last text: the pass ends with it, one whole pass of 837 characters.
        connect(w.w<QLineEdit>("Text_Tcpip_Send"), &QLineEdit::textChanged, loop,
                [loop](const QString &text) {
                    if (text.startsWith(u'~'))
                        loop->click();
                });
        QTRY_VERIFY_WITH_TIMEOUT(monitor(w)->copiedText().contains("loop test: "), 60000);
        verifyInOrder(w, {"loop test: " + counts});
        QVERIFY(loop->toolTip().startsWith(counts));
        QVERIFY(monitor(w)->status().contains(counts));
    }

    void scanProgress()
    {
        Window w;
        w.fakePort->responder = [](const QByteArray &written, const QString &) {
            return written == "$01F\r" ? QByteArray("!01E41\r") : QByteArray();
        };
        w.open();
        auto *bar = w.w<QProgressBar>("scanProgress");
        w.click("Com_Scan_OK");
        for (int step = 0; step < 3; ++step)
            w.tick("Timer3");
        QCOMPARE(monitor(w)->status(),
                 QStringLiteral("Scan: 3 of 257 addresses, 1 module(s) found"));
        QCOMPARE(w.w<QPushButton>("Com_Scan_OK")->toolTip(), monitor(w)->status());
        QCOMPARE(bar->value() * 1000 / bar->maximum(), 3 * 1000 / 257);
        w.click("Com_Scan_OK");
        QCOMPARE(monitor(w)->status(), QString());

        // Nothing answers: each address tries eight rates, 300 ms plain and 500 ms summed.
        w.click("Com_Scan_All");
        w.tick("Timer1");
        w.tick("Timer1");
        // 00: every try times out; 01 answers the first 5 ms after it: (8 * 800 + 5) * 254 / 2 ms.
        QCOMPARE(w.w<QPushButton>("Com_Scan_All")->toolTip(),
                 "Scan Unknown: 2 of 256 addresses, 1 module(s) found, about 13 min 33 s left");
        QCOMPARE(bar->maximum(), 256);
    }

    void commandHistory()
    {
        Window w;  // the terminal's box keeps the last 50 commands sent from it
        w.open();
        for (int n = 1; n <= CommandHistory::MaxCommands + 6; ++n) {  // $55M twice: kept once
            w.setText("Text_Send", QStringLiteral("$%1M").arg(qMin(n, 55)));
            w.click("Com_send");
        }
        w.setText("Text_Send", "draft");
        QCOMPARE(press(w, Qt::Key_Up, 1), QStringLiteral("$55M"));
        QCOMPARE(press(w, Qt::Key_Up, 1), QStringLiteral("$54M"));
        QCOMPARE(press(w, Qt::Key_Up, 60), QStringLiteral("$6M"));  // the oldest of the last 50
        QCOMPARE(press(w, Qt::Key_Down, 60), QStringLiteral("draft"));
    }
};

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
