// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JpegBitCost.h"
#include "JpegFileInfo.h"

#include <QDialog>

class QPushButton;
class QTextBrowser;

// What an existing JPEG file holds and how it was made: frame, components
// and sampling, quantization tables in natural order with the quality they
// correspond to, Huffman tables, restart interval and metadata segments.
// "Use these settings" asks the owner to copy the file's settings into its
// record (JpegFileInfo::copySettingsTo); the dialog itself changes nothing.
class JpegPropertiesWindow : public QDialog
{
    Q_OBJECT

public:
    explicit JpegPropertiesWindow(QWidget* parent = nullptr);

    // Shows `info` of the file `name`; a refused file shows its error and
    // disables "Use these settings".
    void setInfo(const JpegFileInfo& info, const QString& name);
    const JpegFileInfo& info() const { return fileInfo; }
    // Adds where the bytes of the file shown go (BitBreakdown) below its
    // description, until the next setInfo().
    void setBitCost(const JpegBitCost& cost);

    // The description as HTML, as the dialog shows it.
    static QString describe(const JpegFileInfo& info);

signals:
    void useSettingsRequested();

private:
    JpegFileInfo fileInfo;
    QTextBrowser* browser = nullptr;
    QPushButton* useButton = nullptr;
};
