// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BlockAnalysis.h"
#include "JpegFileInfo.h"

#include <QByteArray>
#include <QPointer>
#include <QWidget>

class CodedSymbolsView;
class CompressionResult;
class ImageWidget;
class QAbstractButton;
class QComboBox;
class QLabel;
class QTableWidget;

// The panel of one 8 x 8 block of one component of a compression: input
// samples, float DCT, quantization table, the coefficients as stored in the
// result's JPEG, the zig-zag sequence up to its last non-zero coefficient,
// the rebuilt block and its error, each as a small heat-mapped grid, and
// the symbols that code it in the file (CodedSymbolsView). The arrow keys
// move to the neighbouring block.
//
// Attached to a picture pane, a click on the pane while the tool button is
// checked inspects the block under the pointer.
class BlockInspector : public QWidget
{
    Q_OBJECT

public:
    explicit BlockInspector(QWidget* parent = nullptr);

    // The compression to inspect, or null. Not owned: the owner hands over
    // the next one (or null) before deleting it. Its JPEG's coefficients
    // are read once here.
    void setResult(const CompressionResult* result);
    // The file whose coded symbols the inspector lists for the shown block:
    // `jpeg` (an opened JPEG file of the picture's block grid), or the
    // result's JPEG when empty.
    void setCodedFile(const QByteArray& jpeg);
    // Clicks on `pane` while `tool` is checked inspect the block under them.
    void attach(ImageWidget* pane, QAbstractButton* tool);

    // Shows block (column, row) of `component`; false if there is none.
    bool showBlock(int component, int column, int row);
    // Shows the block of the current component that holds picture pixel (x, y).
    bool showPixel(int x, int y);

    // Read on the first showing or request after setResult().
    const JpegFileInfo& info() const { return fileInfo; }
    const BlockAnalysis& analysis() const { return block; }
    bool hasBlock() const { return shown; }
    // The picture pixels that the shown block covers (a block of a
    // subsampled component covers more than 8 x 8), clipped to the picture;
    // null without a block.
    QRect shownArea() const;

signals:
    void blockShown(int component, int column, int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Reads the result's coefficients if not done yet; false without a result.
    bool readResult();
    void fill();
    // The shown block's symbols in the coded file.
    void showSymbols();
    // Marks the samples that pad the last blocks beyond the picture.
    void markPadding();
    void clear(const QString& message);

    const CompressionResult* result = nullptr;
    JpegFileInfo fileInfo;
    BlockAnalysis block;
    bool shown = false;
    bool stale = false;   // the result's coefficients are still to be read
    QByteArray codedFile; // setCodedFile()
    QPointer<ImageWidget> pane;
    QPointer<QAbstractButton> tool;
    QComboBox* componentCombo = nullptr;
    QLabel* positionLabel = nullptr;
    QLabel* zigzagLabel = nullptr;
    CodedSymbolsView* symbols = nullptr; // the block's Huffman codes
    QTableWidget* samplesGrid = nullptr;
    QTableWidget* dctGrid = nullptr;
    QTableWidget* tableGrid = nullptr;
    QTableWidget* storedGrid = nullptr;
    QTableWidget* reconstructionGrid = nullptr;
    QTableWidget* errorGrid = nullptr;
};
