// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <cstddef>
#include <vector>

class IntTableModel;
class QLineEdit;
class QValidator;

// A grid of one-line text fields editing an IntTableModel. Cells sit where
// the model has them: model row r is screen row r, model column c screen
// column c, so a quantization table in natural order reads as printed in the
// standard and in the table files (rows are vertical frequencies, columns
// horizontal ones). Each cell is 25 x 25 pixels and the widget keeps exactly
// the size of its cells.
//
// Every edit re-commits the whole grid into the model, so after a keystroke
// the model matches the visible text. Values put into the model directly show
// only after updateUI(); until then the next keystroke overwrites them with
// the stale texts. Neither the model nor the validator is owned.
class SimpleTableWidget : public QWidget
{
    Q_OBJECT

public:
    SimpleTableWidget(IntTableModel* model, QValidator* validator, QWidget* parent = nullptr);

    // The committed value, from the model.
    short getValueAt(size_t row, size_t column) const;
    // Writes the model only; the cell's text follows at the next updateUI().
    void setValueAt(size_t row, size_t column, short value);
    // Writes every committed value into its line edit.
    void updateUI();

    // The line edit of model cell (row, column), object name "cell_<row>_<column>".
    QLineEdit* cellEdit(size_t row, size_t column) const { return table[row][column]; }

    // A grid that only shows its model: no cell takes keyboard input.
    void setReadOnly(bool readOnly);
    // Widens every cell (the height stays 25 pixels), for values of more digits.
    void setCellWidth(int width);
    // Highlights one cell and gives it a tool tip; unmarking restores it.
    void setMarked(size_t row, size_t column, bool marked, const QString& toolTip = QString());
    bool isMarked(size_t row, size_t column) const;

signals:
    // The committed values may have changed: after every edit and every updateUI().
    void valuesChanged();

public slots:
    // Commits one line edit: "" and "-" are 0, so is text that is no number;
    // other values are kept to their low 16 bits.
    void updateCell(size_t row, size_t column);
    void updateData();

private:
    void create(QValidator* validator);

    std::vector<std::vector<QLineEdit*>> table;
    IntTableModel* model;
};
