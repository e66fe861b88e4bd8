#include "shell/form1.h"
#include "shell/platform.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Arial throughout; fontconfig puts the metric-compatible Liberation Sans in where Arial is
    // missing.
    QFont font(QStringLiteral("Arial"), 8);
    font.setStyleHint(QFont::SansSerif);
    app.setFont(font);

    RealPlatform real;
    Form1 window(real.platform(nullptr), nullptr, Form1::Build::PagesAfterFirstPaint);
    window.show();
    return app.exec();
}
