// The clock's font size: found from the cell height the digits must fill.
#pragma once

#include <QFont>

// The largest pixel size of `base` whose line height still fits `cellHeight`.
int pixelSizeForCellHeight(const QFont& base, int cellHeight);
