// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableModel.h"

IntTableModel::IntTableModel(unsigned rows, unsigned columns, const short* data, unsigned size)
    : columns(columns), rows(rows), table(rows, std::vector<short>(columns, 0))
{
    for (size_t r = 0; r < rows; ++r)
        for (size_t c = 0; c < columns; ++c) {
            const size_t k = r * columns + c;
            if (data && k < size)
                table[r][c] = data[k];
        }
}
