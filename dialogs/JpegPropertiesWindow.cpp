// SPDX-License-Identifier: GPL-3.0-or-later
#include "JpegPropertiesWindow.h"

#include "BitBreakdown.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

// "RGB (Adobe colour transform 0: none)", "YCbCr (JFIF)"...
QString colourSpaceText(const JpegFileInfo& info)
{
    QString why;
    if (info.components.size() == 1)
        why = QStringLiteral("one component");
    else if (info.jfif && info.components.size() == 3)
        why = QStringLiteral("JFIF");
    else if (info.adobeTransform >= 0)
        why = QStringLiteral("Adobe colour transform %1: %2")
                  .arg(info.adobeTransform)
                  .arg(info.adobeTransform == 0   ? QStringLiteral("none")
                       : info.adobeTransform == 1 ? QStringLiteral("YCbCr")
                       : info.adobeTransform == 2 ? QStringLiteral("YCCK")
                                                  : QStringLiteral("unknown"));
    else
        why = QStringLiteral("no JFIF or Adobe segment; from the component ids");
    return QStringLiteral("%1 (%2)").arg(info.colourSpaceName(), why);
}

QString tableGrid(const QuantizationTable& table)
{
    QString html = QStringLiteral("<table cellspacing=0 cellpadding=2 border=1>");
    for (unsigned row = 0; row < 8; ++row) {
        html += QStringLiteral("<tr>");
        for (unsigned column = 0; column < 8; ++column)
            html += QStringLiteral("<td align=right>%1</td>").arg(table[8 * row + column]);
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

// "… and N more" in an element of its own, for entries a list left out.
QString andMore(int omitted, const QString& element)
{
    if (omitted <= 0)
        return QString();
    return QStringLiteral("<%1>… and %2 more</%1>").arg(element).arg(omitted);
}

// The frame header: coding, size, precision, colours, scans, restarts.
QString frameHtml(const JpegFileInfo& info)
{
    QString html;
    html += QStringLiteral("<h3>Frame</h3><table cellpadding=2>");
    auto row = [&html](const QString& label, const QString& value) {
        html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(label, value);
    };
    row(QStringLiteral("Coding"), info.frameTypeName());
    row(QStringLiteral("Size"), QStringLiteral("%1 × %2 pixels").arg(info.width).arg(info.height));
    row(QStringLiteral("Precision"), QStringLiteral("%1 bits").arg(info.precision));
    row(QStringLiteral("Colour space"), colourSpaceText(info).toHtmlEscaped());
    row(QStringLiteral("Scans"), QString::number(info.scans));
    row(QStringLiteral("Restart interval"),
        info.restartInterval ? QStringLiteral("%1 MCUs").arg(info.restartInterval)
                             : QStringLiteral("none"));
    if (!info.warning.isEmpty())
        row(QStringLiteral("Warning"), info.warning.toHtmlEscaped());
    html += QStringLiteral("</table>");
    return html;
}

// The components: ids, sampling factors and tables.
QString componentsHtml(const JpegFileInfo& info)
{
    QString html;
    html += QStringLiteral("<h3>Components</h3><table cellpadding=2 border=1 cellspacing=0>"
                           "<tr><th>Component</th><th>Id</th><th>Sampling (H × V)</th>"
                           "<th>Table</th></tr>");
    for (std::size_t c = 0; c < info.components.size(); ++c) {
        const JpegFileInfo::Component& component = info.components[c];
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3 × %4</td><td>%5</td></tr>")
                    .arg(info.componentName(c))
                    .arg(component.id >= 0x20 && component.id < 0x7F
                             ? QStringLiteral("%1 (%2)").arg(component.id).arg(QChar(component.id))
                             : QString::number(component.id))
                    .arg(component.horizontal)
                    .arg(component.vertical)
                    .arg(component.table);
    }
    html += QStringLiteral("</table>");
    return html;
}

// The quantization tables, each as a grid.
QString quantizationHtml(const JpegFileInfo& info)
{
    QString html;
    html += QStringLiteral("<h3>Quantization tables</h3>");
    for (const JpegFileInfo::QuantizationTableInfo& table : info.quantizationTables) {
        html += QStringLiteral("<p><b>Slot %1</b> (%2-bit entries): %3</p>")
                    .arg(table.slot)
                    .arg(table.precision)
                    .arg(table.describe().toHtmlEscaped());
        html += tableGrid(table.table);
    }
    html += andMore(info.omittedQuantizationTables, QStringLiteral("p"));
    return html;
}

// The entropy coding: arithmetic, or the Huffman tables.
QString entropyHtml(const JpegFileInfo& info)
{
    QString html;
    html += QStringLiteral("<h3>Entropy coding</h3>");
    if (info.arithmetic) {
        html += QStringLiteral("<p>Arithmetic coding: no Huffman tables.</p>");
    } else {
        html += QStringLiteral("<p>Huffman tables: <b>%1</b></p><ul>")
                    .arg(info.standardHuffman() ? QStringLiteral("standard")
                                                : QStringLiteral("optimised"));
        for (const JpegFileInfo::HuffmanTableInfo& table : info.huffmanTables) {
            html +=
                QStringLiteral("<li>%1 %2: %3 codes, %4</li>")
                    .arg(table.ac ? QStringLiteral("AC") : QStringLiteral("DC"))
                    .arg(table.slot)
                    .arg(table.codes)
                    .arg(table.standard ? QStringLiteral("standard") : QStringLiteral("optimised"));
        }
        html += andMore(info.omittedHuffmanTables, QStringLiteral("li"));
        html += QStringLiteral("</ul>");
    }
    return html;
}

// The other segments: application data, comments.
QString metadataHtml(const JpegFileInfo& info)
{
    QString html;
    html += QStringLiteral("<h3>Metadata</h3>");
    if (info.segments.empty())
        html += QStringLiteral("<p>none</p>");
    else
        html += QStringLiteral("<ul>");
    for (const JpegFileInfo::Segment& segment : info.segments) {
        html += QStringLiteral("<li>%1: %2 bytes%3</li>")
                    .arg(segment.name.toHtmlEscaped())
                    .arg(segment.size)
                    .arg(segment.detail.isEmpty()
                             ? QString()
                             : QStringLiteral(" (%1)").arg(segment.detail.toHtmlEscaped()));
    }
    html += andMore(info.omittedSegments, QStringLiteral("li"));
    if (!info.segments.empty())
        html += QStringLiteral("</ul>");
    return html;
}

} // namespace

JpegPropertiesWindow::JpegPropertiesWindow(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("JPEG properties"));
    setObjectName(QStringLiteral("jpegPropertiesWindow"));
    auto* layout = new QVBoxLayout(this);
    browser = new QTextBrowser;
    browser->setObjectName(QStringLiteral("propertiesBrowser"));
    layout->addWidget(browser);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    useButton =
        buttons->addButton(QStringLiteral("Use these settings"), QDialogButtonBox::ApplyRole);
    useButton->setObjectName(QStringLiteral("useSettingsButton"));
    useButton->setToolTip(QStringLiteral("Copy the tables into the quantization editor and the "
                                         "sampling factors and mode into the tool window"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    connect(useButton, &QPushButton::clicked, this, &JpegPropertiesWindow::useSettingsRequested);
    resize(520, 640);
}

void JpegPropertiesWindow::setInfo(const JpegFileInfo& info, const QString& name)
{
    fileInfo = info;
    setWindowTitle(QStringLiteral("JPEG properties - %1").arg(name));
    browser->setHtml(describe(info));
    useButton->setEnabled(info.isValid());
}

void JpegPropertiesWindow::setBitCost(const JpegBitCost& cost)
{
    if (!fileInfo.isValid())
        return;
    browser->setHtml(describe(fileInfo) + QStringLiteral("<h3>Where the bytes go</h3>") +
                     BitBreakdown::html(cost));
}

QString JpegPropertiesWindow::describe(const JpegFileInfo& info)
{
    if (!info.isValid())
        return QStringLiteral("<p><b>This file cannot be read as a JPEG.</b></p><p>%1</p>")
            .arg(info.error.toHtmlEscaped());
    return frameHtml(info) + componentsHtml(info) + quantizationHtml(info) + entropyHtml(info) +
           metadataHtml(info);
}
