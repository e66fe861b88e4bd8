// The I/O panel's output switches, channel reads and status read, on the window with a scripted
// port: module 01 in row 1 (selected), module 02 in row 2.
#include "link/checksum.h"
#include "scan/scangrid.h"
#include "support/formharness.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

QString hex(int n)
{
    return QString::number(n, 16).toUpper();
}

}  // namespace

class TestDio : public QObject
{
    Q_OBJECT

private slots:
    // A row: the steps (a button's name; "row2" selects module 02 at once, "row2@2" 2 ms into the
    // next exchange; "cell=TEXT" rewrites row 1's address; "checksum"; "close"/"open" the port),
    // the replies ("command=reply"; a command listed twice gets its replies in turn), the lines
    // written, and what is seen afterwards ("Widget.property=value", "boxes=N").
    void panel_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("after");
        auto row = [](const QString &name, QStringList steps, QStringList replies,
                      QStringList lines, QStringList after) {
            QTest::newRow(qPrintable(name)) << steps << replies << lines << after;
        };
        const char *suffixes[16] = {"10", "11", "12", "13", "14", "15", "16", "17",
                                    "B0", "B1", "B2", "B3", "B4", "B5", "B6", "B7"};
        const QString s = "$016", rs = s + "=!01FF0000\r";
        for (int n = 0; n < 16; ++n) {
            const QString b = "Com_DO" + hex(n), on = "#01" + QString(suffixes[n]) + "01";
            const QString off = on.chopped(2) + "00", di = "Com_DI_D" + hex(n), in = "#01" + hex(n);
            row(b + " first click", {b}, {on + "=>\r", rs}, {on, s},
                {"Text_Disp_Com.text=" + on, "Text_DSP_Res.text=>\r", "Com_DIO_Status.text=FF000",
                 b + ".checked=true"});
            row(b + " second click", {b, b}, {off + "=?01\r"}, {on, s, off, s},
                {"Text_Disp_Com.text=" + off, "Text_DSP_Res.text=?01\r", b + ".checked=false"});
            row(di, {di}, {in + "=!01+0" + hex(n) + ".2345678\r", s + "=!0100FF00\r"}, {in, s},
                {"Text_Disp_Com.text=" + in, "Text_DSP_Res.text=!01+0" + hex(n) + ".2345678\r",
                 di + ".text=+0" + hex(n) + ".2345", "Com_DIO_Status.text=00FF0"});
        }
        row("DO2, DO5, DO2", {"Com_DO2", "Com_DO5", "Com_DO2"}, {},
            {"#011201", s, "#011501", s, "#011200", s},
            {"Com_DO2.checked=false", "Com_DO5.checked=true"});
        row("flag outlives a selection", {"Com_DO0", "row2", "Com_DO0"}, {},
            {"#011001", s, "#021000", "$026"}, {});
        row("trimmed address", {"cell=  01 ", "Com_DO0"}, {}, {"#011001", s},
            {"Text_Disp_Com.text=#011001"});
        row("checksum on both", {"checksum", "Com_DO0"}, {},
            {"#011001" + asciiChecksum("#011001"), s + asciiChecksum(s)},
            {"Text_Disp_Com.text=#011001"});
        row("output, address afresh", {"row2@2", "Com_DO1"}, {}, {"#011101", "$026"}, {});
        row("read, address afresh", {"row2@2", "Com_DI_D0"}, {}, {"#010", "$026"}, {});
        // Status captions are characters 4-8 of the reply, value captions 4-11, CR included.
        row("status, 9 characters", {"Com_DO7"}, {s + "=!01A5B6C7\r"}, {"#011701", s},
            {"Com_DIO_Status.text=A5B6C"});
        row("status, 5 and CR", {"Com_DO7"}, {s + "=!01AB\r"}, {"#011701", s},
            {"Com_DIO_Status.text=AB\r"});
        row("status, nothing", {"Com_DO7"}, {}, {"#011701", s}, {"Com_DIO_Status.text="});
        row("value, nothing", {"Com_DI_D7"}, {}, {"#017", s}, {"Com_DI_D7.text="});
        row("counter, 5 digits and CR", {"Com_DI_DF"}, {"#01F=!0100042\r"}, {"#01F", s},
            {"Com_DI_DF.text=00042\r"});
        row("status button reads twice", {"Com_DIO_Status"},
            {s + "=!0100010000\r", s + "=!0100030000\r"}, {s, s},
            {"Text_Disp_Com.text=$016", "Text_DSP_Res.text=!0100010000\r",
             "Com_DIO_Status.text=00030"});
        row("closed port: the flag stays", {"close", "Com_DO3"}, {}, {},
            {"Com_DO3.checked=false", "boxes=1"});
        row("closed port: the next click switches on", {"close", "Com_DO3", "open", "Com_DO3"}, {},
            {"#011301", s}, {"Com_DO3.checked=true", "boxes=1"});
    }
    void panel()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, replies);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, after);
        FormHarness h;
        h.port.responder = [&](const QByteArray &written, const QString &) {
            const QString line = QString::fromLatin1(written).chopped(1) + "=";
            const auto it = std::find_if(replies.begin(), replies.end(),
                                         [&](const QString &r) { return r.startsWith(line); });
            if (it == replies.end())
                return QByteArray();
            const QByteArray reply = it->mid(line.size()).toLatin1();
            if (std::count_if(it, replies.end(), [&](auto &r) { return r.startsWith(line); }) > 1)
                replies.erase(it);
            return reply;
        };
        h.port.setPortOpen(true);
        h.form->MSFlexGrid1().setTextArray(5, QStringLiteral("01"));
        h.form->MSFlexGrid1().setTextArray(10, QStringLiteral("02"));
        h.form->MSFlexGrid1().setCurrentCell(1, 0);
        h.ui()->Frame_DI->setEnabled(true);
        h.ui()->Frame_DO->setEnabled(true);
        QStringList captions;
        for (int n = 0; n < 16; ++n) {
            h.find("Com_DO" + hex(n))->setEnabled(true);
            captions << h.find("Com_DO" + hex(n))->property("text").toString();
        }
        // Every text checked afterwards starts as something else.
        for (const QString &a : after) {
            if (a.section('=', 0, 0).endsWith(".text"))
                h.find(a.section('.', 0, 0))->setProperty("text", "old");
        }

        for (const QString &step : steps) {
            if (step == "row2")
                h.form->MSFlexGrid1().setCurrentCell(2, 0);
            else if (step == "row2@2")
                h.time.at(2, [&] { h.form->MSFlexGrid1().setCurrentCell(2, 0); });
            else if (step.startsWith("cell="))
                h.form->MSFlexGrid1().setTextArray(5, step.mid(5));
            else if (step == "checksum")
                h.ui()->Check_Chksum->setChecked(true);
            else if (step == "close" || step == "open")
                h.port.setPortOpen(step == "open");
            else
                h.click(step);
        }
        QCoreApplication::processEvents();  // a fault is reported from the event loop

        QStringList written = h.port.writtenTexts();
        for (QString &w : written)
            w.chop(1);
        QCOMPARE(written, lines);
        int boxes = 0;
        for (const QString &a : after) {
            const QString key = a.section('=', 0, 0), widget = key.section('.', 0, 0);
            if (key == "boxes")
                boxes = a.section('=', 1).toInt();
            else
                QCOMPARE(key + "=" +
                             h.find(widget)->property(qPrintable(key.section('.', 1))).toString(),
                         a);
        }
        QCOMPARE(h.boxes.shown.size(), boxes);
        for (int n = 0; n < 16; ++n)  // an output's caption never changes
            QCOMPARE(h.find("Com_DO" + hex(n))->property("text").toString(), captions.at(n));
    }
};

QTEST_MAIN(TestDio)
#include "tst_dio.moc"
