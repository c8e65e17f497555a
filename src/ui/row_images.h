#pragma once

#include <QIcon>

namespace kov {

// The small images of the URL list rows (a RowImage) and of the log lines (a LogImage), drawn
// once and kept. An unknown index gives the ordinary image.
QIcon RowImageIcon(int image);
QIcon LogImageIcon(int image);

}  // namespace kov
