// SPDX-License-Identifier: GPL-3.0-or-later
// The result viewer in both variants: contents, the state table, the views,
// zoom and rotation, the figures, "Save as", and closing.

#include "BatchViewer.h"
#include "BitsMap.h"
#include "BlockInspector.h"
#include "CompressionResult.h"
#include "Figures.h"
#include "Image.h"
#include "ImagePane.h"
#include "ImageWidget.h"
#include "JPEGCompressor.h"
#include "PictureViewer.h"
#include "PixelReadout.h"
#include "SaveJpeg.h"
#include "TestPictures.h"
#include "ViewerTestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

using namespace ViewerTest;

namespace {

// The viewer's grid, inside the scroll area that fills the window.
QGridLayout* viewerGrid(const PictureViewer& window)
{
    const auto* content = window.findChild<QWidget*>(QStringLiteral("viewerContent"));
    return content ? qobject_cast<QGridLayout*>(content->layout()) : nullptr;
}

const char* const viewButtons[] = {
    "imageButton", "colorDifferenceButton", "errorsButton",   "yButton", "cbButton",
    "crButton",    "ssimMapButton",         "amplifiedButton"};
const char* const zoomButtons[] = {"zoomInButton", "zoomResetButton", "zoomOutButton"};
const char* const valueLabels[] = {"crLabel",        "cpLabel",         "brLabel",
                                   "mseLabel",       "psnrLabel",       "psnrYLabel",
                                   "psnrCbLabel",    "psnrCrLabel",     "ssimLabel",
                                   "msSsimLabel",    "sourceSizeLabel", "compressedSizeLabel",
                                   "dimensionsLabel"};

QPushButton* button(const QWidget& window, const char* name)
{
    return window.findChild<QPushButton*>(QLatin1String(name));
}

QLabel* label(const QWidget& window, const char* name)
{
    return window.findChild<QLabel*>(QLatin1String(name));
}

QString text(const QWidget& window, const char* name)
{
    return label(window, name)->text();
}

ImageWidget* pane(const QWidget& window, const char* name)
{
    return window.findChild<ImageWidget*>(QLatin1String(name));
}

ImageWidget* left(const QWidget& window)
{
    return pane(window, "sourceImage");
}
ImageWidget* right(const QWidget& window)
{
    return pane(window, "processedImage");
}

const void* shownBuffer(const ImageWidget* widget)
{
    return widget->getQImage().isNull() ? nullptr : widget->getQImage().constBits();
}

QAction* saveAsAction(const QWidget& window)
{
    return window.findChild<QAction*>(QStringLiteral("saveAsAction"));
}

bool anyEnabled(const QWidget& window, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (button(window, name)->isEnabled())
            return true;
    return false;
}

bool viewButtonsEnabled(const QWidget& window, bool enabled)
{
    for (const char* name : viewButtons)
        if (button(window, name)->isEnabled() != enabled)
            return false;
    return true;
}

bool zoomWidgetsEnabled(const QWidget& window, bool enabled)
{
    for (const char* name : zoomButtons)
        if (button(window, name)->isEnabled() != enabled)
            return false;
    return label(window, "zoomLabel")->isEnabled() == enabled;
}

bool figuresEmpty(const QWidget& window)
{
    for (const char* name : valueLabels)
        if (QLabel* value = label(window, name); value && !value->text().isEmpty())
            return false;
    return true;
}

void wheel(QWidget& window, int delta, bool* accepted = nullptr)
{
    QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&window, &event);
    if (accepted)
        *accepted = event.isAccepted();
}

ImagePane* area(const QWidget& window, const char* name)
{
    return window.findChild<ImagePane*>(QLatin1String(name));
}

QToolButton* toolButton(const QWidget& window, const char* name)
{
    return window.findChild<QToolButton*>(QLatin1String(name));
}

// The picture point at the centre of a pane's view.
QPointF centreOf(const ImagePane* pane)
{
    return pane->pictureAt(pane->viewportCentre());
}

// Two picture points within a screen pixel of each other at `zoom`.
bool samePlace(const QPointF& a, const QPointF& b, float zoom)
{
    const QPointF d = a - b;
    return std::abs(d.x()) <= 1.01 / zoom && std::abs(d.y()) <= 1.01 / zoom;
}

// A compression of a width x height test picture with the luma sampled
// `horizontal` x `vertical` times as densely as the colours.
std::unique_ptr<CompressionResult> compressSampled(Image& source, int horizontal, int vertical)
{
    JPEGCompressor compressor;
    compressor.setImage(&source);
    compressor.getSettings()->downsampling[0].horizontal = horizontal;
    compressor.getSettings()->downsampling[0].vertical = vertical;
    return std::unique_ptr<CompressionResult>(compressor.compressImage());
}

void mouse(QWidget* widget, QEvent::Type type, const QPointF& at)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The "Error" box a failed save shows, answered with its one button.
struct SeenBox
{
    int count = 0;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

std::unique_ptr<ModalHandler> answerBoxes(SeenBox& seen)
{
    return std::make_unique<ModalHandler>([&seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            modal->close();
            return;
        }
        ++seen.count;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
}

} // namespace

class TestPictureViewer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void batchContents();
    void interactiveContents();
    void buttonsAndCells_data();
    void buttonsAndCells();
    void figureCaptionsAndCells();

    void emptyState();
    void pictureState();
    void resultState();
    void errorViews();
    void nullResultReturnsToPictureState();
    void nullPictureReturnsToEmptyState();
    void newPictureAfterResultResetsEverything();

    void viewsShowTheResultsBuffers();
    void viewsKeepTheZoom();
    void viewsDoNothingWithoutResult();
    void newResultKeepsTheZoom();
    void resultWithoutDecodedPicture();
    void resultWithoutMaps();

    void zoomOutStopsAtLowestZoom();
    void zoomInStopsAt3200();
    void zoomResetShowsHundred();
    void wheelZooms();
    void wheelZoomsWithZoomButtonsDisabled();
    void rotateTwiceRestores();
    void linkedPanesStayInStep();
    void checkedViewAndCaptions();
    void pixelReadout();
    void bitsViewShowsTheCostOfEachBlock();
    void bitsViewOfAnOpenedJpegFile();
    void gridFollowsTheSampling();
    void splitViewDividerDrags();
    void inspectedBlockIsOutlinedAndFollowed();

    void numberFormats();
    void interactiveFigures();

    void jpegNames_data();
    void jpegNames();
    void saveWritesTheResultsJpeg();
    void saveOverwrites();
    void failedSaveShowsError_data();
    void failedSaveShowsError();
    void saveAsDialog();
    void saveAsDialogCancelled();
    void saveAsAsksAboutTheFinalName();

    void batchClosing();
    void quitEntryClosesOnlyTheViewer();
    void interactiveClosingQuits();
    void interactiveIgnoresEscape();

private:
    std::unique_ptr<ScratchDir> scratch;
};

void TestPictureViewer::init()
{
    scratch = std::make_unique<ScratchDir>();
}
void TestPictureViewer::cleanup()
{
    scratch.reset();
}

