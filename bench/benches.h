#pragma once

#include "benchutil.h"

void benchLink(QVector<BenchRow> &rows);
