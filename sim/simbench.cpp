#include "sim/simbench.h"

#include <QStringList>

SimBench::SimBench(QObject *parent) : QObject(parent), m_bus(std::make_unique<SimBus>()) {}

SimBench::~SimBench() = default;

bool SimBench::startSerial(int comNumber, bool replaceLink, QString *error)
{
    m_serial = std::make_unique<SimSerialPort>(*m_bus);
    if (!m_serial->open(error) || !m_serial->linkAs(comNumber, replaceLink, error)) {
        m_serial.reset();
        return false;
    }
    return true;
}

quint16 SimBench::startConverter(quint16 port, SimConverter::Mode mode, QString *error)
{
    m_converter = std::make_unique<SimConverter>(*m_bus);
    m_converter->setMode(mode);
    if (!m_converter->listen(port, error)) {
        m_converter.reset();
        return 0;
    }
    return m_converter->port();
}

QList<SimModuleSettings> SimBench::defaultModules()
{
    using M = SimModel;
    return {
        // What a new operator finds at 9600 without checksum, at the first addresses.
        {M::E41, 0x01, 9600, false},
        {M::E43, 0x02, 9600, false},
        {M::E45, 0x03, 9600, false},
        {M::E47, 0x04, 9600, false},
        {M::E82, 0x05, 9600, false},
        {M::E41, 0x06, 9600, true},
        {M::E45, 0x07, 9600, false},
        // The rest are for the all-settings scan and the configuration write.
        {M::E43, 0x10, 19200, false},
        {M::E45, 0x11, 19200, true},
        {M::E47, 0x12, 4800, false},
        {M::E82, 0x13, 38400, true, 0x09, 1, true},
        {M::E41, 0x20, 115200, false},
        {M::E43, 0x21, 1200, true},
        {M::E47, 0x22, 57600, false},
        {M::E82, 0x23, 2400, false, 0x0D, 2},
    };
}

std::optional<SimModuleSettings> simParseModule(const QString &text, QString *error)
{
    const auto fail = [&](const QString &why) -> std::optional<SimModuleSettings> {
        if (error)
            *error = QStringLiteral("module \"%1\": %2").arg(text, why);
        return std::nullopt;
    };
    const QStringList parts = text.split(u':');
    if (parts.size() < 3 || parts.size() > 6)
        return fail(QStringLiteral("expected MODEL:ADDR:RATE[:chk|nochk[:RANGE[:FORMAT]]]"));

    SimModuleSettings s;
    const std::optional<SimModel> model = simModelFromCode(parts.at(0).toUpper());
    if (!model)
        return fail(QStringLiteral("unknown model (E41, E43, E45, E47 or E82)"));
    s.model = *model;

    bool ok = false;
    s.address = parts.at(1).toInt(&ok, 16);
    if (!ok || parts.at(1).size() > 2 || s.address < 0 || s.address > 0xFF)
        return fail(QStringLiteral("the address is two hexadecimal digits, 00 to FF"));

    s.rate = parts.at(2).toInt(&ok);
    if (!ok || !simIsLineRate(s.rate))
        return fail(
            QStringLiteral("the rate is one of 1200 2400 4800 9600 19200 38400 57600 115200"));

    if (parts.size() > 3) {
        const QString check = parts.at(3).toLower();
        if (check != QLatin1String("chk") && check != QLatin1String("nochk"))
            return fail(QStringLiteral("checksum is \"chk\" or \"nochk\""));
        s.checksum = check == QLatin1String("chk");
    }
    if (parts.size() > 4) {
        if (s.model != SimModel::E82)
            return fail(QStringLiteral("only the analog model E82 has a range and format"));
        s.range = parts.at(4).toInt(&ok, 16);
        if (!ok || s.range < 0x08 || s.range > 0x0D)
            return fail(QStringLiteral("the range is 08 to 0D"));
    }
    if (parts.size() > 5) {
        s.format = parts.at(5).toInt(&ok);
        if (!ok || s.format < 0 || s.format > 2)
            return fail(QStringLiteral("the format is 0, 1 or 2"));
    }
    return s;
}

QString simDescribeModule(const SimModuleSettings &s)
{
    const auto hex2 = [](int v) {
        return QString::number(v, 16).rightJustified(2, u'0').toUpper();
    };
    QString text = QStringLiteral("%1 at %2, %3 baud, checksum %4")
                       .arg(simModelCode(s.model), hex2(s.address))
                       .arg(s.rate)
                       .arg(s.checksum ? QStringLiteral("on") : QStringLiteral("off"));
    if (s.model == SimModel::E82)
        text += QStringLiteral(", range %1, format %2%3")
                    .arg(hex2(s.range))
                    .arg(s.format)
                    .arg(s.fast ? QStringLiteral(", fast") : QString());
    return text;
}

bool simParseFault(const QString &text, SimFault &fault, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("fault \"%1\": %2").arg(text, why);
        return false;
    };
    const qsizetype eq = text.indexOf(u'=');
    const QString kind = eq < 0 ? text : text.left(eq);
    if (kind == QLatin1String("exception")) {
        bool ok = false;
        const int code = text.mid(eq + 1).toInt(&ok, 16);
        if (eq < 0 || !ok || code < 1 || code > 0xFF)
            return fail(QStringLiteral("the exception code is hexadecimal, 01 to FF"));
        fault.exceptionCode = code;
        return true;
    }
    const QStringList args = eq < 0 ? QStringList() : text.mid(eq + 1).split(u',');
    QList<int> values;
    for (const QString &arg : args) {
        bool ok = false;
        const int v = arg.toInt(&ok);
        if (!ok || v < 0)
            return fail(QStringLiteral("\"%1\" is not a count").arg(arg));
        values << v;
    }
    if (kind == QLatin1String("silent") && values.isEmpty()) {
        fault.silent = true;
    } else if (kind == QLatin1String("delay") && values.size() == 1) {
        fault.delayMs = values[0];
    } else if (kind == QLatin1String("pieces") && values.size() == 2 && values[0] > 0) {
        fault.pieceSize = values[0];
        fault.pieceGapMs = values[1];
    } else if (kind == QLatin1String("garbage") && values.size() == 1 && values[0] > 0) {
        fault.garbageBytes = values[0];
    } else if (kind == QLatin1String("endless") && values.size() == 1 && values[0] > 0) {
        fault.endlessBytes = values[0];
    } else if (kind == QLatin1String("badsum") && values.isEmpty()) {
        fault.badSum = true;
    } else if (kind == QLatin1String("badcrc") && values.isEmpty()) {
        fault.badCrc = true;
    } else {
        return fail(
            QStringLiteral("expected silent, delay=MS, pieces=SIZE,GAPMS, garbage=BYTES, "
                           "endless=BYTES, badsum, badcrc or exception=CODE"));
    }
    return true;
}
