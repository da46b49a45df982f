// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableWidget.h"

#include "TableModel.h"

#include <QGridLayout>
#include <QIntValidator>
#include <QLineEdit>

#include <algorithm>

namespace {
constexpr int CELL_SIZE = 25;

// Read-only cells look apart from editable ones; marked cells stand out.
const char* const readOnlyStyle = "QLineEdit { background: #e8e8e8; }";
const char* const markedStyle = "QLineEdit { background: #ffc58f; font-weight: bold; }";
} // namespace

SimpleTableWidget::SimpleTableWidget(IntTableModel* model, QValidator* validator, QWidget* parent)
    : QWidget(parent), model(model)
{
    create(validator);
}

void SimpleTableWidget::create(QValidator* validator)
{
    const size_t rows = model->getRowCount();
    const size_t columns = model->getColumnCount();
    table.assign(rows, std::vector<QLineEdit*>(columns, nullptr));

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Every cell shows the widest entry the validator lets through (at least
    // three digits) whole.
    int digits = 3;
    if (const auto* numbers = qobject_cast<const QIntValidator*>(validator))
        digits = std::max(digits, int(QString::number(numbers->top()).size()));
    const int cellWidth = std::max(
        CELL_SIZE, fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('9'))) + 10);

    for (size_t r = 0; r < rows; ++r)
        for (size_t c = 0; c < columns; ++c) {
            auto* edit = new QLineEdit;
            edit->setObjectName(QStringLiteral("cell_%1_%2").arg(r).arg(c));
            edit->setValidator(validator);
            edit->setFixedSize(cellWidth, CELL_SIZE);
            layout->addWidget(edit, int(r), int(c));
            connect(edit, &QLineEdit::textEdited, this, &SimpleTableWidget::updateData);
            table[r][c] = edit;
        }

    setFixedSize(cellWidth * int(columns), CELL_SIZE * int(rows));
}

short SimpleTableWidget::getValueAt(size_t row, size_t column) const
{
    return model->getValueAt(row, column);
}

void SimpleTableWidget::setValueAt(size_t row, size_t column, short value)
{
    model->setValueAt(row, column, value);
}

void SimpleTableWidget::updateUI()
{
    for (size_t r = 0; r < table.size(); ++r)
        for (size_t c = 0; c < table[r].size(); ++c)
            table[r][c]->setText(QString::number(model->getValueAt(r, c)));
    emit valuesChanged();
}

void SimpleTableWidget::setReadOnly(bool readOnly)
{
    for (auto& row : table)
        for (QLineEdit* edit : row) {
            edit->setReadOnly(readOnly);
            edit->setFocusPolicy(readOnly ? Qt::NoFocus : Qt::StrongFocus);
            if (!edit->property("marked").toBool())
                edit->setStyleSheet(readOnly ? QLatin1String(readOnlyStyle) : QString());
        }
}

void SimpleTableWidget::setCellWidth(int width)
{
    for (auto& row : table)
        for (QLineEdit* edit : row)
            edit->setFixedSize(width, CELL_SIZE);
    setFixedSize(width * int(model->getColumnCount()), CELL_SIZE * int(model->getRowCount()));
}

void SimpleTableWidget::setMarked(size_t row, size_t column, bool marked, const QString& toolTip)
{
    QLineEdit* edit = table[row][column];
    edit->setProperty("marked", marked);
    if (marked)
        edit->setStyleSheet(QLatin1String(markedStyle));
    else
        edit->setStyleSheet(edit->isReadOnly() ? QLatin1String(readOnlyStyle) : QString());
    edit->setToolTip(marked ? toolTip : QString());
}

bool SimpleTableWidget::isMarked(size_t row, size_t column) const
{
    return table[row][column]->property("marked").toBool();
}

void SimpleTableWidget::updateCell(size_t row, size_t column)
{
    const QString text = table[row][column]->text();
    int value = 0;
    if (!text.isEmpty() && text != QLatin1String("-")) {
        bool ok = false;
        value = text.toInt(&ok, 10);
        if (!ok)
            value = 0;
    }
    model->setValueAt(row, column, static_cast<short>(value));
}

void SimpleTableWidget::updateData()
{
    for (size_t r = 0; r < table.size(); ++r)
        for (size_t c = 0; c < table[r].size(); ++c)
            updateCell(r, c);
    emit valuesChanged();
}
