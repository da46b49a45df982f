// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResultWidget.h"

#include "BatchViewer.h"
#include "CompressionResult.h"
#include "DownsamplingWindow.h"
#include "Figures.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JPEGSettings.h"
#include "JpegFrame.h"
#include "QuantizationWindow.h"
#include "Report.h"
#include "SettingsEditor.h"
#include "TableCatalogue.h"
#include "WheelGuard.h"

#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

QString tablesTooltip()
{
    return QStringLiteral("Quantization tables the encoder writes, luminance / chrominance, named "
                          "as in the results table and the CSV: a table file's tables by the file "
                          "and their 0-based index there.");
}

// General format, six significant digits, C locale.
QString figure(double value)
{
    return QStringLiteral("%1").arg(value, 0, 'g', -1, QLatin1Char(' '));
}

// Whether two entries would compress alike: every field the encoder reads.
bool sameSettings(const JPEGSettings& a, const JPEGSettings& b)
{
    if (a.getCompressionMode() != b.getCompressionMode() || a.getDCTMethod() != b.getDCTMethod() ||
        a.getSmoothing() != b.getSmoothing() || a.getQuality() != b.getQuality() ||
        a.isProgressive() != b.isProgressive() || a.isInterleaved() != b.isInterleaved() ||
        a.getOptimizeHuffman() != b.getOptimizeHuffman() ||
        a.getGrayscaleOutput() != b.getGrayscaleOutput() ||
        a.isAutoQualityEnabled() != b.isAutoQualityEnabled() ||
        a.getMaxQuantizationTables() != b.getMaxQuantizationTables())
        return false;
    for (int i = 0; i < 4; ++i) {
        if (a.getCurrentQuantizationTables()[i] != b.getCurrentQuantizationTables()[i] ||
            a.qtables[i] != b.qtables[i] || a.downsampling[i] != b.downsampling[i])
            return false;
    }
    return true;
}

// Marks the panel busy while one of its dialogs runs.
class BusyScope
{
public:
    explicit BusyScope(bool& flag) : flag(flag) { flag = true; }
    ~BusyScope() { flag = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag;
};

} // namespace

ResultWidget::ResultWidget(ResultStat* stat, JPEGSettings* settings, QWidget* parent)
    : QWidget(parent), stat(stat), settings(settings), filePath(stat->fileName),
      compressed(*settings)
{
    create();
}

ResultWidget::~ResultWidget() = default;

void ResultWidget::setIndex(int index)
{
    numberLabel->setText(index >= 0 ? QString::number(index + 1) : QString());
}

void ResultWidget::setCatalogue(const TableCatalogue* names)
{
    catalogue = names;
    showTables();
}

void ResultWidget::setLabelTemplates(const QString& number, const QString& name,
                                     const QString& tables)
{
    numberLabel->setFixedWidth(numberLabel->fontMetrics().horizontalAdvance(number));
    const QFontMetrics metrics = fileLabel->fontMetrics();
    // Long names are cut in the middle; the tool tip has the whole path.
    // A pixel of slack: advances are rounded, and elision compares the
    // unrounded width.
    const int nameWidth =
        std::max(std::min(metrics.horizontalAdvance(name) + 1, 28 * metrics.averageCharWidth()),
                 metrics.averageCharWidth());
    fileLabel->setFixedWidth(nameWidth);
    fileLabel->setText(
        metrics.elidedText(Report::fileNamePart(filePath), Qt::ElideMiddle, nameWidth));
    tablesLabel->setFixedWidth(tablesLabel->fontMetrics().horizontalAdvance(tables) + 1);
    const QString times(QChar(0x00D7));
    const QString widestSampling =
        QStringLiteral("4") + times + QStringLiteral("4, 4") + times + QStringLiteral("4");
    samplingLabel->setFixedWidth(samplingLabel->fontMetrics().horizontalAdvance(widestSampling) +
                                 1);
    showTables();
}