void TestPictureViewer::batchContents()
{
    BatchViewer window(nullptr);
    QCOMPARE(window.variant(), Variant::Batch);
    QCOMPARE(window.windowTitle(), QStringLiteral("Images"));
    QCOMPARE(window.size(), QSize(400, 300));
    QCOMPARE(window.windowType(), Qt::Dialog);
    QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(window.windowFlags() & Qt::WindowMaximizeButtonHint);

    QVERIFY(viewerGrid(window));
    auto* menuBar = qobject_cast<QMenuBar*>(window.layout()->menuBar());
    QVERIFY(menuBar);
    const QList<QAction*> menus = menuBar->actions();
    QCOMPARE(menus.size(), 1);
    QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
    const QList<QAction*> entries = menus[0]->menu()->actions();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries[0]->text(), QStringLiteral("Save &as"));
    QCOMPARE(entries[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    QCOMPARE(entries[0], saveAsAction(window));
    QVERIFY(entries[1]->isSeparator());
    QCOMPARE(entries[2]->text(), QStringLiteral("&Quit"));
    QCOMPARE(entries[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

    QVERIFY(label(window, "mseTextLabel"));
    QVERIFY(label(window, "mseLabel"));
}

void TestPictureViewer::interactiveContents()
{
    JPEGCompressor compressor;
    PictureViewer window(Variant::Interactive);
    QCOMPARE(window.variant(), Variant::Interactive);
    QCOMPARE(window.windowTitle(), QStringLiteral("Images"));
    QCOMPARE(window.windowType(), Qt::Window);
    QVERIFY(viewerGrid(window));
    QVERIFY(!window.layout()->menuBar());
    QVERIFY(!window.findChild<QMenuBar*>());
    QVERIFY(!saveAsAction(window));
    // The figures are those of the batch viewer, MSE included.
    for (const char* name : valueLabels)
        QVERIFY(label(window, name));
}

void TestPictureViewer::buttonsAndCells_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QList<int>>("cell");
    auto row = [](const char* name, const char* tip, const char* icon, QList<int> cell) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(tip)
                            << QString::fromLatin1(icon) << cell;
    };
    row("rotateButton", "Rotate", "rotate", {5, 7, 2, 1});
    row("imageButton", "Compressed image", "image", {5, 8, 2, 1});
    row("colorDifferenceButton", "Color difference", "color_diff", {5, 9, 2, 1});
    row("errorsButton", "Compression errors", "error", {5, 10, 2, 1});
    row("yButton", "Luminance Y", "y", {5, 11, 2, 1});
    row("cbButton", "Chrominance Cb", "cb", {5, 12, 2, 1});
    row("crButton", "Chrominance Cr", "cr", {5, 13, 2, 1});
    row("ssimMapButton", "SSIM map: local structural similarity of luma", "ssim_map",
        {5, 14, 2, 1});
    row("butteraugliButton",
        "Butteraugli map: perceptual distance at every pixel (slow: measured on first view)",
        "butteraugli_map", {5, 15, 2, 1});
    row("amplifiedButton", "Amplified difference: |source - compressed| times the gain",
        "amplified", {5, 16, 2, 1});
    row("bitsButton", "Bits: how many bits of the JPEG each 8 \u00d7 8 block cost", "bits",
        {5, 17, 2, 1});
    row("zoomInButton", "Zoom in", "zoom_in", {2, 15, 1, 1});
    row("zoomResetButton", "Reset zoom", "zoom_reset", {3, 15, 1, 1});
    row("zoomOutButton", "Zoom out", "zoom_out", {4, 15, 1, 1});
}

void TestPictureViewer::buttonsAndCells()
{
    QFETCH(QString, name);
    QFETCH(QString, toolTip);
    QFETCH(QString, icon);
    QFETCH(QList<int>, cell);
    // The icons are read from ./img/ of the working directory.
    QDir().mkdir(QStringLiteral("img"));
    QImage picture(28, 28, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(QStringLiteral("img/%1.png").arg(icon)));

    JPEGCompressor compressor;
    BatchViewer batch(nullptr);
    PictureViewer interactive(Variant::Interactive);
    for (PictureViewer* window : {static_cast<PictureViewer*>(&batch), &interactive}) {
        QPushButton* found = button(*window, name.toLatin1().constData());
        QVERIFY(found);
        QCOMPARE(found->toolTip(), toolTip);
        QVERIFY(found->text().isEmpty());
        QCOMPARE(found->minimumSize(), QSize(28, 28));
        QCOMPARE(found->maximumSize(), QSize(28, 28));
        QVERIFY(!found->icon().pixmap(28, 28).isNull());
        QGridLayout* grid = viewerGrid(*window);
        int r, c, rs, cs;
        grid->getItemPosition(grid->indexOf(found), &r, &c, &rs, &cs);
        QCOMPARE((QList<int>{r, c, rs, cs}), cell);
    }
}

void TestPictureViewer::figureCaptionsAndCells()
{
    // Named and explained as Figures names them, the value as its caption.
    const struct
    {
        const char* name;
        const char* caption;
        ::Figure figure;
        int row, column;
    } figures[] = {
        {"cr", "<B>CR: ", ::Figure::CompressionRate, 5, 0},
        {"cp", "<B>CP: ", ::Figure::CompressionPercentage, 5, 2},
        {"br", "<B>BR: ", ::Figure::BitRate, 6, 0},
        {"mse", "<B>MSE: ", ::Figure::MSE, 6, 2},
    };
    QCOMPARE(QString::fromUtf8(Figures::info(::Figure::CompressionRate).definition),
             QStringLiteral("<b>Compression rate</b>: source size / compressed size"));
    BatchViewer window(nullptr);
    QGridLayout* grid = viewerGrid(window);
    for (const auto& figure : figures) {
        const QByteArray name(figure.name);
        QLabel* caption = label(window, (name + "TextLabel").constData());
        QLabel* value = label(window, (name + "Label").constData());
        QVERIFY(caption && value);
        QCOMPARE(caption->text(), QString::fromLatin1(figure.caption));
        const QString toolTip = QString::fromUtf8(Figures::info(figure.figure).definition);
        QCOMPARE(caption->toolTip(), toolTip);
        QCOMPARE(value->toolTip(), toolTip);
        QCOMPARE(grid->itemAtPosition(figure.row, figure.column)->widget(), caption);
        QCOMPARE(grid->itemAtPosition(figure.row, figure.column + 1)->widget(), value);
    }
    QCOMPARE(grid->itemAtPosition(0, 0)->widget(), window.findChild<QSplitter*>());
    QCOMPARE(grid->itemAtPosition(1, 15)->widget(), label(window, "zoomLabel"));
    QCOMPARE(grid->rowStretch(0), 1);
    QCOMPARE(grid->columnStretch(4), 1);
    QCOMPARE(grid->rowStretch(1), 0);
    QCOMPARE(grid->columnStretch(0), 0);
}

void TestPictureViewer::emptyState()
{
    JPEGCompressor compressor;
    BatchViewer batch(nullptr);
    PictureViewer interactive(Variant::Interactive);
    for (PictureViewer* window : {static_cast<PictureViewer*>(&batch), &interactive}) {
        QVERIFY(button(*window, "rotateButton")->isEnabled());
        QVERIFY(viewButtonsEnabled(*window, false));
        QVERIFY(zoomWidgetsEnabled(*window, false));
        QVERIFY(text(*window, "zoomLabel").isEmpty());
        QVERIFY(figuresEmpty(*window));
        QVERIFY(left(*window)->getQImage().isNull());
        QVERIFY(right(*window)->getQImage().isNull());
        QCOMPARE(left(*window)->getZoomFactor(), 1.0f);
        QCOMPARE(right(*window)->getZoomFactor(), 1.0f);
    }
    QVERIFY(!saveAsAction(batch)->isEnabled());
}

void TestPictureViewer::pictureState()
{
    Compression made = compress(QStringLiteral("source.png"), 100, 80);
    QVERIFY(made.result);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    QCOMPARE(shownBuffer(left(window)), made.source->getRGB32Buffer());
    QCOMPARE(left(window)->getQImage().size(), QSize(100, 80));
    QCOMPARE(left(window)->getQImage().format(), QImage::Format_RGB32);
    QCOMPARE(left(window)->size(), QSize(101, 81));
    QVERIFY(right(window)->getQImage().isNull());
    QCOMPARE(right(window)->getZoomFactor(), 1.0f);
    QVERIFY(zoomWidgetsEnabled(window, true));
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("100%"));
    QVERIFY(viewButtonsEnabled(window, false));
    QVERIFY(figuresEmpty(window));
    QVERIFY(!saveAsAction(window)->isEnabled());
}

