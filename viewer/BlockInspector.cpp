// SPDX-License-Identifier: GPL-3.0-or-later
#include "BlockInspector.h"

#include "CodedSymbolsView.h"
#include "CompressionResult.h"
#include "Image.h"
#include "ImageWidget.h"
#include "WindowState.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr int cellSize = 34;

QTableWidget* makeGrid(const char* name)
{
    auto* grid = new QTableWidget(8, 8);
    grid->setObjectName(QLatin1String(name));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->setFocusPolicy(Qt::NoFocus);
    grid->horizontalHeader()->setVisible(false);
    grid->verticalHeader()->setVisible(false);
    grid->horizontalHeader()->setMinimumSectionSize(cellSize);
    grid->horizontalHeader()->setDefaultSectionSize(cellSize);
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setFixedSize(8 * cellSize + 2, 8 * 20 + 2);
    QFont font = grid->font();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    grid->setFont(font);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->setItem(r, c, item);
        }
    return grid;
}

// Writes 64 values into `grid`, shading each cell by its size against the
// largest magnitude: red for positive, blue for negative, white for zero.
template <typename Values> void fillGrid(QTableWidget* grid, const Values& values, int decimals)
{
    double largest = 0;
    for (std::size_t k = 0; k < 64; ++k)
        largest = std::max(largest, std::abs(double(values[k])));
    for (int k = 0; k < 64; ++k) {
        const double value = double(values[std::size_t(k)]);
        QTableWidgetItem* item = grid->item(k / 8, k % 8);
        // Shown rounded, and a rounded zero without a sign.
        const double scale = std::pow(10.0, decimals);
        const double shown = std::round(value * scale) / scale;
        item->setText(QString::number(shown == 0 ? 0.0 : shown, 'f', decimals));
        const double strength = largest > 0 ? std::abs(value) / largest : 0;
        const int fade = int(std::lround(255 - 170 * strength));
        item->setBackground(value >= 0 ? QColor(255, fade, fade) : QColor(fade, fade, 255));
        item->setForeground(Qt::black);
    }
}

QWidget* captioned(const QString& caption, QWidget* grid)
{
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(new QLabel(caption));
    layout->addWidget(grid);
    return box;
}

} // namespace

BlockInspector::BlockInspector(QWidget* parent) : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("blockInspector"));
    setWindowTitle(QStringLiteral("Block inspector"));
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QGridLayout(this);
    componentCombo = new QComboBox;
    componentCombo->setObjectName(QStringLiteral("componentCombo"));
    componentCombo->setFocusPolicy(Qt::NoFocus);
    positionLabel = new QLabel;
    positionLabel->setObjectName(QStringLiteral("positionLabel"));
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Component:")));
    top->addWidget(componentCombo);
    top->addWidget(positionLabel, 1);
    layout->addLayout(top, 0, 0, 1, 3);

    samplesGrid = makeGrid("samplesGrid");
    dctGrid = makeGrid("dctGrid");
    tableGrid = makeGrid("tableGrid");
    storedGrid = makeGrid("storedGrid");
    reconstructionGrid = makeGrid("reconstructionGrid");
    errorGrid = makeGrid("errorGrid");
    layout->addWidget(captioned(QStringLiteral("Input samples − 128 (as coded)"), samplesGrid), 1,
                      0);
    layout->addWidget(captioned(QStringLiteral("DCT (floating point)"), dctGrid), 1, 1);
    layout->addWidget(captioned(QStringLiteral("Quantization table"), tableGrid), 1, 2);
    layout->addWidget(captioned(QStringLiteral("Quantized, as stored"), storedGrid), 2, 0);
    layout->addWidget(
        captioned(QStringLiteral("Rebuilt from the stored values"), reconstructionGrid), 2, 1);
    layout->addWidget(captioned(QStringLiteral("Error (rebuilt − input)"), errorGrid), 2, 2);
    zigzagLabel = new QLabel;
    zigzagLabel->setObjectName(QStringLiteral("zigzagLabel"));
    zigzagLabel->setWordWrap(true);
    zigzagLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(zigzagLabel, 3, 0, 1, 3);
    symbols = new CodedSymbolsView;
    layout->addWidget(symbols, 4, 0, 1, 3);

    connect(componentCombo, &QComboBox::activated, this, [this](int component) {
        // The same place of the picture in the other component's blocks.
        const JpegFileInfo::Component& from = fileInfo.components[std::size_t(block.component)];
        const JpegFileInfo::Component& to = fileInfo.components[std::size_t(component)];
        showBlock(component, block.column * to.horizontal / from.horizontal,
                  block.row * to.vertical / from.vertical);
    });
    clear(QStringLiteral("No compression to inspect."));
}

