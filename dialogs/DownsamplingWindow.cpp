// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownsamplingWindow.h"

#include "DataIcons.h"
#include "JPEGSettings.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Box titles of component rows 0..3, named after the component each row's
// factors reach: the encoder applies entry r of the record to JPEG component
// r, and a colour JPEG's components are Y, Cb and Cr in that order.
const char* const rowTitles[DownsamplingWindow::COMPONENTS] = {"Luminance (Y)", "Chrominance (Cb)",
                                                               "Chrominance (Cr)", "Fourth"};
constexpr int BATCH_VISIBLE_ROWS = 2;
constexpr int MAX_BLOCKS_PER_MCU = 10;

// Selects the button of `factor` (1..4) and clears the others; a factor the
// buttons cannot show leaves the group without a selection.
void selectFactor(QRadioButton* const (&buttons)[DownsamplingWindow::FACTORS], int factor)
{
    for (int k = 0; k < DownsamplingWindow::FACTORS; ++k) {
        // Auto-exclusive buttons refuse to uncheck the checked one.
        buttons[k]->setAutoExclusive(false);
        buttons[k]->setChecked(k + 1 == factor);
        buttons[k]->setAutoExclusive(true);
    }
}

// The factor of the selected button, or 0 when none is selected.
int selectedFactor(QRadioButton* const (&buttons)[DownsamplingWindow::FACTORS])
{
    for (int k = 0; k < DownsamplingWindow::FACTORS; ++k)
        if (buttons[k]->isChecked())
            return k + 1;
    return 0;
}

QGroupBox* factorGroup(const QString& title, const QString& name,
                       QRadioButton* (&buttons)[DownsamplingWindow::FACTORS])
{
    auto* group = new QGroupBox(title);
    auto* layout = new QVBoxLayout(group);
    for (int k = 0; k < DownsamplingWindow::FACTORS; ++k) {
        buttons[k] = new QRadioButton(QString::number(k + 1), group);
        buttons[k]->setObjectName(name.arg(k + 1));
        layout->addWidget(buttons[k]);
    }
    return group;
}

} // namespace

DownsamplingWindow::DownsamplingWindow(JPEGSettings& settings, QWidget* parent)
    : DownsamplingWindow(&settings, Variant::Interactive, parent)
{
}

DownsamplingWindow::DownsamplingWindow(QWidget* parent)
    : DownsamplingWindow(nullptr, Variant::Batch, parent)
{
}

DownsamplingWindow::DownsamplingWindow(JPEGSettings* settings, Variant variant, QWidget* parent)
    : QDialog(parent), settings(settings), programVariant(variant)
{
    create();
    setModal(true);
}

void DownsamplingWindow::create()
{
    setWindowTitle(QStringLiteral("Downsampling"));
    setWindowIcon(DataFiles::icon("pack"));

    auto* layout = new QGridLayout(this);
    for (int r = 0; r < COMPONENTS; ++r) {
        auto* box = new QGroupBox(QString::fromLatin1(rowTitles[r]), this);
        box->setObjectName(QStringLiteral("componentBox%1").arg(r));
        auto* boxLayout = new QHBoxLayout(box);
        boxLayout->addWidget(factorGroup(QStringLiteral("Vertical"),
                                         QStringLiteral("vertical_%1_%2").arg(r),
                                         downsampling[r].vertical_buttons));
        boxLayout->addWidget(factorGroup(QStringLiteral("Horizontal"),
                                         QStringLiteral("horizontal_%1_%2").arg(r),
                                         downsampling[r].horizontal_buttons));
        if (r < handledRows())
            layout->addWidget(box, 0, r);
        else
            box->hide(); // built like the others, never shown in this program
    }

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    auto* okButton = new QPushButton(QStringLiteral("&Ok"));
    okButton->setObjectName(QStringLiteral("okButton"));
    auto* cancelButton = new QPushButton(QStringLiteral("&Cancel"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    buttonRow->addWidget(okButton);
    buttonRow->addWidget(cancelButton);
    layout->addLayout(buttonRow, 1, 0, 1, handledRows());
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(okButton, &QPushButton::clicked, this, &DownsamplingWindow::updateDataAndHide);
    connect(cancelButton, &QPushButton::clicked, this, &QWidget::hide);
}

int DownsamplingWindow::handledRows() const
{
    return programVariant == Variant::Interactive ? COMPONENTS : BATCH_VISIBLE_ROWS;
}

void DownsamplingWindow::setVisible(bool visible)
{
    if (visible && !isVisible() && settings)
        updateUI();
    QDialog::setVisible(visible);
}

void DownsamplingWindow::updateUI()
{
    if (!settings)
        return;
    for (int r = 0; r < handledRows(); ++r) {
        const JPEGSettings::Downsampling& factors = settings->downsampling[r];
        ComponentRow& row = downsampling[r];
        selectFactor(row.horizontal_buttons, factors.horizontal);
        selectFactor(row.vertical_buttons, factors.vertical);
        const bool editable = r < settings->getMaxQuantizationTables();
        for (int k = 0; k < FACTORS; ++k) {
            row.horizontal_buttons[k]->setEnabled(editable);
            row.vertical_buttons[k]->setEnabled(editable);
        }
    }
}

void DownsamplingWindow::updateData()
{
    if (!settings)
        return;
    for (int r = 0; r < handledRows(); ++r) {
        JPEGSettings::Downsampling& factors = settings->downsampling[r];
        if (const int h = selectedFactor(downsampling[r].horizontal_buttons))
            factors.horizontal = h;
        if (const int v = selectedFactor(downsampling[r].vertical_buttons))
            factors.vertical = v;
    }
}

bool DownsamplingWindow::isValid() const
{
    const int counted =
        settings ? std::clamp(settings->getMaxQuantizationTables(), 0, int(COMPONENTS)) : 0;
    int sum = 0;
    for (int i = 0; i < counted; ++i)
        sum += selectedFactor(downsampling[i].horizontal_buttons) *
               selectedFactor(downsampling[i].vertical_buttons);
    return sum <= MAX_BLOCKS_PER_MCU;
}

void DownsamplingWindow::updateEditables(bool) {}

void DownsamplingWindow::updateDataAndHide()
{
    if (!isValid()) {
        QMessageBox::critical(
            this, QStringLiteral("Error"),
            QStringLiteral("Downsampling settings must conform to expression SUMi (Hi*Vi)<=10"));
        return;
    }
    updateData();
    hide();
    if (programVariant == Variant::Batch)
        settings = nullptr;
}