void ResultWidget::create()
{
    setObjectName(QStringLiteral("resultWidget"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(createImageGroup(), 0, 0);
    editor = new SettingsEditor(SettingsEditor::Arrangement::Row, *settings, this);
    grid->addWidget(editor, 0, 1);
    grid->addWidget(createStats(), 0, 2);

    connect(showButton, &QPushButton::clicked, this, &ResultWidget::showImage);
    connect(editor, &SettingsEditor::edited, this, &ResultWidget::settingsEdited);
    connect(editor, &SettingsEditor::quantizationRequested, this,
            &ResultWidget::showQuantizationWindow);
    connect(editor, &SettingsEditor::downsamplingRequested, this,
            &ResultWidget::showDownsamplingWindow);
    // The list scrolls under the wheel; a field takes it only with the focus.
    WheelGuard::protect(this);
    showFigures();
    showTables();
}

// The number, the file, the tables and sampling the encoder applies, and
// the Show button.
QGroupBox* ResultWidget::createImageGroup()
{
    auto* imageGroup = new QGroupBox(QStringLiteral("Image"), this);
    imageGroup->setObjectName(QStringLiteral("imageGroup"));
    auto* imageLayout = new QGridLayout(imageGroup);
    numberLabel = new QLabel(imageGroup);
    numberLabel->setObjectName(QStringLiteral("numberLabel"));
    numberLabel->setToolTip(QStringLiteral("Row in the results and in the report"));
    numberLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont bold = numberLabel->font();
    bold.setBold(true);
    numberLabel->setFont(bold);
    fileLabel = new QLabel(Report::fileNamePart(filePath), imageGroup);
    fileLabel->setObjectName(QStringLiteral("fileLabel"));
    fileLabel->setToolTip(filePath);
    fileLabel->setTextFormat(Qt::PlainText);
    tablesLabel = new QLabel(imageGroup);
    tablesLabel->setObjectName(QStringLiteral("tablesLabel"));
    tablesLabel->setTextFormat(Qt::PlainText);
    showButton = new QPushButton(QStringLiteral("S&how"), imageGroup);
    showButton->setObjectName(QStringLiteral("showButton"));
    showButton->setToolTip(QStringLiteral("Original and compressed images"));
    samplingLabel = new QLabel(imageGroup);
    samplingLabel->setObjectName(QStringLiteral("samplingLabel"));
    samplingLabel->setTextFormat(Qt::PlainText);
    samplingLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    samplingLabel->setToolTip(
        QStringLiteral("Sampling factors the encoder applies, horizontal %1 vertical, of "
                       "components 0 (Y) and 1 (Cb)")
            .arg(QChar(0x00D7)));
    imageLayout->addWidget(numberLabel, 0, 0);
    imageLayout->addWidget(fileLabel, 0, 1);
    imageLayout->addWidget(tablesLabel, 1, 0, 1, 2);
    auto* showRow = new QHBoxLayout;
    showRow->addWidget(showButton);
    showRow->addStretch();
    showRow->addWidget(samplingLabel);
    imageLayout->addLayout(showRow, 2, 0, 1, 2);
    return imageGroup;
}

// The figures, named and defined as everywhere else.
QGroupBox* ResultWidget::createStats()
{
    auto* statsGroup = new QGroupBox(QStringLiteral("Stats"), this);
    statsGroup->setObjectName(QStringLiteral("statsGroup"));
    auto* statsLayout = new QGridLayout(statsGroup);
    // Room for the widest figure the general format gives, so panels keep
    // one width whatever their figures.
    const int valueWidth = fontMetrics().horizontalAdvance(QStringLiteral("-8.88888e+88"));
    const struct
    {
        Figure figure;
        const char* name;
        int row;
        int column;
        QLabel** value;
    } figures[] = {
        {Figure::CompressionRate, "cr", 0, 0, &crLabel},
        {Figure::CompressionPercentage, "cp", 0, 2, &cpLabel},
        {Figure::BitRate, "br", 1, 0, &brLabel},
        {Figure::MSE, "mse", 1, 2, &mseLabel},
        {Figure::PSNR, "psnr", 2, 0, &psnrLabel},
        {Figure::SSIM, "ssim", 2, 2, &ssimLabel},
        {Figure::SSIMULACRA2, "ssimulacra2", 3, 0, &ssimulacra2Label},
        {Figure::Butteraugli, "butteraugli", 3, 2, &butteraugliLabel},
    };
    for (const auto& f : figures) {
        const FigureInfo& info = Figures::info(f.figure);
        QString toolTip = QString::fromUtf8(info.definition);
        // The Butteraugli value shows the 3-norm beside the maximum.
        if (f.figure == Figure::Butteraugli)
            toolTip += QStringLiteral("<br>") +
                       QString::fromUtf8(Figures::info(Figure::Butteraugli3Norm).definition);
        auto* caption = new QLabel(QString::fromUtf8(info.name) + QStringLiteral(": "), statsGroup);
        caption->setObjectName(QLatin1String(f.name) + QLatin1String("TextLabel"));
        caption->setToolTip(toolTip);
        auto* value = new QLabel(statsGroup);
        value->setObjectName(QLatin1String(f.name) + QLatin1String("Label"));
        value->setToolTip(toolTip);
        value->setMinimumWidth(valueWidth);
        statsLayout->addWidget(caption, f.row, f.column);
        statsLayout->addWidget(value, f.row, f.column + 1);
        *f.value = value;
    }
    // In the Butteraugli value's place until it is measured.
    measure = new QPushButton(QStringLiteral("Measure"), statsGroup);
    measure->setObjectName(QStringLiteral("butteraugliMeasureButton"));
    measure->setToolTip(QStringLiteral("Recompress and measure SSIMULACRA 2 and the "
                                       "Butteraugli distances (maximum / 3-norm) now; takes "
                                       "a while"));
    connect(measure, &QPushButton::clicked, this, &ResultWidget::measureButteraugli);
    statsLayout->addWidget(measure, 3, 3);
    return statsGroup;
}

void ResultWidget::showFigures()
{
    crLabel->setText(figure(stat->compressionRate));
    cpLabel->setText(figure(stat->compressionPercentage));
    brLabel->setText(figure(stat->bitRate));
    mseLabel->setText(figure(stat->mse));
    psnrLabel->setText(Figures::screenText(Figure::PSNR, stat->psnr));
    ssimLabel->setText(Figures::screenText(Figure::SSIM, stat->ssim));
    const auto measuredText = [](Figure f, double value) {
        return std::isnan(value) ? QStringLiteral("not yet") : Figures::screenText(f, value);
    };
    ssimulacra2Label->setText(measuredText(Figure::SSIMULACRA2, stat->ssimulacra2));
    const bool measured = !std::isnan(stat->butteraugli);
    measure->setVisible(!measured);
    butteraugliLabel->setVisible(measured);
    butteraugliLabel->setText(
        !measured ? QString()
                  : QStringLiteral("%1 / %2").arg(
                        Figures::screenText(Figure::Butteraugli, stat->butteraugli),
                        Figures::screenText(Figure::Butteraugli3Norm, stat->butteraugli3Norm)));
}

void ResultWidget::measureButteraugli()
{
    const BusyScope scope(busy);
    std::unique_ptr<Image> image;
    std::unique_ptr<CompressionResult> result;
    if (!compress(image, result, QString()))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    stat->butteraugli = result->getButteraugli();
    stat->butteraugli3Norm = result->getButteraugli3Norm();
    QApplication::restoreOverrideCursor();
    showFigures();
    emit resultChanged();
}

Qt::CheckState ResultWidget::progressiveBoxState() const
{
    return editor->progressiveBoxState();
}

void ResultWidget::restoreProgressiveBox(Qt::CheckState state)
{
    editor->restoreProgressiveBox(state);
}

void ResultWidget::setDCTMethod(const QString& text)
{
    editor->setDCTMethod(text);
}

void ResultWidget::showQuantizationWindow()
{
    const BusyScope scope(busy);
    std::unique_ptr<QuantizationWindow> window(new QuantizationWindow(this));
    window->setSettings(settings);
    window->updateEditables(false);
    window->updateUI();
    window->exec();
    window.reset();
    editor->showDerived();
    settingsEdited();
}

void ResultWidget::showDownsamplingWindow()
{
    const BusyScope scope(busy);
    std::unique_ptr<DownsamplingWindow> window(new DownsamplingWindow(this));
    window->setSettings(settings);
    window->updateEditables(false);
    window->updateUI();
    window->exec();
    window.reset();
    editor->showDerived();
    settingsEdited();
}

void ResultWidget::showError(const QString& message)
{
    QMessageBox::critical(this, QStringLiteral("Error"), message, QMessageBox::Ok);
}

void ResultWidget::showTables()
{
    // An edit may give a longer name than the run's widest: cut short, with
    // the whole text in the tool tip.
    const QString text = catalogue ? catalogue->describe(*settings) : QString();
    const bool sized = tablesLabel->maximumWidth() < QWIDGETSIZE_MAX;
    tablesLabel->setText(sized ? tablesLabel->fontMetrics().elidedText(text, Qt::ElideRight,
                                                                       tablesLabel->maximumWidth())
                               : text);
    tablesLabel->setToolTip(tablesTooltip() + QStringLiteral("\n\n") + text);
    samplingLabel->setText(TableCatalogue::sampling(*settings));
}

bool ResultWidget::compress(std::unique_ptr<Image>& image,
                            std::unique_ptr<CompressionResult>& result, const QString& failureNote)
{
    const QString path = filePath.toHtmlEscaped();
    const QString note = failureNote.isEmpty() ? QString() : QStringLiteral("<br>") + failureNote;
    try {
        image.reset(new Image(QFile::encodeName(filePath).toStdString()));
        if (!image->getRGB24Buffer()) {
            QString message = QStringLiteral("Couldn't load the picture<br>%1").arg(path);
            if (!image->getLoadMessage().isEmpty())
                message += QStringLiteral("<br>") + image->getLoadMessage().toHtmlEscaped();
            showError(message + note);
            return false;
        }
        JPEGCompressor compressor;
        *compressor.getSettings() = *settings;
        compressor.setImage(image.get());
        result.reset(compressor.compressImage());
        if (!result) {
            showError(QStringLiteral("Couldn't compress the picture<br>%1<br>%2")
                          .arg(path, compressor.lastError().toHtmlEscaped()) +
                      note);
            return false;
        }
    } catch (const std::bad_alloc&) {
        result.reset();
        image.reset();
        showError(QStringLiteral("Not enough memory to compress the picture<br>%1").arg(path) +
                  note);
        return false;
    }

    stat->mse = result->getMSE();
    stat->compressionPercentage = result->getCompressionPercentage();
    stat->compressionRate = result->getCompressionRate();
    stat->bitRate = result->getBitRate();
    stat->fileName = result->getFileName();
    // The file is another one now: its size and sampling as written; this
    // compression is not timed.
    stat->jpegBytes = (unsigned long long)result->getCompressedSize();
    stat->sampling = JpegFrame::sampling(result->getCompressedBytes());
    stat->encodeMs = stat->decodeMs = std::nan("");
    compressed = *settings;
    // The quality figures too, every one: the viewer measures them anyway.
    FigureSet wanted = FigureSet::standard();
    wanted.insert(Figure::SSIMULACRA2);
    const ResultStat measured(*result, wanted);
    stat->psnr = measured.psnr;
    stat->psnrY = measured.psnrY;
    stat->psnrCb = measured.psnrCb;
    stat->psnrCr = measured.psnrCr;
    stat->ssim = measured.ssim;
    stat->msSsim = measured.msSsim;
    stat->ssimulacra2 = measured.ssimulacra2;
    showFigures();
    showTables();
    return true;
}

void ResultWidget::settingsEdited()
{
    if (sameSettings(*settings, compressed))
        return;
    const BusyScope scope(busy);
    std::unique_ptr<Image> image;
    std::unique_ptr<CompressionResult> result;
    if (compress(image, result,
                 QStringLiteral("The settings are back as they were, beside their figures."))) {
        emit resultChanged();
        return;
    }
    *settings = compressed;
    editor->showSettings();
    showTables();
}

void ResultWidget::showImage()
{
    showImageIf({});
}

void ResultWidget::showImageIf(const std::function<bool(const CompressionResult&)>& proceed)
{
    const BusyScope scope(busy);
    const bool edited = !sameSettings(*settings, compressed);
    std::unique_ptr<Image> image;
    std::unique_ptr<CompressionResult> result;
    if (!compress(image, result, QString()) || (proceed && !proceed(*result)))
        return;
    if (edited)
        emit resultChanged();

    try {
        // The viewer wraps the pictures' buffers: it goes before they do.
        const std::unique_ptr<BatchViewer> viewer(new BatchViewer(this));
        viewer->setModal(true);
        // A large window that the screen holds whole.
        if (const QScreen* screen = viewer->screen()) {
            const QRect room = screen->availableGeometry();
            viewer->resize(std::min(1100, room.width() * 9 / 10),
                           std::min(760, room.height() * 9 / 10));
            viewer->move(room.left() + (room.width() - viewer->width()) / 2,
                         room.top() + (room.height() - viewer->height()) / 2);
        }
        viewer->updateImage(image.get());
        viewer->updateCompressed(result.get());
        viewer->exec();
    } catch (const std::bad_alloc&) {
        showError(QStringLiteral("Not enough memory to show the pictures<br>%1")
                      .arg(filePath.toHtmlEscaped()));
    }
}