void TestPictureViewer::resultState()
{
    Compression made = compress(QStringLiteral("source.png"), 100, 80);
    QVERIFY(made.result);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    QCOMPARE(shownBuffer(left(window)), made.source->getRGB32Buffer());
    QCOMPARE(shownBuffer(right(window)), made.result->getCompressedImage()->getRGB32Buffer());
    QCOMPARE(right(window)->getQImage().size(), QSize(100, 80));
    QVERIFY(viewButtonsEnabled(window, true));
    QVERIFY(zoomWidgetsEnabled(window, true));
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("100%"));
    QVERIFY(saveAsAction(window)->isEnabled());
    const QString number = QStringLiteral("%1");
    QCOMPARE(text(window, "crLabel"), number.arg(made.result->getCompressionRate()));
    QCOMPARE(text(window, "cpLabel"), number.arg(made.result->getCompressionPercentage()) + "%");
    QCOMPARE(text(window, "brLabel"), number.arg(made.result->getBitRate()) + " bpp");
    QCOMPARE(text(window, "mseLabel"), number.arg(made.result->getMSE()));
    QVERIFY(made.result->getMSE() > 0);
    // The figures panel: a 100 x 80 picture has SSIM but no MS-SSIM.
    QCOMPARE(text(window, "psnrLabel"),
             QStringLiteral("%1 dB").arg(made.result->getPSNR(), 0, 'f', 2));
    QCOMPARE(text(window, "psnrCrLabel"),
             QStringLiteral("%1 dB").arg(made.result->getPSNR_Cr(), 0, 'f', 2));
    QCOMPARE(text(window, "ssimLabel"), QString::number(made.result->getSSIM(), 'f', 4));
    QVERIFY(made.result->getSSIM() > 0.5 && made.result->getSSIM() < 1);
    QCOMPARE(text(window, "msSsimLabel"), QStringLiteral("n/a"));
    QCOMPARE(text(window, "sourceSizeLabel"),
             QStringLiteral("%1 bytes").arg(made.source->getImageSize()));
    QCOMPARE(text(window, "compressedSizeLabel"),
             QStringLiteral("%1 bytes").arg(made.result->getCompressedImage()->getImageSize()));
    QCOMPARE(text(window, "dimensionsLabel"), QStringLiteral("100 \u00d7 80"));
}

// The SSIM map with its colour scale, and the amplified difference at the
// gain chosen; the pane shows the result's own buffers.
void TestPictureViewer::errorViews()
{
    Compression made = compress(QStringLiteral("source.png"), 100, 80);
    JPEGCompressor compressor;
    PictureViewer window(Variant::Interactive);
    window.show();
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    auto* legend = label(window, "ssimLegend");
    QVERIFY(legend && !legend->isVisible());

    button(window, "ssimMapButton")->click();
    QCOMPARE(shownBuffer(right(window)), made.result->getSSIMMap());
    QCOMPARE(right(window)->getQImage().pixel(0, 0), 0xff808080u);
    QVERIFY(legend->isVisible());

    // The Butteraugli distances wait to be asked for; the map view measures
    // them, shows its own scale and the figures.
    QCOMPARE(text(window, "butteraugliLabel"), QStringLiteral("not yet"));
    QVERIFY(!made.result->hasButteraugli());
    auto* distanceLegend = label(window, "butteraugliLegend");
    QVERIFY(distanceLegend && !distanceLegend->isVisible());
    button(window, "butteraugliButton")->click();
    QCOMPARE(shownBuffer(right(window)), made.result->getButteraugliMap());
    QVERIFY(distanceLegend->isVisible() && !legend->isVisible());
    QCOMPARE(text(window, "butteraugliLabel"),
             Figures::screenText(Figure::Butteraugli, made.result->getButteraugli()));
    QVERIFY(made.result->getButteraugli() > 0);

    auto* gain = window.findChild<QComboBox*>(QStringLiteral("gainCombo"));
    QVERIFY(gain);
    QCOMPARE(gain->currentData().toInt(), 8);
    button(window, "amplifiedButton")->click();
    QVERIFY(!legend->isVisible() && !distanceLegend->isVisible());
    QCOMPARE(shownBuffer(right(window)), made.result->getAmplifiedDifference(8));
    // Choosing a gain shows the difference at that gain.
    button(window, "imageButton")->click();
    gain->activated(gain->findData(32));
    const QImage shown = right(window)->getQImage();
    const QRgb a =
        QImage(made.source->getRGB32Buffer(), 100, 80, QImage::Format_RGB32).pixel(37, 41);
    const QRgb b =
        QImage(made.result->getCompressedImage()->getRGB32Buffer(), 100, 80, QImage::Format_RGB32)
            .pixel(37, 41);
    const int red = std::min(255, std::abs(qRed(a) - qRed(b)) * 32);
    QCOMPARE(qRed(shown.pixel(37, 41)), red);
    QCOMPARE(gain->currentData().toInt(), 32);
}

void TestPictureViewer::nullResultReturnsToPictureState()
{
    Compression made = compress(QStringLiteral("source.png"), 100, 80);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.zoomIn();
    window.updateCompressed(made.result.get());
    window.updateCompressed(nullptr);
    QVERIFY(right(window)->getQImage().isNull());
    QVERIFY(viewButtonsEnabled(window, false));
    QVERIFY(figuresEmpty(window));
    QVERIFY(!saveAsAction(window)->isEnabled());
    // The zoom is not reset.
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("125%"));
    QCOMPARE(left(window)->getZoomFactor(), 1.25f);
    QCOMPARE(right(window)->getZoomFactor(), 1.25f);
    QCOMPARE(shownBuffer(left(window)), made.source->getRGB32Buffer());
}

void TestPictureViewer::nullPictureReturnsToEmptyState()
{
    Compression made = compress(QStringLiteral("source.png"), 100, 80);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    window.zoomIn();
    window.updateImage(nullptr);
    QVERIFY(left(window)->getQImage().isNull());
    QVERIFY(right(window)->getQImage().isNull());
    QVERIFY(zoomWidgetsEnabled(window, false));
    QVERIFY(viewButtonsEnabled(window, false));
    QVERIFY(figuresEmpty(window));
    QVERIFY(!saveAsAction(window)->isEnabled());
    QCOMPARE(left(window)->getZoomFactor(), 1.0f);
    QCOMPARE(right(window)->getZoomFactor(), 1.0f);
    QCOMPARE(left(window)->size(), QSize(1, 1));
}

void TestPictureViewer::newPictureAfterResultResetsEverything()
{
    Compression first = compress(QStringLiteral("first.png"), 100, 80);
    Compression second = compress(QStringLiteral("second.png"), 60, 40);
    JPEGCompressor compressor;
    BatchViewer batch(nullptr);
    PictureViewer interactive(Variant::Interactive);
    for (PictureViewer* window : {static_cast<PictureViewer*>(&batch), &interactive}) {
        window->updateImage(first.source.get());
        window->updateCompressed(first.result.get());
        window->zoomIn();
        window->zoomIn();
        window->showView(PictureViewer::View::Y);
        window->updateImage(second.source.get());
        QCOMPARE(left(*window)->getZoomFactor(), 1.0f);
        QCOMPARE(right(*window)->getZoomFactor(), 1.0f);
        QCOMPARE(text(*window, "zoomLabel"), QStringLiteral("100%"));
        QCOMPARE(shownBuffer(left(*window)), second.source->getRGB32Buffer());
        QCOMPARE(left(*window)->size(), QSize(61, 41));
        QVERIFY(right(*window)->getQImage().isNull());
        QVERIFY(figuresEmpty(*window));
        QVERIFY(viewButtonsEnabled(*window, false));
        // The old result is not looked at again, whatever slot is called.
        window->showView(PictureViewer::View::Compressed);
        window->showView(PictureViewer::View::Errors);
        window->showView(PictureViewer::View::Y);
        QVERIFY(right(*window)->getQImage().isNull());
    }
    QVERIFY(!saveAsAction(batch)->isEnabled());
}

