// The start-up baseline of mirvel-cli: a bare QCoreApplication program that opens the port it is
// given, writes the identification query of module 01 and waits for the reply, and nothing else.
#include <QCoreApplication>
#include <QSerialPort>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(9600);
    if (!port.open(QIODevice::ReadWrite))
        return 3;
    port.write("$01F\r");
    port.waitForBytesWritten(1000);
    QByteArray reply;
    while (!reply.contains('\r') && port.waitForReadyRead(1000))
        reply += port.readAll();
    return reply.contains('\r') ? 0 : 1;
}
