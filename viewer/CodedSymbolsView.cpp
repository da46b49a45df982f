// SPDX-License-Identifier: GPL-3.0-or-later
#include "CodedSymbolsView.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString binary(unsigned value, int length)
{
    if (length <= 0)
        return QString();
    return QStringLiteral("%1").arg(value, length, 2, QLatin1Char('0'));
}

const QStringList headings = {QStringLiteral("Scan"),  QStringLiteral("Symbol"),
                              QStringLiteral("Code"),  QStringLiteral("Extra bits"),
                              QStringLiteral("Codes"), QStringLiteral("Bits")};

} // namespace

CodedSymbolsView::CodedSymbolsView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    total = new QLabel;
    total->setObjectName(QStringLiteral("codedBitsLabel"));
    total->setWordWrap(true);
    table = new QTableWidget(0, int(headings.size()));
    table->setObjectName(QStringLiteral("codedSymbolsTable"));
    table->setHorizontalHeaderLabels(headings);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setMinimumHeight(120);
    layout->addWidget(total);
    layout->addWidget(table);
}

QStringList CodedSymbolsView::describe(const JpegBitCost::Symbol& s, const JpegBitCost& cost)
{
    using Kind = JpegBitCost::Symbol::Kind;
    QString symbol;
    QString codes;
    switch (s.kind) {
    case Kind::DC_DIFFERENCE:
        symbol = QStringLiteral("DC, size %1").arg(s.size);
        codes = QStringLiteral("DC %1").arg(s.value);
        break;
    case Kind::DC_CORRECTION:
        symbol = QStringLiteral("DC correction");
        codes = QStringLiteral("DC %1").arg(s.value);
        break;
    case Kind::AC_COEFFICIENT:
        symbol = QStringLiteral("run %1 / size %2").arg(s.run).arg(s.size);
        codes = QStringLiteral("[%1] = %2").arg(s.index).arg(s.value);
        break;
    case Kind::ZERO_RUN:
        symbol = QStringLiteral("run 15 / size 0 (16 zeros)");
        codes = QStringLiteral("from [%1]").arg(s.index);
        break;
    case Kind::END_OF_BLOCK:
        if (s.share)
            symbol = QStringLiteral("share of an end-of-band run of %1 blocks").arg(s.sharedOver);
        else if (s.sharedOver > 1)
            symbol = QStringLiteral("end-of-band run of %1 blocks").arg(s.sharedOver);
        else
            symbol = QStringLiteral("end of block");
        codes = QStringLiteral("zeros from [%1]").arg(s.index);
        break;
    case Kind::AC_CORRECTION:
        symbol = QStringLiteral("correction bit");
        codes = QStringLiteral("[%1] = %2").arg(s.index).arg(s.value);
        break;
    }
    const bool several = cost.scans.size() > 1;
    const QString scan = several && s.scan >= 0 && s.scan < int(cost.scans.size())
                             ? QStringLiteral("%1 (%2)")
                                   .arg(s.scan + 1)
                                   .arg(cost.scans[std::size_t(s.scan)].describe(cost.components))
                             : QString::number(s.scan + 1);
    return {scan,
            symbol,
            binary(s.code, s.codeLength),
            binary(s.extra, s.extraLength),
            codes,
            QString::number(s.bits)};
}

bool CodedSymbolsView::showBlock(const QByteArray& jpeg, int component, int column, int row)
{
    JpegBitCost::Options options;
    options.traceComponent = component;
    options.traceColumn = column;
    options.traceRow = row;
    const JpegBitCost cost = JpegBitCost::read(jpeg, options);
    table->setRowCount(0);
    if (!cost.ok()) {
        total->setText(QStringLiteral("The coded symbols cannot be shown: %1")
                           .arg(cost.notWalked.isEmpty() ? cost.error : cost.notWalked));
        return false;
    }
    table->setRowCount(int(cost.trace.size()));
    for (int i = 0; i < int(cost.trace.size()); ++i) {
        const QStringList cells = describe(cost.trace[std::size_t(i)], cost);
        for (int c = 0; c < int(cells.size()); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c >= 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(i, c, item);
        }
    }
    const JpegBitCost::Component& coded = cost.components[std::size_t(component)];
    const std::size_t index = coded.index(column, row);
    total->setText(QStringLiteral("Coded: %1 symbols, %2 bits (DC %3, AC %4), %5 bits per sample%6")
                       .arg(cost.trace.size())
                       .arg(cost.traceBits)
                       .arg(coded.dcBits[index])
                       .arg(coded.acBits[index])
                       .arg(double(cost.traceBits) / 64.0, 0, 'f', 2)
                       .arg(cost.traceTruncated ? QStringLiteral(" (list cut short)") : QString()));
    return true;
}

void CodedSymbolsView::clear()
{
    table->setRowCount(0);
    total->clear();
}