void TestPictureViewer::viewsShowTheResultsBuffers()
{
    Compression made = compress(QStringLiteral("source.png"), 64, 48);
    CompressionResult& result = *made.result;
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(&result);

    const struct
    {
        PictureViewer::View view;
        const unsigned char* buffer;
    } views[] = {
        {PictureViewer::View::Errors, result.getErrors()},
        {PictureViewer::View::ColourDifference, result.getColorDifference()},
        {PictureViewer::View::Y, result.getY_RGB32()},
        {PictureViewer::View::Cb, result.getCB_RGB32()},
        {PictureViewer::View::Cr, result.getCR_RGB32()},
        {PictureViewer::View::Compressed, result.getCompressedImage()->getRGB32Buffer()},
    };
    for (const auto& view : views) {
        QVERIFY(view.buffer);
        window.showView(view.view);
        QCOMPARE(shownBuffer(right(window)), view.buffer);
        QCOMPARE(right(window)->getQImage().size(), QSize(64, 48));
        QCOMPARE(right(window)->getQImage().format(), QImage::Format_RGB32);
        QCOMPARE(shownBuffer(left(window)), made.source->getRGB32Buffer());
    }
    // The buttons lead to the same views.
    button(window, "yButton")->click();
    QCOMPARE(shownBuffer(right(window)), result.getY_RGB32());
    button(window, "colorDifferenceButton")->click();
    QCOMPARE(shownBuffer(right(window)), result.getColorDifference());
    button(window, "imageButton")->click();
    QCOMPARE(shownBuffer(right(window)), result.getCompressedImage()->getRGB32Buffer());
}

void TestPictureViewer::viewsKeepTheZoom()
{
    Compression made = compress(QStringLiteral("source.png"), 40, 30);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    window.zoomIn();
    window.zoomIn();
    for (PictureViewer::View view :
         {PictureViewer::View::Errors, PictureViewer::View::ColourDifference,
          PictureViewer::View::Y, PictureViewer::View::Cb, PictureViewer::View::Cr,
          PictureViewer::View::Compressed}) {
        window.showView(view);
        QCOMPARE(right(window)->getZoomFactor(), 1.5625f);
        QCOMPARE(right(window)->size(), QSize(64, 48));
        QCOMPARE(left(window)->getZoomFactor(), 1.5625f);
        QCOMPARE(text(window, "zoomLabel"), QStringLiteral("156.25%"));
    }
}

void TestPictureViewer::viewsDoNothingWithoutResult()
{
    Compression made = compress(QStringLiteral("source.png"), 40, 30);
    BatchViewer window(nullptr);
    window.showView(PictureViewer::View::Y); // neither picture nor result
    QVERIFY(right(window)->getQImage().isNull());
    window.updateCompressed(made.result.get()); // a result but no picture
    window.showView(PictureViewer::View::Y);
    QCOMPARE(shownBuffer(right(window)), made.result->getCompressedImage()->getRGB32Buffer());
}

void TestPictureViewer::newResultKeepsTheZoom()
{
    Compression made = compress(QStringLiteral("source.png"), 40, 30);
    JPEGCompressor compressor;
    compressor.setImage(made.source.get());
    compressor.getSettings()->setQuality(30);
    std::unique_ptr<CompressionResult> newer(compressor.compressImage());
    QVERIFY(newer);

    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    window.zoomIn();
    window.zoomIn();
    window.showView(PictureViewer::View::Errors);
    window.updateCompressed(newer.get());
    QCOMPARE(shownBuffer(right(window)), newer->getCompressedImage()->getRGB32Buffer());
    QCOMPARE(right(window)->getZoomFactor(), 1.5625f);
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("156.25%"));
}

void TestPictureViewer::resultWithoutDecodedPicture()
{
    QVERIFY(TestPictures::write(QStringLiteral("source.png"), 30, 20));
    Image source(encoded(QStringLiteral("source.png")));
    // The decoded picture did not load: the result has no pictures at all.
    CompressionResult result(&source, new Image(encoded(QStringLiteral("missing.jpg"))),
                             JPEGSettings());
    JPEGCompressor compressor;
    BatchViewer batch(nullptr);
    PictureViewer interactive(Variant::Interactive);
    for (PictureViewer* window : {static_cast<PictureViewer*>(&batch), &interactive}) {
        window->updateImage(&source);
        window->updateCompressed(&result);
        QVERIFY(right(*window)->getQImage().isNull());
        QVERIFY(viewButtonsEnabled(*window, false));
        for (PictureViewer::View view :
             {PictureViewer::View::Errors, PictureViewer::View::ColourDifference,
              PictureViewer::View::Y, PictureViewer::View::Cb, PictureViewer::View::Cr,
              PictureViewer::View::Compressed}) {
            window->showView(view);
            QVERIFY(right(*window)->getQImage().isNull());
        }
        QVERIFY(!text(*window, "crLabel").isEmpty());
    }
    QVERIFY(saveAsAction(batch)->isEnabled());

    CompressionResult noDecoded(&source, nullptr, JPEGSettings());
    batch.updateCompressed(&noDecoded);
    QVERIFY(viewButtonsEnabled(batch, false));
    QVERIFY(right(batch)->getQImage().isNull());
}

void TestPictureViewer::resultWithoutMaps()
{
    // A decoded picture of another size: components, but no maps.
    QVERIFY(TestPictures::write(QStringLiteral("source.png"), 30, 20));
    QVERIFY(TestPictures::write(QStringLiteral("other.png"), 20, 10));
    Image source(encoded(QStringLiteral("source.png")));
    CompressionResult result(&source, new Image(encoded(QStringLiteral("other.png"))),
                             JPEGSettings());
    BatchViewer window(nullptr);
    window.updateImage(&source);
    window.updateCompressed(&result);
    QVERIFY(button(window, "imageButton")->isEnabled());
    QVERIFY(button(window, "yButton")->isEnabled());
    QVERIFY(button(window, "cbButton")->isEnabled());
    QVERIFY(button(window, "crButton")->isEnabled());
    QVERIFY(!anyEnabled(window, {"errorsButton", "colorDifferenceButton"}));
    window.showView(PictureViewer::View::Y);
    QCOMPARE(shownBuffer(right(window)), result.getY_RGB32());
    QCOMPARE(right(window)->getQImage().size(), QSize(20, 10));
    window.showView(PictureViewer::View::Errors);
    QVERIFY(right(window)->getQImage().isNull());
    window.showView(PictureViewer::View::Compressed);
    QCOMPARE(right(window)->getQImage().size(), QSize(20, 10));
}

// Zoom steps divide by 1.25 down to 1/32 of the picture's size.
void TestPictureViewer::zoomOutStopsAtLowestZoom()
{
    Compression made = compress(QStringLiteral("source.png"), 100, 80);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    const char* expected[] = {"80%", "64%", "51.2%"};
    for (const char* label : expected) {
        button(window, "zoomOutButton")->click();
        QCOMPARE(text(window, "zoomLabel"), QString::fromLatin1(label));
    }
    for (int i = 0; i < 20; ++i)
        window.zoomOut();
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("3.125%"));
    QCOMPARE(left(window)->getZoomFactor(), 0.03125f);
    QCOMPARE(right(window)->getZoomFactor(), 0.03125f);
    QCOMPARE(left(window)->size(), QSize(4, 4));
    // Back up, the first step to the next power of 1.25: 100 % again.
    for (int i = 0; i < 16; ++i)
        window.zoomIn();
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("100%"));
}

