// Modbus RTU frames from typed hexadecimal text: the CRC tables, the frame bytes and the tokens
// that must be refused before anything could be written.
#include "link/errors.h"
#include "link/rtuframe.h"

#include <QTest>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

}  // namespace

class TestRtuFrame : public QObject
{
    Q_OBJECT

private slots:
    void tablesBegin()
    {
        const RtuFramer framer;
        const QList<int> hi{0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41};
        const QList<int> lo{0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2};
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(int(framer.CrcHiTable[size_t(i)]), hi.at(i));
            QCOMPARE(int(framer.CrcLoTable[size_t(i)]), lo.at(i));
        }
        // Every entry is a byte value.
        for (size_t i = 0; i < 256; ++i) {
            QVERIFY(framer.CrcHiTable[i] >= 0 && framer.CrcHiTable[i] <= 255);
            QVERIFY(framer.CrcLoTable[i] >= 0 && framer.CrcLoTable[i] <= 255);
        }
    }

    void frame_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("frame");
        const QByteArray terminalDefault = bytes({0x01, 0x46, 0x00, 0x00, 0xE0, 0x0D});
        QTest::newRow("terminal default") << "1 46 0 0" << terminalDefault;
        QTest::newRow("read one register")
            << "01 03 00 00 00 01" << bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A});
        QTest::newRow("empty") << "" << bytes({0xFF, 0xFF});
        QTest::newRow("blanks only") << "     " << bytes({0xFF, 0xFF});
        const QByteArray twoBytes = bytes({0x01, 0x46, 0x81, 0xD2});
        QTest::newRow("one blank between") << "01 46" << twoBytes;
        QTest::newRow("blanks around and between") << "  01   46  " << twoBytes;
        QTest::newRow("lower case") << "ff" << bytes({0xFF, 0xFF, 0x00});
        QTest::newRow("upper case") << "FF" << bytes({0xFF, 0xFF, 0x00});
        QTest::newRow("leading zero") << "0FF" << bytes({0xFF, 0xFF, 0x00});
        QTest::newRow("many leading zeros") << "00000001 46 0 0" << terminalDefault;
    }
    void frame()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, frame);
        RtuFramer framer;
        framer.BuildRtuFrame(text);
        QCOMPARE(framer.RtuFrame.toHex(' '), frame.toHex(' '));
        QCOMPARE(int(framer.RtuCount), frame.size() - 2);
    }

    void badToken_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("G1") << "01 G1";
        QTest::newRow("256") << "01 100";
        QTest::newRow("alone 100") << "100";
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
