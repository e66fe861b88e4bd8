// Start-up to the window shown, and resident memory after start-up, against a minimal Qt Widgets
// window built into the same program (same libraries loaded, same platform plugin).
#include "benchutil.h"
#include "benches.h"

#include "shell/form1.h"
#include "shell/platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {

// Runs this program as a child that opens one kind of window and exits once it is shown; returns
// the wall time in ms from start to exit and the child's resident memory in KiB.
QPair<double, double> runChild(const QString &kind)
{
    QVector<double> times;
    QVector<double> memory;
    for (int i = 0; i < 7; ++i) {
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QStringLiteral("--startup-child"), kind});
        const double start = nowSeconds();
        child.start();
        child.waitForFinished(30000);
        times << (nowSeconds() - start) * 1000;
        memory << child.readAllStandardOutput().trimmed().toDouble();
    }
    return {median(times), median(memory)};
}

}  // namespace

int startupChild(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString kind = QString::fromLocal8Bit(argv[2]);
    std::unique_ptr<QWidget> window;
    std::unique_ptr<RealPlatform> real;
    if (kind == QLatin1String("form")) {
        real = std::make_unique<RealPlatform>();
        window = std::make_unique<Form1>(real->platform(nullptr));
    } else {
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        layout->addWidget(new QLabel(QStringLiteral("minimal")));
        layout->addWidget(new QPushButton(QStringLiteral("OK")));
    }
    window->show();
    QTimer::singleShot(0, &app, [] {
        std::printf("%ld\n", residentKiB());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    return app.exec();
}

void benchStartup(QVector<BenchRow> &rows)
{
    const auto form = runChild(QStringLiteral("form"));
    const auto minimal = runChild(QStringLiteral("minimal"));
    addRow(rows, QStringLiteral("Start-up to the window shown (median of 7)"), form.first,
           minimal.first, QStringLiteral("ms"), QStringLiteral("ratio <= 1.5"),
           form.first <= 1.5 * minimal.first);
    addRow(rows, QStringLiteral("Resident memory after start-up"), form.second / 1024.0,
           minimal.second / 1024.0, QStringLiteral("MiB"), QStringLiteral("(reported)"), true);
}