void BlockInspector::attach(ImageWidget* picturePane, QAbstractButton* toolButton)
{
    pane = picturePane;
    tool = toolButton;
    picturePane->installEventFilter(this);
}

bool BlockInspector::eventFilter(QObject* watched, QEvent* event)
{
    // The event type first: the pane is also watched while it is being
    // destroyed, when it may no longer be read as an ImageWidget.
    if (event->type() == QEvent::MouseButtonPress && watched == pane && tool && tool->isChecked()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPointF at =
            (mouse->position() - QPointF(pane->pictureOffset())) / double(pane->getZoomFactor());
        if (showPixel(int(std::floor(at.x())), int(std::floor(at.y())))) {
            show();
            WindowState::keepOnScreen(this);
            raise();
            activateWindow();
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void BlockInspector::setResult(const CompressionResult* next)
{
    result = next;
    // Reading the coefficients costs a pass over the JPEG: done when the
    // panel is up, or when a block is asked for.
    fileInfo = JpegFileInfo();
    stale = next != nullptr;
    componentCombo->clear();
    if (!next)
        clear(QStringLiteral("No compression to inspect."));
    else if (isVisible())
        readResult();
}

bool BlockInspector::readResult()
{
    if (!stale)
        return result != nullptr;
    stale = false;
    fileInfo = JpegFileInfo::read(result->getCompressedBytes(), true);
    static const char* const names[] = {"Y", "Cb", "Cr", "K"};
    for (std::size_t c = 0; c < fileInfo.coefficients.size(); ++c) {
        const JpegFileInfo::Component& component = fileInfo.components[c];
        componentCombo->addItem(QStringLiteral("%1 (%2 × %3)")
                                    .arg(QLatin1String(c < 4 ? names[c] : "?"))
                                    .arg(component.horizontal)
                                    .arg(component.vertical));
    }
    // Stay on the same block where the new compression has it.
    if (!shown || !showBlock(block.component, block.column, block.row)) {
        if (!showBlock(0, 0, 0))
            clear(fileInfo.isValid() ? fileInfo.coefficientError : fileInfo.error);
    }
    return true;
}

void BlockInspector::showEvent(QShowEvent* event)
{
    readResult();
    QWidget::showEvent(event);
}

bool BlockInspector::showPixel(int x, int y)
{
    if (!readResult() || fileInfo.coefficients.empty() || x < 0 || y < 0 || x >= fileInfo.width ||
        y >= fileInfo.height)
        return false;
    const int component =
        std::clamp(componentCombo->currentIndex(), 0, int(fileInfo.components.size()) - 1);
    const int maxH = fileInfo.maxHorizontalSampling();
    const int maxV = fileInfo.maxVerticalSampling();
    const JpegFileInfo::Component& c = fileInfo.components[std::size_t(component)];
    return showBlock(component, x * c.horizontal / maxH / 8, y * c.vertical / maxV / 8);
}

QRect BlockInspector::shownArea() const
{
    if (!shown || fileInfo.components.empty())
        return QRect();
    const int maxH = fileInfo.maxHorizontalSampling();
    const int maxV = fileInfo.maxVerticalSampling();
    const JpegFileInfo::Component& c = fileInfo.components[std::size_t(block.component)];
    const int width = 8 * maxH / c.horizontal;
    const int height = 8 * maxV / c.vertical;
    return QRect(block.column * width, block.row * height, width, height) &
           QRect(0, 0, fileInfo.width, fileInfo.height);
}

bool BlockInspector::showBlock(int component, int column, int row)
{
    if (!readResult() || !result->getSourceImage())
        return false;
    BlockAnalysis next;
    if (!BlockAnalysis::analyse(*result->getSourceImage(), fileInfo, component, column, row,
                                result->getSettings().getSmoothing(), next))
        return false;
    block = next;
    shown = true;
    fill();
    emit blockShown(component, column, row);
    return true;
}

void BlockInspector::fill()
{
    componentCombo->setCurrentIndex(block.component);
    const JpegFileInfo::ComponentCoefficients& blocks =
        fileInfo.coefficients[std::size_t(block.component)];
    positionLabel->setText(QStringLiteral("Block %1, %2 of %3 × %4 (arrow keys move)")
                               .arg(block.column)
                               .arg(block.row)
                               .arg(blocks.widthInBlocks)
                               .arg(blocks.heightInBlocks));
    fillGrid(samplesGrid, block.samples, 0);
    fillGrid(dctGrid, block.dct, 0);
    fillGrid(tableGrid, block.quantization, 0);
    fillGrid(storedGrid, block.stored, 0);
    fillGrid(reconstructionGrid, block.reconstruction, 0);
    fillGrid(errorGrid, block.error, 1);
    markPadding();
    QStringList sequence;
    for (int k = 0; k <= block.lastNonZero; ++k)
        sequence << QString::number(block.stored[std::size_t(BlockAnalysis::zigzag[k])]);
    zigzagLabel->setText(
        block.lastNonZero < 0
            ? QStringLiteral("Zig-zag sequence: every coefficient is 0 (end of block at once).")
            : QStringLiteral("Zig-zag sequence (last non-zero at position %1, then end of block): "
                             "%2")
                  .arg(block.lastNonZero)
                  .arg(sequence.join(QLatin1Char(' '))));
    showSymbols();
}

void BlockInspector::setCodedFile(const QByteArray& jpeg)
{
    if (jpeg == codedFile)
        return;
    codedFile = jpeg;
    if (shown)
        showSymbols();
}

void BlockInspector::showSymbols()
{
    symbols->showBlock(codedFile.isEmpty() ? result->getCompressedBytes() : codedFile,
                       block.component, block.column, block.row);
}

// Samples beyond the picture's edge: grey, in italics, with a tool tip.
void BlockInspector::markPadding()
{
    for (QTableWidget* grid : {samplesGrid, reconstructionGrid, errorGrid})
        for (int k = 0; k < 64; ++k) {
            QTableWidgetItem* item = grid->item(k / 8, k % 8);
            const bool padding = block.padding[std::size_t(k)];
            QFont font = item->font();
            font.setItalic(padding);
            item->setFont(font);
            item->setToolTip(padding ? QStringLiteral("Padding beyond the picture's edge: not "
                                                      "part of the picture, no error counted")
                                     : QString());
            if (padding)
                item->setBackground(QColor(0xd0, 0xd0, 0xd0));
        }
}

void BlockInspector::clear(const QString& message)
{
    shown = false;
    positionLabel->setText(message);
    zigzagLabel->clear();
    symbols->clear();
    for (QTableWidget* grid :
         {samplesGrid, dctGrid, tableGrid, storedGrid, reconstructionGrid, errorGrid})
        for (int k = 0; k < 64; ++k) {
            grid->item(k / 8, k % 8)->setText(QString());
            grid->item(k / 8, k % 8)->setBackground(Qt::white);
        }
}

void BlockInspector::keyPressEvent(QKeyEvent* event)
{
    int dx = 0, dy = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        dx = -1;
        break;
    case Qt::Key_Right:
        dx = 1;
        break;
    case Qt::Key_Up:
        dy = -1;
        break;
    case Qt::Key_Down:
        dy = 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (shown)
        showBlock(block.component, block.column + dx, block.row + dy);
    event->accept();
}