// Zoom steps multiply by 1.25 up to 3200 %.
void TestPictureViewer::zoomInStopsAt3200()
{
    Compression made = compress(QStringLiteral("source.png"), 20, 10);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    const char* expected[] = {"125%", "156.25%"};
    for (const char* label : expected) {
        button(window, "zoomInButton")->click();
        QCOMPARE(text(window, "zoomLabel"), QString::fromLatin1(label));
    }
    for (int i = 0; i < 30; ++i)
        window.zoomIn();
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("3200%"));
    QCOMPARE(left(window)->getZoomFactor(), 32.0f);
    QCOMPARE(right(window)->getZoomFactor(), 32.0f);
}

void TestPictureViewer::zoomResetShowsHundred()
{
    Compression made = compress(QStringLiteral("source.png"), 20, 10);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    window.zoomOut();
    button(window, "zoomResetButton")->click();
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("100%"));
    QCOMPARE(left(window)->getZoomFactor(), 1.0f);
    QCOMPARE(right(window)->getZoomFactor(), 1.0f);
}

void TestPictureViewer::wheelZooms()
{
    Compression made = compress(QStringLiteral("source.png"), 20, 10);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    bool accepted = true;
    wheel(window, 0, &accepted);
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("100%"));
    QCOMPARE(left(window)->getZoomFactor(), 1.0f);
    QVERIFY(!accepted);
    wheel(window, 120, &accepted);
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("125%"));
    QVERIFY(!accepted);
    wheel(window, -120, &accepted);
    wheel(window, -15, &accepted);
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("80%"));
    QCOMPARE(right(window)->getZoomFactor(), 0.8f);
    QVERIFY(!accepted);
}

void TestPictureViewer::wheelZoomsWithZoomButtonsDisabled()
{
    BatchViewer window(nullptr);
    wheel(window, 120);
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("125%"));
    QCOMPARE(left(window)->getZoomFactor(), 1.25f);
}

void TestPictureViewer::rotateTwiceRestores()
{
    BatchViewer window(nullptr);
    auto* splitter = window.findChild<QSplitter*>(QStringLiteral("splitter"));
    QCOMPARE(splitter->orientation(), Qt::Horizontal);
    QCOMPARE(splitter->count(), 2);
    QCOMPARE(static_cast<QScrollArea*>(splitter->widget(0))->widget(), left(window));
    QCOMPARE(static_cast<QScrollArea*>(splitter->widget(1))->widget(), right(window));
    window.rotate();
    QCOMPARE(splitter->orientation(), Qt::Vertical);
    button(window, "rotateButton")->click();
    QCOMPARE(splitter->orientation(), Qt::Horizontal);
    QCOMPARE(static_cast<QScrollArea*>(splitter->widget(0))->widget(), left(window));
}

// Scrolling either pane, the zoom buttons, Ctrl with the wheel over a pane
// (about the pointer) and "Fit" all leave both panes on the same picture
// point.
void TestPictureViewer::linkedPanesStayInStep()
{
    Compression made = compress(QStringLiteral("source.png"), 300, 200);
    JPEGCompressor compressor;
    PictureViewer window(Variant::Interactive);
    window.resize(700, 500);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    ImagePane* a = area(window, "originalImageArea");
    ImagePane* b = area(window, "processedImageArea");
    for (int i = 0; i < 6; ++i)
        window.zoomIn();
    float zoom = left(window)->getZoomFactor();
    QCOMPARE(zoom, right(window)->getZoomFactor());
    QVERIFY(samePlace(centreOf(a), centreOf(b), zoom));

    a->horizontalScrollBar()->setValue(300);
    a->verticalScrollBar()->setValue(200);
    QVERIFY(b->horizontalScrollBar()->value() > 0);
    QVERIFY(samePlace(centreOf(a), centreOf(b), zoom));
    b->horizontalScrollBar()->setValue(50);
    b->verticalScrollBar()->setValue(400);
    QVERIFY(samePlace(centreOf(a), centreOf(b), zoom));

    const QPointF at(40, 30);
    const QPointF under = b->pictureAt(at);
    QWheelEvent ctrlWheel(at, b->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(b->viewport(), &ctrlWheel);
    QVERIFY(ctrlWheel.isAccepted());
    QCOMPARE(text(window, "zoomLabel"), QStringLiteral("476.837%"));
    zoom = right(window)->getZoomFactor();
    QCOMPARE(left(window)->getZoomFactor(), zoom);
    QVERIFY(samePlace(b->pictureAt(at), under, zoom));
    QVERIFY(samePlace(centreOf(a), centreOf(b), zoom));

    window.zoomOut();
    QVERIFY(samePlace(centreOf(a), centreOf(b), left(window)->getZoomFactor()));

    toolButton(window, "fitButton")->click();
    zoom = left(window)->getZoomFactor();
    const QSize room = a->viewport()->size();
    QVERIFY(left(window)->width() <= room.width() && left(window)->height() <= room.height());
    QVERIFY(std::min(room.width() / 300.0, room.height() / 200.0) - zoom < 0.02);
    QCOMPARE(a->horizontalScrollBar()->maximum(), 0);
    QCOMPARE(b->verticalScrollBar()->maximum(), 0);
}

// The shown view's button is the one checked, and the panes' captions say
// what they show.
void TestPictureViewer::checkedViewAndCaptions()
{
    Compression made = compress(QStringLiteral("source.png"), 40, 30);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    QCOMPARE(area(window, "originalImageArea")->caption(), QStringLiteral("Source"));
    for (const char* name : viewButtons)
        QVERIFY(!button(window, name)->isChecked());
    window.updateCompressed(made.result.get());
    ImagePane* b = area(window, "processedImageArea");
    QVERIFY(button(window, "imageButton")->isChecked());
    QCOMPARE(b->caption(), QStringLiteral("Compressed"));
    button(window, "yButton")->click();
    QVERIFY(button(window, "yButton")->isChecked());
    QVERIFY(!button(window, "imageButton")->isChecked());
    QCOMPARE(b->caption(), QStringLiteral("Y"));
    window.showView(PictureViewer::View::Errors);
    QVERIFY(button(window, "errorsButton")->isChecked());
    QVERIFY(!button(window, "yButton")->isChecked());
    QCOMPARE(b->caption(), QStringLiteral("Changed pixels"));
    window.setGain(4);
    QVERIFY(button(window, "amplifiedButton")->isChecked());
    QCOMPARE(b->caption(), QStringLiteral("Difference \u00d74"));
    window.updateCompressed(nullptr);
    for (const char* name : viewButtons)
        QVERIFY(!button(window, name)->isChecked());
    // Names given for the two pictures stand for "Source" and "Compressed".
    window.setPaneCaptions(QStringLiteral("#1"), QStringLiteral("#2"));
    window.updateCompressed(made.result.get());
    QCOMPARE(area(window, "originalImageArea")->caption(), QStringLiteral("#1"));
    QCOMPARE(b->caption(), QStringLiteral("#2"));
    window.showView(PictureViewer::View::Cr);
    QCOMPARE(b->caption(), QStringLiteral("#2: Cr"));
}

// Known pixels read out with the components' conversion, and the readout of
// the pixel under the pointer in the status line.
void TestPictureViewer::pixelReadout()
{
    QImage a(4, 3, QImage::Format_RGB32), b(4, 3, QImage::Format_RGB32);
    a.fill(Qt::black);
    b.fill(Qt::black);
    a.setPixel(2, 1, qRgb(255, 0, 0));
    b.setPixel(2, 1, qRgb(250, 10, 5));
    QVERIFY(a.save(QStringLiteral("a.png")) && b.save(QStringLiteral("b.png")));
    Image source(encoded(QStringLiteral("a.png")));
    Image compressed(encoded(QStringLiteral("b.png")));
    auto plain = [](QString text) {
        return text.replace(QChar(0x2007), QLatin1Char(' ')).simplified();
    };
    // The encoder's fixed-point conversion, so that the values compare with
    // the block inspector's.
    QCOMPARE(plain(PixelReadout::describe(QPoint(2, 1), &source, &compressed)),
             QStringLiteral("x 2, y 1 Source RGB 255 0 0 YCbCr 76 85 255 "
                            "Compressed RGB 250 10 5 YCbCr 81 85 248 "
                            "Difference RGB -5 +10 +5 YCbCr +5 0 -7"));
    QCOMPARE(plain(PixelReadout::describe(QPoint(0, 0), &source, nullptr)),
             QStringLiteral("x 0, y 0 Source RGB 0 0 0 YCbCr 0 128 128"));
    QVERIFY(PixelReadout::describe(QPoint(4, 0), &source, &compressed).isEmpty());

    BatchViewer window(nullptr);
    window.updateImage(&source);
    window.updateCompressed(nullptr);
    window.zoomIn(); // 125 %: pixel (2, 1) spans 2.5 to 3.75, 1.25 to 2.5
    auto* readout = window.findChild<PixelReadout*>(QStringLiteral("pixelReadout"));
    QVERIFY(readout);
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 2), QPointF(3, 2), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(left(window), &move);
    QVERIFY(plain(readout->text()).startsWith(QStringLiteral("x 2, y 1 Source RGB 255 0 0")));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(left(window), &leave);
    QVERIFY(!readout->text().contains(QStringLiteral("RGB")));
}

