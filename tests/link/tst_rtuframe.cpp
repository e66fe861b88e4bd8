// Modbus RTU frames from typed hexadecimal text: the CRC tables, the frame bytes (checked against
// vectors from outside the program too) and the tokens refused before anything could be written.
#include "link/errors.h"
#include "link/rtuframe.h"

#include <QTest>

class TestRtuFrame : public QObject
{
    Q_OBJECT

private slots:
    void tablesBegin()
    {
        const RtuFramer framer;
        const QList<int> hi{0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41};
        const QList<int> lo{0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2};
        QCOMPARE(QList<int>(framer.CrcHiTable.begin(), framer.CrcHiTable.begin() + 8), hi);
        QCOMPARE(QList<int>(framer.CrcLoTable.begin(), framer.CrcLoTable.begin() + 8), lo);
    }

    void frame_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("frame");
        auto row = [](const char *name, const char *text, const char *hex) {
            QTest::newRow(name) << QString::fromLatin1(text) << QByteArray::fromHex(hex);
        };
        row("terminal default", "1 46 0 0", "01460000E00D");
        row("read one register", "01 03 00 00 00 01", "010300000001840A");
        row("CRC-16/MODBUS check value", "31 32 33 34 35 36 37 38 39", "313233343536373839374B");
        row("empty", "", "FFFF");
        row("blanks only", "     ", "FFFF");
        row("one blank between", "01 46", "014681D2");
        row("blanks around and between", "  01   46  ", "014681D2");
        row("lower case", "ff", "FFFF00");
        row("upper case", "FF", "FFFF00");
        row("leading zero", "0FF", "FFFF00");
    }
    void frame()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, frame);
        RtuFramer framer;
        framer.BuildRtuFrame(text);
        QCOMPARE(framer.RtuFrame.toHex(' '), frame.toHex(' '));
        QCOMPARE(int(framer.RtuCount), frame.size() - 2);
        // A frame followed by its own CRC leaves a residue of 0.
        QCOMPARE(RtuFramer::crcOf(framer.RtuFrame), QByteArray(2, '\0'));
    }

    void badToken_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("G1") << "01 G1";
        QTest::newRow("256") << "01 100";
        QTest::newRow("sign") << "01 -1";
        QTest::newRow("tab is not a separator") << "01\t46";
        QTest::newRow("hex prefix") << "0x01";
    }
    void badToken()
    {
        QFETCH(QString, text);
        RtuFramer framer;
        QVERIFY_THROWS_EXCEPTION(FormatError, framer.BuildRtuFrame(text));
    }
};

QTEST_APPLESS_MAIN(TestRtuFrame)
#include "tst_rtuframe.moc"
