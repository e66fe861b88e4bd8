// Start-up to the window's first paint, to the window complete, and resident memory then, against
// a minimal Qt Widgets window built into the same program (same libraries loaded, same platform
// plugin, same font).
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
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct ChildFigures
{
    double shownMs;      // from the start to the first paint
    double completeMs;   // to the first pass of the event loop after it: every control built
    double residentKiB;  // then
};

struct ChildRuns
{
    QVector<double> shown;
    QVector<double> complete;
    QVector<double> memory;

    ChildFigures medians() const { return {median(shown), median(complete), median(memory)}; }
};

// Runs this program as a child that opens one kind of window and exits once it is complete after
// its first paint.
void runChild(const QString &kind, ChildRuns &runs)
{
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QStringLiteral("--startup-child"), kind});
    child.start();
    child.waitForFinished(30000);
    const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
    runs.shown << figures.value(0).toDouble();
    runs.complete << figures.value(1).toDouble();
    runs.memory << figures.value(2).toDouble();
}

class FirstPaint : public QObject
{
public:
    explicit FirstPaint(double started) : m_started(started) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_shownMs < 0) {
            m_shownMs = (nowSeconds() - m_started) * 1000;
            // Whatever the window still builds after its first paint comes before this.
            QTimer::singleShot(0, [this] {
                std::printf("%f %f %ld\n", m_shownMs, (nowSeconds() - m_started) * 1000,
                            residentKiB());
                std::fflush(stdout);
                // Nothing after this is measured: no tearing down either.
                std::_Exit(0);
            });
        }
        return false;
    }

private:
    double m_started;
    double m_shownMs = -1;
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
        window = std::make_unique<Form1>(real->platform(nullptr), nullptr,
                                         Form1::Build::PagesAfterFirstPaint);
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
    // The two windows take turns, so that load from others on the machine falls on both alike.
    ChildRuns formRuns;
    ChildRuns minimalRuns;
    for (int i = 0; i < 7; ++i) {
        runChild(QStringLiteral("form"), formRuns);
        runChild(QStringLiteral("minimal"), minimalRuns);
    }
    const ChildFigures form = formRuns.medians();
    const ChildFigures minimal = minimalRuns.medians();
    addRow(rows, QStringLiteral("Start-up to the window shown (median of 7)"), form.shownMs,
           minimal.shownMs, QStringLiteral("ms"), QStringLiteral("ratio <= 1.5"),
           form.shownMs <= 1.5 * minimal.shownMs);
    addRow(rows, QStringLiteral("Start-up to the window complete, every page built (median of 7)"),
           form.completeMs, minimal.completeMs, QStringLiteral("ms"), QStringLiteral("(reported)"),
           true);
    addRow(rows, QStringLiteral("Resident memory after start-up"), form.residentKiB / 1024.0,
           minimal.residentKiB / 1024.0, QStringLiteral("MiB"), QStringLiteral("(reported)"), true);
}
