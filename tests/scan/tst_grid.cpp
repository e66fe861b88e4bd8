// The scan grid: cells by row-major index, the header row, the current cell, and the row rule.
#include "scan/modeltable.h"
#include "scan/scangrid.h"

#include <QTableWidget>
#include <QTest>

#include <tuple>

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

    void indexAddressing()
    {
        const QList<std::tuple<int, int, int>> cells{{5, 0, 0}, {1000, 199, 0}, {1274, 253, 4}};
        for (const auto &[index, tableRow, col] : cells) {
            grid->setTextArray(index, QStringLiteral("x"));
            QVERIFY(table->item(tableRow, col));
            QCOMPARE(table->item(tableRow, col)->text(), QStringLiteral("x"));
            QCOMPARE(table->item(tableRow, col)->textAlignment(), int(Qt::AlignCenter));
            QCOMPARE(grid->textArray(index), QStringLiteral("x"));
        }
        // Beyond the last cell nothing happens.
        for (int index : {1275, 99999, -1})
            grid->setTextArray(index, QStringLiteral("y"));
        QCOMPARE(table->rowCount(), 254);
        QVERIFY(!fillScanRow(*grid, 255, QStringLiteral("!01E41\r"), ScanKind::CurrentSettings,
                             QStringLiteral("9600"), QStringLiteral("Disable")));
        QCOMPARE(grid->textArray(1274), QStringLiteral("x"));
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

    // A reply's row in each scan: the description differs between the two for E45 only.
    void rowRule_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("cells");  // ID, Name, all-settings, current-settings text
        const QString unknown = "Unkonw The Module";
        const QList<std::tuple<const char *, QString, QStringList>> rows{
            {"E45", "!01E45\r", {"01", "QRD-E45", "4 CH. DI & DO    ", "4 CH DI & DO     "}},
            {"E41", "!01E41\r", {"01", "QRD-E41", "16 CH DO         ", "16 CH DO         "}},
            {"E43", "!01E43\r", {"01", "QRD-E43", "16 CH DI         ", "16 CH DI         "}},
            {"E47", "!01E47\r", {"01", "QRD-E47", "8 CH DI & DO     ", "8 CH DI & DO     "}},
            {"E82, and what follows",
             "!02E82M-more\r",
             {"02", "QRD-E82", "8 CH A.D         ", "8 CH A.D         "}},
            {"lower case", "!0Ae41\r", {"0A", "QRD-e41", unknown, unknown}},
            {"other code", "!01E44\r", {"01", "QRD-E44", unknown, unknown}},
            {"address only", "!07", {"07", "QRD-", unknown, unknown}},
        };
        for (const auto &[name, reply, cells] : rows)
            QTest::newRow(name) << reply << cells;
    }
    void rowRule()
    {
        QFETCH(QString, reply);
        QFETCH(QStringList, cells);
        for (ScanKind kind : {ScanKind::AllSettings, ScanKind::CurrentSettings}) {
            QVERIFY(fillScanRow(*grid, 3, reply, kind, QStringLiteral("9600"),
                                QStringLiteral("Disable")));
            const QString text = cells.at(kind == ScanKind::AllSettings ? 2 : 3);
            QCOMPARE(text.size(), 17);
            const QStringList row{cells.at(0), cells.at(1), text, "9600", "Disable"};
            for (int c = 0; c < 5; ++c)
                QCOMPARE(grid->textArray(15 + c), row.at(c));
            QCOMPARE(grid->textArray(20), QString());
        }
    }

private:
    std::unique_ptr<QTableWidget> table;
    std::unique_ptr<ScanGrid> grid;
};

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