// The Bits view: one colour per block, brighter for the blocks that cost
// more, with its legend and plane choice only while it is shown, and the
// readout naming the block's bits.
void TestPictureViewer::bitsViewShowsTheCostOfEachBlock()
{
    Compression c = compress(QStringLiteral("p.png"), 83, 45);
    QVERIFY(c.result);
    BatchViewer window(nullptr);
    window.updateImage(c.source.get());
    window.updateCompressed(c.result.get());
    auto* bits = button(window, "bitsButton");
    QVERIFY(bits->isEnabled());
    bits->click();
    QVERIFY(bits->isChecked());
    const QImage map = right(window)->getQImage();
    QCOMPARE(map.size(), QSize(83, 45));
    auto* legend = window.findChild<QLabel*>(QStringLiteral("bitsLegend"));
    QVERIFY(legend && !legend->isHidden());
    // Every pixel of an 8 x 8 block (4:4:4 here) has the block's colour,
    // and the colour grows with the block's bits.
    BitsMap reference;
    QVERIFY(reference.measure(c.result->getCompressedBytes()));
    int width = 0, height = 0;
    const std::vector<std::uint32_t> perBlock = reference.blockBits(BitsMap::ALL, width, height);
    QCOMPARE(width, 11);
    std::size_t cheapest = 0, dearest = 0;
    for (std::size_t i = 0; i < perBlock.size(); ++i) {
        cheapest = perBlock[i] < perBlock[cheapest] ? i : cheapest;
        dearest = perBlock[i] > perBlock[dearest] ? i : dearest;
    }
    auto pixelOf = [&](std::size_t block, int dx, int dy) {
        return map.pixel(int(block % std::size_t(width)) * 8 + dx,
                         int(block / std::size_t(width)) * 8 + dy);
    };
    QCOMPARE(pixelOf(dearest, 0, 0), pixelOf(dearest, 2, 2));
    QVERIFY(qGray(pixelOf(dearest, 0, 0)) > qGray(pixelOf(cheapest, 0, 0)));
    QVERIFY(
        reference.describe(QPoint(9, 3), BitsMap::ALL)
            .startsWith(QStringLiteral("block 1, 0 of all components: %1 bits").arg(perBlock[1])));

    auto* plane = window.findChild<QComboBox*>(QStringLiteral("bitsPlane"));
    QVERIFY(plane && !plane->isHidden());
    plane->setCurrentIndex(plane->findData(int(BitsMap::CB)));
    emit plane->activated(plane->currentIndex());
    QVERIFY(right(window)->getQImage() != map);
    button(window, "imageButton")->click();
    QVERIFY(legend->isHidden() && plane->isHidden());
}

// A picture opened from a JPEG file: the Bits view offers that file's
// blocks beside the compression's, accounts for every byte of it, and a
// file whose coded data is damaged is told, not shown.
void TestPictureViewer::bitsViewOfAnOpenedJpegFile()
{
    QVERIFY(TestPictures::write(QStringLiteral("opened.png"), 61, 40));
    QVERIFY(QImage(QStringLiteral("opened.png")).save(QStringLiteral("opened.jpg"), "JPEG", 60));
    const QByteArray file = contents(QStringLiteral("opened.jpg"));
    Image source(encoded(QStringLiteral("opened.jpg")));
    JPEGCompressor compressor;
    compressor.setImage(&source);
    std::unique_ptr<CompressionResult> result(compressor.compressImage());
    QVERIFY(result);
    BatchViewer window(nullptr);
    window.updateImage(&source);
    window.updateCompressed(result.get());
    button(window, "bitsButton")->click();
    const QImage ofCompression = right(window)->getQImage();
    auto* which = window.findChild<QComboBox*>(QStringLiteral("bitsFile"));
    QVERIFY(which && !which->isHidden());
    which->setCurrentIndex(1);
    emit which->activated(1);
    QCOMPARE(right(window)->getQImage().size(), QSize(61, 40));
    QVERIFY(right(window)->getQImage() != ofCompression);
    QVERIFY(window.findChild<ImagePane*>(QStringLiteral("processedImageArea"))
                ->caption()
                .contains(QStringLiteral("Opened file")));
    const JpegBitCost cost = JpegBitCost::read(file);
    QVERIFY(cost.ok());
    QCOMPARE(cost.fileBytes, qint64(file.size()));
    QCOMPARE(cost.totalBlockBits() + cost.overheadBits() + 8 * std::uint64_t(cost.nonDataBytes()),
             8 * std::uint64_t(file.size()));

    // The same picture, its file damaged after it was read: cut inside the
    // coded data.
    QFile damaged(QStringLiteral("opened.jpg"));
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(damaged.write(file.left(file.size() * 2 / 3)) > 0);
    damaged.close();
    window.updateImage(&source);
    window.updateCompressed(result.get());
    button(window, "bitsButton")->click();
    which->setCurrentIndex(1);
    SeenBox seen;
    {
        auto handler = answerBoxes(seen);
        emit which->activated(1);
    }
    QCOMPARE(seen.count, 1);
    QVERIFY(seen.text.contains(QStringLiteral("opened file")));
    QCOMPARE(which->currentIndex(), 0);
    QCOMPARE(right(window)->getQImage(), ofCompression);
}

// The grid button draws the blocks in both panes, with the MCUs of the
// shown compression's sampling.
void TestPictureViewer::gridFollowsTheSampling()
{
    Compression made = compress(QStringLiteral("source.png"), 40, 30);
    std::unique_ptr<CompressionResult> sampled = compressSampled(*made.source, 2, 1);
    QVERIFY(sampled);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(sampled.get());
    QToolButton* grid = toolButton(window, "gridButton");
    QVERIFY(grid && grid->isCheckable());
    grid->click();
    for (ImageWidget* pane : {left(window), right(window)}) {
        QVERIFY(pane->isGridVisible());
        QCOMPARE(pane->getMcuSize(), QSize(16, 8));
    }
    window.updateCompressed(made.result.get()); // 4:4:4: one block is an MCU
    QCOMPARE(right(window)->getMcuSize(), QSize(8, 8));
    grid->click();
    QVERIFY(!left(window)->isGridVisible() && !right(window)->isGridVisible());
}

