// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuantizationChooser.h"

#include "BatchSettings.h"
#include "DataIcons.h"
#include "Preferences.h"
#include "QuantizationTableFiles.h"

#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

QuantizationChooser::QuantizationChooser() : QDialog(nullptr)
{
    create();
}

void QuantizationChooser::create()
{
    setWindowTitle(QStringLiteral("Quantization"));
    setWindowIcon(DataFiles::icon("pack"));

    luminanceButton = new QPushButton(QStringLiteral("&Luminance"), this);
    chrominanceButton = new QPushButton(QStringLiteral("C&hrominance"), this);
    okButton = new QPushButton(QStringLiteral("&Ok"), this);
    cancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
    for (auto*& label : fileLabels) {
        label = new QLabel(this);
        // A file name is shown as it is spelt, markup or not.
        label->setTextFormat(Qt::PlainText);
    }

    auto* layout = new QGridLayout(this);
    layout->addWidget(luminanceButton, 0, 0);
    layout->addWidget(fileLabels[0], 1, 0);
    layout->addWidget(chrominanceButton, 0, 1);
    layout->addWidget(fileLabels[1], 1, 1);
    layout->addWidget(okButton, 3, 0);
    layout->addWidget(cancelButton, 3, 1);

    connect(luminanceButton, &QPushButton::clicked, this, &QuantizationChooser::setFirst);
    connect(chrominanceButton, &QPushButton::clicked, this, &QuantizationChooser::setSecond);
    connect(okButton, &QPushButton::clicked, this, &QuantizationChooser::updateAndHide);
    connect(cancelButton, &QPushButton::clicked, this, &QuantizationChooser::hide);
}

QString QuantizationChooser::askForTableFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open table"), Preferences::startFolder(Preferences::Folder::Tables),
        QStringLiteral("Text files (*.txt);;All files (*)"));
    Preferences::rememberFolder(Preferences::Folder::Tables, path);
    return path;
}

void QuantizationChooser::setFileName(int index, const QString& path)
{
    fileNames[index] = path;
    fileLabels[index]->setText(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
}

QString QuantizationChooser::getFileLabel(int index) const
{
    return fileLabels[index]->text();
}

void QuantizationChooser::setFirst()
{
    setFileName(0, askForTableFile());
}

void QuantizationChooser::setSecond()
{
    setFileName(1, askForTableFile());
}

void QuantizationChooser::updateAndHide()
{
    if (settings) {
        std::vector<QuantizationTable>* lists[2] = {&settings->luminanceTables,
                                                    &settings->chrominanceTables};
        for (int i = 0; i < 2; ++i) {
            // No choice keeps the list; a file without a complete table
            // empties it.
            if (fileNames[i].isEmpty())
                continue;
            bool capped = false;
            *lists[i] = readQTables(QFile::encodeName(fileNames[i]).toStdString(), &capped);
            if (capped)
                QMessageBox::warning(this, QStringLiteral("Warning"),
                                     QStringLiteral("Only the first %1 tables of %2 were read.")
                                         .arg(lists[i]->size())
                                         .arg(fileNames[i])
                                         .toHtmlEscaped());
        }
    }
    hide();
}
