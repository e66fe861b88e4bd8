#pragma once

#include "benchutil.h"

#include <functional>

class CommPort;

void benchLink(QVector<BenchRow> &rows);
void benchStartup(QVector<BenchRow> &rows);
int startupChild(int argc, char *argv[]);
void benchWindow(QVector<BenchRow> &rows);
void benchMonitor(QVector<BenchRow> &rows);
void benchLoop(QVector<BenchRow> &rows);
void benchAutoRepeat(QVector<BenchRow> &rows);
void benchCli(QVector<BenchRow> &rows);

// The medians in microseconds of "$01F" sent through exchange (the port open) and of the same
// with the bare system calls on the pseudo-terminal's slave (the port closed), in alternating
// blocks, so that load from others on the machine falls on both alike.
QPair<double, double> roundTrips(PeerPty &pty, CommPort &port,
                                 const std::function<void(QString &)> &exchange);
// The Modbus RTU receive loop's idle CPU against idle, and (monitor off) a frame's answer time.
void benchReceiveLoop(QVector<BenchRow> &rows, double idle, bool monitor);
