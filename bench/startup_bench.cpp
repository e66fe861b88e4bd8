// Start-up to the window's first paint, and resident memory then, against a minimal Qt Widgets
// window built into the same program (same libraries loaded, same platform plugin, same font).
#include "benches.h"
#include "benchutil.h"

#include "shell/form1.h"
#include "shell/platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Runs this program as a child that opens one kind of window and exits once it is painted;
// returns the medians of the milliseconds from its start to the first paint and of its resident
// memory then, in KiB.
QPair<double, double> runChild(const QString &kind)
{
    QVector<double> times;
    QVector<double> memory;
    for (int i = 0; i < 7; ++i) {
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QStringLiteral("--startup-child"), kind});
        child.start();
        child.waitForFinished(30000);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        times << figures.value(0).toDouble();
        memory << figures.value(1).toDouble();
    }
    return {median(times), median(memory)};
}

class FirstPaint : public QObject
{
public:
    explicit FirstPaint(double started) : m_started(started) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            std::printf("%f %ld\n", (nowSeconds() - m_started) * 1000, residentKiB());
            std::fflush(stdout);
            // What comes after the first paint is not measured: no tearing down either.
            std::_Exit(0);
        }
        return false;
    }

private:
    double m_started;
};

}  // namespace

int startupChild(int argc, char *argv[])
{
    const double started = nowSeconds();
    QApplication app(argc, argv);
    // As the program's main() does, for both windows.
    QFont font(QStringLiteral("Arial"), 8);
    font.setStyleHint(QFont::SansSerif);
    app.setFont(font);
    const QString kind = QString::fromLocal8Bit(argv[2]);
    std::unique_ptr<RealPlatform> real;
    std::unique_ptr<QWidget> window;
    if (kind == QLatin1String("form")) {
        real = std::make_unique<RealPlatform>();
        window = std::make_unique<Form1>(real->platform(nullptr));
    } else {
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        layout->addWidget(new QLabel(QStringLiteral("minimal")));
        layout->addWidget(new QPushButton(QStringLiteral("OK")));
    }
    FirstPaint watcher(started);
    window->installEventFilter(&watcher);
    window->show();
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
