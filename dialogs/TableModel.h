// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <cstddef>
#include <vector>

// A rectangular table of signed 16-bit integers, addressed row first. Values
// have no range limit beyond their 16 bits.
class IntTableModel : public QObject
{
    Q_OBJECT

public:
    // Copies `data` in row-major order: cell (r, c) takes value r * columns + c.
    // `size` is the number of values `data` holds; cells beyond it start at 0.
    IntTableModel(unsigned rows, unsigned columns, const short* data, unsigned size);

    short& getValueAt(size_t row, size_t column) { return table[row][column]; }
    const short& getValueAt(size_t row, size_t column) const { return table[row][column]; }
    void setValueAt(size_t row, size_t column, const short& value) { table[row][column] = value; }

    size_t getRowCount() const { return rows; }
    size_t getColumnCount() const { return columns; }

signals:
    // Declared for views that want to follow single cells; nothing emits it yet.
    void cellChanged(size_t row, size_t column);

private:
    size_t columns;
    size_t rows;
    std::vector<std::vector<short>> table;
};
