// The converter's sequences, apart from the others: a program that runs only the serial ones then
// links no network library, and mirvel-cli's serial commands start without loading it.
#include "link/convertersocket.h"
#include "link/sequences.h"
#include "link/waits.h"

void sendConsoleCommand(ConverterSocket &socket, const WaitContext &waits, const QString &command)
{
    socket.SendData(command);
    Delay(waits, Timeouts::ConsoleReturn);
    socket.SendData(QStringLiteral("\r"));
}

bool sendLoopText(ConverterSocket &socket, const WaitContext &waits, const QString &text,
                  const std::function<bool()> &linkStands, const std::function<void(QChar)> &sent,
                  const std::function<qint32()> &pauseMs)
{
    for (const QChar c : text) {
        if (!linkStands())
            return false;
        socket.SendData(QString(c));
        sent(c);
        Delay(waits, pauseMs());
    }
    return true;
}
