#pragma once

#include "benchutil.h"

void benchLink(QVector<BenchRow> &rows);
void benchStartup(QVector<BenchRow> &rows);
int startupChild(int argc, char *argv[]);
void benchWindow(QVector<BenchRow> &rows);
void benchLoop(QVector<BenchRow> &rows);
void benchAutoRepeat(QVector<BenchRow> &rows);
