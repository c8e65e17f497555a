#pragma once

#include <QString>
#include <ctime>

#include "model/list_model.h"

namespace kov {

// The cells of a row as the window shows them. The session writes byte counts and speeds in
// the terminal's compact form; the window shows the same numbers with binary units.
QString RowCell(const Row& row, int column, std::time_t now);

}  // namespace kov
