// The scan grid: cells by row-major index, the header row, the current cell, and the row rule.
#include "scan/modeltable.h"
#include "scan/scangrid.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QTest>

class TestGrid : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        table = std::make_unique<QTableWidget>();
        table->resize(600, 300);
        grid = std::make_unique<ScanGrid>(table.get());
        SetupScanGrid(*grid);
        table->show();
        QVERIFY(QTest::qWaitForWindowExposed(table.get()));
    }

    void shape()
    {
        QCOMPARE(table->rowCount() + 1, 255);  // one header row
        QCOMPARE(table->columnCount(), 5);
        const QStringList headers{"ID", "Name", "Description", "Baud Rate", "Check Sum"};
        const int widths[] = {600, 1300, 3650, 1300, 1200};
        for (int c = 0; c < 5; ++c) {
            QCOMPARE(grid->textArray(c), headers.at(c));
            QCOMPARE(table->horizontalHeaderItem(c)->text(), headers.at(c));
            QCOMPARE(grid->colWidth(c), widths[c]);
            QCOMPARE(grid->colAlignment(c), 4);
        }
    }

    void indexAddressing_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("tableRow");
        QTest::addColumn<int>("col");
        QTest::newRow("row 1 col 0") << 5 << 0 << 0;
        QTest::newRow("row 1 col 4") << 9 << 0 << 4;
        QTest::newRow("row 200 col 0") << 1000 << 199 << 0;
        QTest::newRow("last cell") << 1274 << 253 << 4;
    }
    void indexAddressing()
    {
        QFETCH(int, index);
        QFETCH(int, tableRow);
        QFETCH(int, col);
        grid->setTextArray(index, QStringLiteral("x"));
        QVERIFY(table->item(tableRow, col));
        QCOMPARE(table->item(tableRow, col)->text(), QStringLiteral("x"));
        QCOMPARE(table->item(tableRow, col)->textAlignment(), int(Qt::AlignCenter));
        QCOMPARE(grid->textArray(index), QStringLiteral("x"));
    }

    void beyondTheLastCellNothingHappens()
    {
        grid->setTextArray(1275, QStringLiteral("x"));
        grid->setTextArray(99999, QStringLiteral("x"));
        grid->setTextArray(-1, QStringLiteral("x"));
        QCOMPARE(table->rowCount(), 254);
        QVERIFY(!fillScanRow(*grid, 255, QStringLiteral("!01E41\r"), ScanKind::CurrentSettings,
                             QStringLiteral("9600"), QStringLiteral("Disable")));
        QCOMPARE(grid->textArray(1274), QString());
    }

    void currentCell()
    {
        // Before any click: row 1, column 0.
        QCOMPARE(grid->row(), 1);
        QCOMPARE(grid->col(), 0);
        grid->setTextArray(5, QStringLiteral(" 01 "));
        QCOMPARE(grid->text(), QStringLiteral(" 01 "));  // blanks included

        // The operator's click makes a cell current; writing cells never moves it.
        grid->setTextArray(5 * 3 + 1, QStringLiteral("QRD-E43"));
        const QRect rect = table->visualRect(table->model()->index(2, 1));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(grid->row(), 3);
        QCOMPARE(grid->col(), 1);
        QCOMPARE(grid->text(), QStringLiteral("QRD-E43"));
        for (int i = 5; i < 1275; i += 7)
            grid->setTextArray(i, QStringLiteral("w"));
        ClearScanGrid(*grid);
        QCOMPARE(grid->row(), 3);
        QCOMPARE(grid->col(), 1);
    }

    void clearReachesRowsOneTo199AndOneCellOfRow200()
    {
        for (int i = 0; i < 1275; ++i)
            grid->setTextArray(i, QStringLiteral("v%1").arg(i));
        ClearScanGrid(*grid);
        QCOMPARE(grid->textArray(0), QStringLiteral("v0"));  // header written over above
        for (int i = 5; i <= 1000; ++i)
            QVERIFY(grid->textArray(i).isEmpty());
        QCOMPARE(grid->textArray(1001), QStringLiteral("v1001"));
        QCOMPARE(grid->textArray(1274), QStringLiteral("v1274"));
        SetupScanGrid(*grid);
        QCOMPARE(grid->textArray(4), QStringLiteral("Check Sum"));
    }

    void addressText_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "00";
        QTest::newRow("9") << 9 << "09";
        QTest::newRow("10") << 10 << "0A";
        QTest::newRow("16") << 16 << "10";
        QTest::newRow("255") << 255 << "FF";
        QTest::newRow("256") << 256 << "";
        QTest::newRow("-1") << -1 << "";
    }
    void addressText()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(::addressText(id), text);
    }

    void modelTable_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("allSettings");
        QTest::addColumn<QString>("currentSettings");
        QTest::newRow("E45") << "E45" << "4 CH. DI & DO    " << "4 CH DI & DO     ";
        QTest::newRow("E41") << "E41" << "16 CH DO         " << "16 CH DO         ";
        QTest::newRow("E43") << "E43" << "16 CH DI         " << "16 CH DI         ";
        QTest::newRow("E82") << "E82" << "8 CH A.D         " << "8 CH A.D         ";
        QTest::newRow("E47") << "E47" << "8 CH DI & DO     " << "8 CH DI & DO     ";
        QTest::newRow("lower case") << "e41" << "Unkonw The Module" << "Unkonw The Module";
        QTest::newRow("empty") << "" << "Unkonw The Module" << "Unkonw The Module";
        QTest::newRow("other") << "E44" << "Unkonw The Module" << "Unkonw The Module";
    }
    void modelTable()
    {
        QFETCH(QString, code);
        QFETCH(QString, allSettings);
        QFETCH(QString, currentSettings);
        QCOMPARE(ModelTable(code, ScanKind::AllSettings), allSettings);
        QCOMPARE(ModelTable(code, ScanKind::CurrentSettings), currentSettings);
        QCOMPARE(ModelTable(code, ScanKind::AllSettings).size(), 17);
    }

    void rowRule_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("16 outputs")
            << "!01E41\r" << QStringList{"01", "QRD-E41", "16 CH DO         ", "9600", "Disable"};
        QTest::newRow("address only")
            << "!07" << QStringList{"07", "QRD-", "Unkonw The Module", "9600", "Disable"};
        QTest::newRow("lower-case code")
            << "!0Ae43\r" << QStringList{"0A", "QRD-e43", "Unkonw The Module", "9600", "Disable"};
        QTest::newRow("what follows the code is ignored")
            << "!02E82M-more\r" << QStringList{"02", "QRD-E82", "8 CH A.D         ", "9600", "Disable"};
    }
    void rowRule()
    {
        QFETCH(QString, reply);
        QFETCH(QStringList, cells);
        QVERIFY(fillScanRow(*grid, 3, reply, ScanKind::AllSettings, QStringLiteral("9600"),
                            QStringLiteral("Disable")));
        for (int c = 0; c < 5; ++c)
            QCOMPARE(grid->textArray(15 + c), cells.at(c));
        QCOMPARE(grid->textArray(20), QString());
    }

private:
    std::unique_ptr<QTableWidget> table;
    std::unique_ptr<ScanGrid> grid;
};

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
