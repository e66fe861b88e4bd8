// The CRC against vectors from outside the program: the CRC-16/MODBUS check value, the frame
// every Modbus document quotes, and the residue of a frame followed by its own CRC.
#include "link/rtuframe.h"

#include <QTest>

class TestCrcVectors : public QObject
{
    Q_OBJECT

private slots:
    void vectors_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("check value of \"123456789\" (4B37)") << QByteArray("123456789")
                                                             << QByteArray::fromHex("374B");
        QTest::newRow("read one holding register") << QByteArray::fromHex("010300000001")
                                                   << QByteArray::fromHex("840A");
        QTest::newRow("identification request of the scan") << QByteArray::fromHex("01460000")
                                                            << QByteArray::fromHex("E00D");
        QTest::newRow("nothing") << QByteArray() << QByteArray::fromHex("FFFF");
    }
    void vectors()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, sent);
        QCOMPARE(RtuFramer::crcOf(data), sent);
        // A frame followed by its own CRC leaves a residue of 0.
        QCOMPARE(RtuFramer::crcOf(data + sent), QByteArray::fromHex("0000"));
    }

    void builtFrameCarriesTheSameCrc()
    {
        RtuFramer framer;
        framer.BuildRtuFrame(QStringLiteral("31 32 33 34 35 36 37 38 39"));
        QCOMPARE(framer.RtuFrame.toHex(' ').toUpper(), QByteArray("31 32 33 34 35 36 37 38 39 37 4B"));
    }
};

QTEST_GUILESS_MAIN(TestCrcVectors)
#include "tst_crcvectors.moc"
