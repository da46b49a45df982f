// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JpegBitCost.h"

#include <QWidget>

class QLabel;
class QTableWidget;

// One block of a JPEG down to its code: every symbol that codes the block,
// in file order (scan, what it codes, run and size, the Huffman code's bits,
// the extra bits, the coefficient), and the block's total bits, read by
// JpegBitCost's trace of the block.
class CodedSymbolsView : public QWidget
{
    Q_OBJECT

public:
    explicit CodedSymbolsView(QWidget* parent = nullptr);

    // Walks `jpeg` for block (column, row) of `component`; false, with the
    // reason shown, when the file cannot be walked.
    bool showBlock(const QByteArray& jpeg, int component, int column, int row);
    void clear();

    // One row of the table as text: the symbol's columns.
    static QStringList describe(const JpegBitCost::Symbol& symbol, const JpegBitCost& cost);

private:
    QTableWidget* table = nullptr;
    QLabel* total = nullptr;
};