// Split shows the source left of the divider in the right pane, the left
// pane hidden; the divider follows a drag.
void TestPictureViewer::splitViewDividerDrags()
{
    Compression made = compress(QStringLiteral("source.png"), 200, 100);
    JPEGCompressor compressor;
    PictureViewer window(Variant::Interactive);
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    toolButton(window, "splitButton")->click();
    QTRY_VERIFY(!area(window, "originalImageArea")->isVisible());
    ImageWidget* pane = right(window);
    QVERIFY(pane->isSplit());
    QCOMPARE(static_cast<const void*>(pane->getSplitImage().constBits()),
             static_cast<const void*>(made.source->getRGB32Buffer()));
    QVERIFY(area(window, "processedImageArea")->caption().contains(QStringLiteral("Source")));

    pane->setSplit(pane->getSplitImage(), 100);
    const QPointF divider = pane->fromPicture(QPointF(100, 50));
    mouse(pane, QEvent::MouseButtonPress, divider + QPointF(3, 0));
    mouse(pane, QEvent::MouseMove, divider - QPointF(40, 0));
    mouse(pane, QEvent::MouseButtonRelease, divider - QPointF(40, 0));
    QCOMPARE(pane->getDivider(), 60);
    // A press away from the divider leaves it.
    mouse(pane, QEvent::MouseButtonPress, divider + QPointF(30, 0));
    mouse(pane, QEvent::MouseMove, divider + QPointF(60, 0));
    mouse(pane, QEvent::MouseButtonRelease, divider + QPointF(60, 0));
    QCOMPARE(pane->getDivider(), 60);

    window.showView(PictureViewer::View::Y); // another view keeps the split
    QVERIFY(pane->isSplit());
    QCOMPARE(pane->getDivider(), 60);
    toolButton(window, "splitButton")->click();
    QVERIFY(!pane->isSplit());
    QTRY_VERIFY(area(window, "originalImageArea")->isVisible());
}

// With Inspect on, the inspector's block is outlined in both panes (a
// chroma block of 4:2:0 covers 16 x 16 pixels) and the arrow keys' moves
// keep it in view of the zoomed panes.
void TestPictureViewer::inspectedBlockIsOutlinedAndFollowed()
{
    Compression made = compress(QStringLiteral("source.png"), 240, 160);
    std::unique_ptr<CompressionResult> sampled = compressSampled(*made.source, 2, 2);
    QVERIFY(sampled);
    JPEGCompressor compressor;
    PictureViewer window(Variant::Interactive);
    window.resize(700, 450);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.updateImage(made.source.get());
    window.updateCompressed(sampled.get());
    for (int i = 0; i < 10; ++i)
        window.zoomIn();
    toolButton(window, "inspectButton")->click();
    auto* inspector = window.findChild<BlockInspector*>();
    QVERIFY(inspector);
    ImagePane* b = area(window, "processedImageArea");
    auto inView = [b](const QRect& pixels) {
        const QPointF centre = b->picture()->fromPicture(QRectF(pixels).center());
        return b->viewport()->rect().contains(b->picture()->mapTo(b->viewport(), centre.toPoint()));
    };

    QVERIFY(inspector->showBlock(0, 25, 17));
    QCOMPARE(right(window)->getHighlight(), QRect(200, 136, 8, 8));
    QCOMPARE(left(window)->getHighlight(), QRect(200, 136, 8, 8));
    QVERIFY(inView(QRect(200, 136, 8, 8)));
    QTest::keyClick(inspector, Qt::Key_Left);
    QCOMPARE(right(window)->getHighlight(), QRect(192, 136, 8, 8));
    QVERIFY(inView(QRect(192, 136, 8, 8)));
    QVERIFY(samePlace(centreOf(area(window, "originalImageArea")), centreOf(b),
                      right(window)->getZoomFactor()));
    QVERIFY(inspector->showBlock(1, 1, 2));
    QCOMPARE(right(window)->getHighlight(), QRect(16, 32, 16, 16));
    // Down to the code: the block's symbols, starting with its DC
    // difference, and its total.
    auto* symbols = inspector->findChild<QTableWidget*>(QStringLiteral("codedSymbolsTable"));
    QVERIFY(symbols && symbols->rowCount() >= 2);
    QVERIFY(symbols->item(0, 1)->text().startsWith(QStringLiteral("DC, size")));
    QVERIFY(inspector->findChild<QLabel*>(QStringLiteral("codedBitsLabel"))
                ->text()
                .startsWith(QStringLiteral("Coded: %1 symbols").arg(symbols->rowCount())));
    QVERIFY(inView(QRect(16, 32, 16, 16)));

    toolButton(window, "inspectButton")->click();
    QVERIFY(right(window)->getHighlight().isNull());
}

void TestPictureViewer::numberFormats()
{
    // 4 x 4 pictures padded to known file sizes; the figures follow from the
    // sizes alone.
    QVERIFY(writePadded(QStringLiteral("c170.png"), 4, 4, 170));
    QVERIFY(writePadded(QStringLiteral("c300.png"), 4, 4, 300));
    QVERIFY(writePadded(QStringLiteral("s14450.png"), 4, 4, 14450));
    QVERIFY(writePadded(QStringLiteral("s2000.png"), 4, 4, 2000));
    QVERIFY(writePadded(QStringLiteral("s2099.png"), 4, 4, 2099));

    // Every picture and result stays alive until the window is gone.
    std::vector<std::unique_ptr<Image>> sources;
    std::vector<std::unique_ptr<CompressionResult>> results;
    BatchViewer window(nullptr);
    auto show = [&](const char* sourceName, const char* compressedName) {
        sources.push_back(std::make_unique<Image>(encoded(QString::fromLatin1(sourceName))));
        results.push_back(std::make_unique<CompressionResult>(
            sources.back().get(), new Image(encoded(QString::fromLatin1(compressedName))),
            JPEGSettings()));
        window.updateImage(sources.back().get());
        window.updateCompressed(results.back().get());
    };
    {
        show("s14450.png", "c170.png"); // 14450 / 170 = 85
        QCOMPARE(text(window, "crLabel"), QStringLiteral("85"));
        QCOMPARE(text(window, "cpLabel"), QStringLiteral("98.8235%"));
        QCOMPARE(text(window, "brLabel"), QStringLiteral("85 bpp")); // 170 * 8 / 16
        QCOMPARE(text(window, "mseLabel"), QStringLiteral("0"));
    }
    {
        show("s2000.png", "c300.png"); // (1 - 300 / 2000) * 100 = 85
        QCOMPARE(text(window, "crLabel"), QStringLiteral("6.66667"));
        QCOMPARE(text(window, "cpLabel"), QStringLiteral("85%"));
        QCOMPARE(text(window, "brLabel"), QStringLiteral("150 bpp"));
    }
    {
        show("s2099.png", "c170.png"); // 12.347058...
        QCOMPARE(text(window, "crLabel"), QStringLiteral("12.3471"));
    }
    QCOMPARE(QStringLiteral("%1").arg(12.3456789, 0, 'g', -1, QLatin1Char(' ')),
             QStringLiteral("12.3457"));
}

void TestPictureViewer::interactiveFigures()
{
    Compression made = compress(QStringLiteral("source.png"), 50, 40);
    JPEGCompressor compressor;
    PictureViewer window(Variant::Interactive);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    const double sourceSize = double(made.source->getImageSize());
    const double compressedSize = double(made.result->getCompressedImage()->getImageSize());
    const double rate = sourceSize / compressedSize;
    const QString number = QStringLiteral("%1");
    QCOMPARE(text(window, "crLabel"), number.arg(rate));
    QCOMPARE(text(window, "cpLabel"), number.arg((1 - 1 / rate) * 100) + "%");
    QCOMPARE(text(window, "brLabel"), number.arg(compressedSize * 8 / (50 * 40)) + " bpp");
}

void TestPictureViewer::jpegNames_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::newRow("jpg") << "out.jpg"
                         << "out.jpg";
    QTest::newRow("JPG") << "out.JPG"
                         << "out.JPG";
    QTest::newRow("Jpeg") << "out.Jpeg"
                          << "out.Jpeg";
    QTest::newRow("jpeg") << "/tmp/a b/out.jpeg"
                          << "/tmp/a b/out.jpeg";
    QTest::newRow("png") << "out.png"
                         << "out.png.jpg";
    QTest::newRow("bare") << "out"
                          << "out.jpg";
    QTest::newRow("jpg inside") << "out.jpg.txt"
                                << "out.jpg.txt.jpg";
    QTest::newRow("jpgx") << "out.jpgx"
                          << "out.jpgx.jpg";
    QTest::newRow("just the extension") << ".jpg"
                                        << ".jpg";
}

