#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// What the simulator asks of the system that Qt does not offer: a pseudo-terminal for its serial
// line, a listener that never accepts for its converter, and the signals that end mirvel-sim as
// something its event loop can read. Only simsystem.cpp includes the system's headers, so the
// rest of the simulator reads as Qt and a port to another system touches one file.
//
// Descriptors are plain ints, -1 for none. A failure comes back as "what: reason".
namespace SimSystem {

struct PseudoTerminal
{
    int master = -1;  // non-blocking: the modules' side
    int slave = -1;   // held open so that the master lives on while the program has its port shut
    QString slavePath;
};

// A raw pseudo-terminal at 9600 baud, both sides closed on exec.
std::optional<PseudoTerminal> openPseudoTerminal(QString *error = nullptr);
// The rate the program set on its side, read on the master; 0 when unknown or not a line rate.
int pseudoTerminalRate(int master);

// Appends what the descriptor holds until it would block. False when the other side is gone (no
// one holds the slave open): the descriptor then stays readable without anything to read.
bool readAvailable(int descriptor, QByteArray &data);

enum class WriteResult { Done, WouldBlock, Failed };
// Writes bytes from the front until they are out or the descriptor would block, and removes what
// went out.
WriteResult writeAvailable(int descriptor, QByteArray &bytes);

// Closes the descriptor unless it is -1, and sets it to -1.
void closeDescriptor(int &descriptor);

// A listener on 127.0.0.1:port whose queue one connection of its own fills: a later connection
// attempt gets no answer to its handshake. Port 0 fails: there is nothing to hold.
struct StuckListener
{
    int listener = -1;
    int filler = -1;
};
std::optional<StuckListener> openStuckListener(quint16 port, QString *error = nullptr);
void closeStuckListener(StuckListener &stuck);

// From now on SIGINT, SIGTERM and SIGHUP each put a byte on a pipe instead of ending the process;
// returns the pipe's non-blocking read side, -1 on failure.
int catchEndSignals(QString *error = nullptr);
// Reads the bytes the signals left, so that the read side is quiet until the next one.
void drainEndSignals(int descriptor);

}  // namespace SimSystem