void TestPictureViewer::jpegNames()
{
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    QCOMPARE(jpegFileName(chosen), saved);
}

void TestPictureViewer::saveWritesTheResultsJpeg()
{
    Compression made = compress(QStringLiteral("source.png"), 40, 30);
    const QByteArray jpeg = made.result->getCompressedBytes();
    QVERIFY(jpeg.startsWith("\xFF\xD8"));
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    SeenBox seen;
    auto handler = answerBoxes(seen);
    for (const char* name : {"out", "second.JPG", "third.Jpeg", "fourth.png"}) {
        QVERIFY(window.saveCompressedAs(QString::fromLatin1(name)));
    }
    QCOMPARE(contents(QStringLiteral("out.jpg")), jpeg);
    QCOMPARE(contents(QStringLiteral("second.JPG")), jpeg);
    QCOMPARE(contents(QStringLiteral("third.Jpeg")), jpeg);
    QCOMPARE(contents(QStringLiteral("fourth.png.jpg")), jpeg);
    QVERIFY(!QFile::exists(QStringLiteral("out")));
    QVERIFY(!QFile::exists(QStringLiteral("fourth.png")));
    QCOMPARE(seen.count, 0);
}

void TestPictureViewer::saveOverwrites()
{
    Compression made = compress(QStringLiteral("source.png"), 4, 3);
    QFile existing(QStringLiteral("old.jpg"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write(QByteArray(4096, 'x'));
    existing.close();
    JPEGCompressor compressor;
    PictureViewer window(Variant::Interactive); // the interactive tool can save too
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    QVERIFY(window.saveCompressedAs(QStringLiteral("old.jpg")));
    QCOMPARE(contents(QStringLiteral("old.jpg")), made.result->getCompressedBytes());
}

void TestPictureViewer::failedSaveShowsError_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::newRow("no result") << "no result";
    QTest::newRow("missing folder") << "missing folder";
    QTest::newRow("target is a folder") << "target is a folder";
}

void TestPictureViewer::failedSaveShowsError()
{
    QFETCH(QString, scenario);
    Compression made = compress(QStringLiteral("source.png"), 4, 3);
    QString chosen = QStringLiteral("saved");
    QString target = QStringLiteral("saved.jpg");
    if (scenario == QLatin1String("missing folder")) {
        chosen = QStringLiteral("no/such/folder/picture");
        target = chosen + QStringLiteral(".jpg");
    } else if (scenario == QLatin1String("target is a folder")) {
        QVERIFY(QDir().mkdir(QStringLiteral("folder.jpg")));
        chosen = target = QStringLiteral("folder.jpg");
    }

    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    if (scenario != QLatin1String("no result"))
        window.updateCompressed(made.result.get());
    SeenBox seen;
    auto handler = answerBoxes(seen);
    QVERIFY(!window.saveCompressedAs(chosen));
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.title, QStringLiteral("Error"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY2(seen.text.contains(target), qPrintable(seen.text));
    QVERIFY(seen.text.contains(QStringLiteral("<br>")));
    QVERIFY(!QFile::exists(QStringLiteral("saved.jpg")));
    // The window is as it was.
    QVERIFY(window.findChild<QPushButton*>(QStringLiteral("rotateButton"))->isEnabled());
}

void TestPictureViewer::saveAsDialog()
{
    Compression made = compress(QStringLiteral("source.png"), 40, 30);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    const QString wanted = QDir::current().filePath(QStringLiteral("chosen"));
    QString caption, filter;
    ModalHandler handler([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        caption = dialog->windowTitle();
        filter = dialog->nameFilters().join(QLatin1Char(';'));
        chooseFile(dialog, wanted);
    });
    saveAsAction(window)->trigger();
    QCOMPARE(handler.handled(), 1);
    QCOMPARE(caption, QStringLiteral("Save as"));
    QCOMPARE(filter, QStringLiteral("*.jpeg *.jpg"));
    QCOMPARE(contents(wanted + QStringLiteral(".jpg")), made.result->getCompressedBytes());
}

void TestPictureViewer::saveAsDialogCancelled()
{
    Compression made = compress(QStringLiteral("source.png"), 40, 30);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    ModalHandler handler([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    window.saveAs();
    QCOMPARE(handler.handled(), 1);
    QCOMPARE(QDir::current().entryList(QDir::Files), QStringList(QStringLiteral("source.png")));
}

// Typing "out1" saves "out1.jpg": the question about replacing a file must
// name that file, and "No" must keep it.
void TestPictureViewer::saveAsAsksAboutTheFinalName()
{
    Compression made = compress(QStringLiteral("source.png"), 40, 30);
    BatchViewer window(nullptr);
    window.updateImage(made.source.get());
    window.updateCompressed(made.result.get());
    QFile existing(QStringLiteral("out1.jpg"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("earlier");
    existing.close();
    const QString typed = QDir::current().filePath(QStringLiteral("out1"));
    for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        QStringList questions;
        ModalHandler handler([&](QWidget* modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                chooseFile(dialog, typed);
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                questions << box->text();
                box->button(answer)->click();
            } else {
                modal->close();
            }
        });
        saveAsAction(window)->trigger();
        QCOMPARE(handler.handled(), 2);
        QCOMPARE(questions.size(), 1);
        QVERIFY2(questions.first().contains(QStringLiteral("out1.jpg")),
                 qPrintable(questions.first()));
        if (answer == QMessageBox::No)
            QCOMPARE(contents(QStringLiteral("out1.jpg")), QByteArray("earlier"));
    }
    QCOMPARE(contents(QStringLiteral("out1.jpg")), made.result->getCompressedBytes());
    QVERIFY(!QFile::exists(QStringLiteral("out1")));
}

void TestPictureViewer::batchClosing()
{
    BatchViewer stays(nullptr);
    stays.show();
    QVERIFY(!asksToQuit([&stays] { QVERIFY(stays.close()); }));
    QVERIFY(!stays.isVisible());

    BatchViewer quits(nullptr);
    quits.setQuitOnClose(true);
    quits.show();
    QVERIFY(asksToQuit([&quits] { QVERIFY(quits.close()); }));
    QVERIFY(!quits.isVisible());

    // Escape closes the dialog like any other close.
    quits.show();
    QVERIFY(asksToQuit([&quits] { QTest::keyClick(&quits, Qt::Key_Escape); }));
    QVERIFY(!quits.isVisible());
}

void TestPictureViewer::quitEntryClosesOnlyTheViewer()
{
    BatchViewer window(nullptr);
    int result = -1;
    ModalHandler handler([&window](QWidget* modal) {
        QCOMPARE(modal, &window);
        window.findChild<QAction*>(QStringLiteral("quitAction"))->trigger();
    });
    QVERIFY(!asksToQuit([&] { result = window.exec(); }));
    QCOMPARE(handler.handled(), 1);
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(!window.isVisible());
}

void TestPictureViewer::interactiveClosingQuits()
{
    JPEGCompressor compressor;
    PictureViewer window(Variant::Interactive);
    window.show();
    QVERIFY(asksToQuit([&window] { window.close(); }));
}

void TestPictureViewer::interactiveIgnoresEscape()
{
    JPEGCompressor compressor;
    PictureViewer window(Variant::Interactive);
    window.show();
    QVERIFY(!asksToQuit([&window] { QTest::keyClick(&window, Qt::Key_Escape); }));
    QVERIFY(window.isVisible());
}

QTEST_MAIN(TestPictureViewer)
#include "tst_pictureviewer.moc"
