// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToolWindow.h"

#include "BitBreakdown.h"
#include "CompressionHistory.h"
#include "CompressionResult.h"
#include "DataFiles.h"
#include "DataIcons.h"
#include "DownsamplingWindow.h"
#include "FileDrops.h"
#include "HelpWindow.h"
#include "HistoryCompare.h"
#include "HistoryPanel.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "JpegPropertiesWindow.h"
#include "LiveCompression.h"
#include "MemoryBudget.h"
#include "PictureFormats.h"
#include "PictureViewer.h"
#include "Preferences.h"
#include "QualityMetrics.h"
#include "QuantizationWindow.h"
#include "RecentFilesMenu.h"
#include "SaveJpeg.h"
#include "SettingsEditor.h"
#include "StandardMenus.h"
#include "WindowState.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <new>

namespace {

// Text for a rich-text message box: escaped, its line breaks kept.
QString htmlLines(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
}

} // namespace

ToolWindow::ToolWindow(JPEGCompressor& jpegCompressor, QWidget* parent)
    : QDialog(parent), settings(jpegCompressor.getSettings()), compressor(jpegCompressor)
{
    create();
}

ToolWindow::~ToolWindow()
{
    // No job may use the picture deleted below.
    live->cancel();
    delete result;
    delete compressor.getImage();
    compressor.setImage(nullptr);
    delete quantizationWindow;
    delete downsamplingWindow;
}

void ToolWindow::create()
{
    setWindowTitle(QStringLiteral("Tools"));
    setWindowIcon(DataFiles::icon("pack"));
    setAcceptDrops(true);
    createHelpers();
    createControls();
    arrange();
    connectControls();
    connectHelpers();
}

void ToolWindow::createHelpers()
{
    live = new LiveCompression(this);
    history = new CompressionHistory(CompressionHistory::defaultByteCap, this);
    historyPanel = new HistoryPanel(*history);
    compare = new HistoryCompare(this);
    quantizationWindow = new QuantizationWindow(*settings, nullptr);
    downsamplingWindow = new DownsamplingWindow(*settings, nullptr);
    propertiesWindow = new JpegPropertiesWindow(this);
    helpWindow = new HelpWindow(this);
    helpWindow->setModal(true);
    helpWindow->setHtml(
        QFile::encodeName(DataFiles::find(QStringLiteral("doc/help.html"))).toStdString());
    helpWindow->resize(400, 300);
    aboutWindow = new HelpWindow(this);
    aboutWindow->setModal(true);
    aboutWindow->setWindowTitle(QStringLiteral("About"));
    aboutWindow->setHtml(
        QFile::encodeName(DataFiles::find(QStringLiteral("doc/about.html"))).toStdString());
}

namespace {

QCheckBox* namedCheck(const QString& text, const char* name, const QString& toolTip)
{
    auto* check = new QCheckBox(text);
    check->setObjectName(QLatin1String(name));
    check->setToolTip(toolTip);
    return check;
}

} // namespace

void ToolWindow::createControls()
{
    controls = new QWidget;
    controls->setObjectName(QStringLiteral("toolControls"));
    auto* grid = new QGridLayout(controls);
    editor = new SettingsEditor(SettingsEditor::Arrangement::Column, *settings);
    grid->addWidget(editor, 0, 0, 1, 2);

    compressButton = new QPushButton(QStringLiteral("&Compress"));
    compressButton->setObjectName(QStringLiteral("compressButton"));
    compressButton->setToolTip(QStringLiteral("Start compression"));
    compressButton->setDefault(true);
    compressButton->setEnabled(false);
    grid->addWidget(compressButton, 1, 0, 1, 2);
    propertiesButton = new QPushButton(QStringLiteral("JPEG properties…"));
    propertiesButton->setObjectName(QStringLiteral("propertiesButton"));
    propertiesButton->setToolTip(QStringLiteral("How the opened JPEG file was made"));
    propertiesButton->setVisible(false);
    grid->addWidget(propertiesButton, 2, 0, 1, 2);
    liveCheck = namedCheck(QStringLiteral("Live"), "liveCheck",
                           QStringLiteral("Recompress after every change of a setting"));
    liveCheck->setChecked(true);
    grid->addWidget(liveCheck, 3, 0);
    historyCheck = namedCheck(QStringLiteral("History"), "historyCheck",
                              QStringLiteral("Show the list of this picture's compressions"));
    historyCheck->setChecked(true);
    grid->addWidget(historyCheck, 3, 1);
    liveStatus = new QLabel;
    liveStatus->setObjectName(QStringLiteral("liveStatus"));
    liveStatus->setWordWrap(true);
    liveStatus->setStyleSheet(QStringLiteral("color: #b00000"));
    grid->addWidget(liveStatus, 4, 0, 1, 2);
    breakdownCheck = namedCheck(QStringLiteral("Where the bytes go"), "breakdownCheck",
                                QStringLiteral("Show how the compressed file's size splits into "
                                               "headers, tables and each component's DC and AC "
                                               "bits"));
    grid->addWidget(breakdownCheck, 5, 0, 1, 2);
    breakdown = new QLabel;
    breakdown->setObjectName(QStringLiteral("bitBreakdown"));
    breakdown->setTextFormat(Qt::RichText);
    breakdown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    breakdown->hide();
    grid->addWidget(breakdown, 6, 0, 1, 2);
    grid->setRowStretch(7, 1);
}

void ToolWindow::createMenus(QLayout* layout)
{
    StandardMenus menus(this, layout);
    QMenu* fileMenu = menus.fileMenu();
    StandardMenus::add(fileMenu, StandardMenus::Open, this, &ToolWindow::openFile);
    recentFilesMenu = new RecentFilesMenu(this);
    fileMenu->addMenu(recentFilesMenu);
    connect(recentFilesMenu, &RecentFilesMenu::fileChosen, this, &ToolWindow::openImageFile);
    saveAsAction = StandardMenus::add(fileMenu, StandardMenus::SaveAs, this, &ToolWindow::saveAs);
    saveAsAction->setEnabled(false);
    propertiesAction = fileMenu->addAction(QStringLiteral("JPEG properties…"));
    propertiesAction->setObjectName(QStringLiteral("propertiesAction"));
    propertiesAction->setEnabled(false);
    connect(propertiesAction, &QAction::triggered, this, &ToolWindow::showJpegProperties);
    fileMenu->addSeparator();
    QAction* reset = fileMenu->addAction(QStringLiteral("&Reset to defaults"));
    reset->setObjectName(QStringLiteral("resetAction"));
    connect(reset, &QAction::triggered, this, &ToolWindow::resetToDefaults);
    fileMenu->addSeparator();
    StandardMenus::add(fileMenu, StandardMenus::Quit, this, &ToolWindow::quit);
    QMenu* helpMenu = menus.helpMenu();
    StandardMenus::add(helpMenu, StandardMenus::HelpContents, this, &ToolWindow::showHelpWindow);
    StandardMenus::add(helpMenu, StandardMenus::About, this, &ToolWindow::showAboutWindow);
}

void ToolWindow::arrange()
{
    // The controls scroll when the screen is short; the history beside them,
    // as tall as they are, takes the rest of the width the window is given.
    auto* outer = new QHBoxLayout(this);
    QScrollArea* controlsArea = WindowState::scrolling(controls);
    controlsArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    controlsArea->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    outer->addWidget(controlsArea);
    outer->addWidget(historyPanel, 1);
    createMenus(outer);
    // The controls never need a horizontal scroll bar: the widest of them
    // (the table label wraps) plus room for the vertical one.
    controls->adjustSize();
    controlsArea->setFixedWidth(controls->sizeHint().width() +
                                controlsArea->verticalScrollBar()->sizeHint().width());
}

void ToolWindow::connectControls()
{
    // Every edit is in the record already; with "Live" on it is compressed.
    connect(editor, &SettingsEditor::edited, this, &ToolWindow::settingsChanged);
    connect(editor, &SettingsEditor::quantizationRequested, this,
            &ToolWindow::showQuantizationWindow);
    connect(editor, &SettingsEditor::downsamplingRequested, this,
            &ToolWindow::showDownsamplingWindow);
    connect(compressButton, &QPushButton::clicked, this, &ToolWindow::compressImage);
    connect(propertiesButton, &QPushButton::clicked, this, &ToolWindow::showJpegProperties);
    connect(liveCheck, &QCheckBox::toggled, this, &ToolWindow::settingsChanged);
    connect(historyCheck, &QCheckBox::toggled, historyPanel, &QWidget::setVisible);
    connect(breakdownCheck, &QCheckBox::toggled, this, [this](bool on) {
        breakdown->setVisible(on);
        updateBreakdown();
    });
}

void ToolWindow::connectHelpers()
{
    // The table editors change the record; the controls show what follows.
    for (QDialog* dialog :
         {static_cast<QDialog*>(quantizationWindow), static_cast<QDialog*>(downsamplingWindow)}) {
        if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("okButton")))
            connect(ok, &QPushButton::clicked, this, [this] {
                editor->showDerived();
                settingsChanged();
            });
    }
    connect(live, &LiveCompression::compressed, this,
            [this](CompressionResult* next, const QString& error, double encodingMs) {
                showResult(next, error, true);
                remember(encodingMs);
            });
    connect(live, &LiveCompression::decoded, this,
            [this](CompressionResult* next, const QString& error) {
                showResult(next, error, true);
                nameShown(next ? pendingNumber : 0);
            });
    connect(historyPanel, &HistoryPanel::showRequested, this, &ToolWindow::showHistoryEntry);
    connect(historyPanel, &HistoryPanel::compareRequested, this,
            &ToolWindow::compareHistoryEntries);
    connect(historyPanel, &HistoryPanel::restoreRequested, this,
            &ToolWindow::restoreHistorySettings);
    connect(compare, &HistoryCompare::shown, this, [this](const QString& error) {
        if (!error.isEmpty())
            report(false, error.toHtmlEscaped());
    });
    connect(propertiesWindow, &JpegPropertiesWindow::useSettingsRequested, this,
            &ToolWindow::useJpegSettings);
}

void ToolWindow::showBeside(PictureViewer& viewer)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    constexpr int gap = 8;
    const QSize wanted = sizeHint();
    // Wide enough for the history's settings where the screen has the room.
    setGeometry(screen.left() + gap, screen.top() + gap,
                std::min(std::max(wanted.width(), 760), screen.width() * 2 / 5),
                std::min(wanted.height(), screen.height() - 2 * gap));
    restoreSettings();
    show();
    const QRect frame = frameGeometry();
    const int left = frame.right() + 1 + gap;
    viewer.setGeometry(left, frame.top(), std::max(320, screen.right() + 1 - left - gap),
                       screen.bottom() + 1 - frame.top() - gap);
    viewer.restoreSettings();
    viewer.show();
    // Once shown, with the frame the window manager gave it.
    WindowState::keepOnScreen(&viewer);
}

QSize ToolWindow::sizeHint() const
{
    // Tall enough for every control: the scroll area alone asks for less.
    const QMargins margins = layout()->contentsMargins();
    const QWidget* menu = layout()->menuBar();
    const int full = controls->sizeHint().height() + margins.top() + margins.bottom() +
                     (menu ? menu->sizeHint().height() : 0);
    const QSize hint = QDialog::sizeHint();
    return QSize(hint.width(), std::max(hint.height(), full));
}

void ToolWindow::show()
{
    editor->showSettings();
    QDialog::show();
}

void ToolWindow::openFile()
{
    const QString name = QFileDialog::getOpenFileName(
        this, QStringLiteral("Choose an image"),
        Preferences::startFolder(Preferences::Folder::Pictures), PictureFormats::openFilter());
    if (name.isEmpty())
        return;
    Preferences::rememberFolder(Preferences::Folder::Pictures, name);
    openImageFile(name);
}

bool ToolWindow::openImageFile(const QString& path)
{
    auto* image = new Image(QFile::encodeName(path).toStdString());
    if (!image->getRGB24Buffer()) {
        const QString reason = image->getLoadMessage();
        delete image;
        report(false, QStringLiteral("Couldn't open the picture<br>%1<br>%2")
                          .arg(path.toHtmlEscaped(), htmlLines(reason)));
        return false;
    }
    setImage(image);
    compressButton->setEnabled(true);
    saveAsAction->setEnabled(false);
    // With "Live" on, the picture is compressed as soon as it is open.
    settingsChanged();
    Preferences::addRecentFile(path);
    // Any file that reads as a JPEG offers its properties.
    const JpegFileInfo info = JpegFileInfo::readFile(path);
    propertiesWindow->hide();
    propertiesWindow->setInfo(info, QFileInfo(path).fileName());
    if (info.isValid()) {
        QFile jpeg(path);
        if (jpeg.size() <= JpegFileInfo::MAX_FILE_SIZE && jpeg.open(QIODevice::ReadOnly))
            propertiesWindow->setBitCost(JpegBitCost::read(jpeg.readAll()));
    }
    propertiesAction->setEnabled(info.isValid());
    propertiesButton->setVisible(info.isValid());
    // A damaged file that still decodes (a JPEG cut short) loads; what the
    // decoder said about it is shown once, as a warning.
    if (!image->getLoadMessage().isEmpty()) {
        report(true, QStringLiteral("The picture was loaded with a warning:<br>%1")
                         .arg(htmlLines(image->getLoadMessage())));
    }
    return true;
}

void ToolWindow::report(bool warning, const QString& html)
{
    if (messagesToLog) {
        QTextDocument text;
        text.setHtml(html);
        std::fprintf(stderr, "tessera: %s\n", qPrintable(text.toPlainText()));
    } else if (warning) {
        QMessageBox::warning(this, QStringLiteral("Warning"), html, QMessageBox::Ok);
    } else {
        QMessageBox::critical(this, QStringLiteral("Error"), html, QMessageBox::Ok);
    }
}

void ToolWindow::setImage(Image* image)
{
    live->cancel();
    liveStatus->clear();
    // The history holds compressions of the picture on screen only.
    history->clear();
    nameShown(0);
    Image* previous = compressor.getImage();
    compressor.setImage(image);
    emit imageChanged(image);
    delete previous;
}

void ToolWindow::compressImage()
{
    live->supersede();
    CompressionResult* next = nullptr;
    QString failure;
    try {
        next = compressor.compressImage();
        if (!next)
            failure = compressor.lastError();
        else if (!liveCheck->isChecked())
            measureSlowFigures(*next);
    } catch (const std::bad_alloc&) {
        // The decoded picture did not fit next to the source; the source and
        // the program stay as they were.
        const Image* source = compressor.getImage();
        const std::uint64_t width = source ? source->getWidth() : 0;
        const std::uint64_t height = source ? source->getHeight() : 0;
        failure = MemoryBudget::notEnoughMemory(
            QStringLiteral("compress the %1 x %2 picture").arg(width).arg(height),
            width * height * 4);
    }
    showResult(next, failure, false);
    remember(std::chrono::duration<double, std::milli>(compressor.lastTimings().encoding).count());
}

// Without Live a compression is asked for one at a time, and it gets every
// figure, the slow Butteraugli distances too.
void ToolWindow::measureSlowFigures(const CompressionResult& next)
{
    QualityMetrics::Workspace workspace;
    FigureSet figures = FigureSet::similarity();
    figures.insert(Figure::Butteraugli);
    next.measure(figures, workspace);
}

void ToolWindow::remember(double encodingMs)
{
    if (!result)
        return;
    const int row = history->add(*result, encodingMs);
    historyPanel->markShown(row);
    nameShown(history->entry(row).number);
}

void ToolWindow::nameShown(int number)
{
    shownNumber = number;
    emit compressionNamed(number > 0 ? QStringLiteral("Compressed #%1").arg(number) : QString());
}

void ToolWindow::showHistoryEntry(int row)
{
    if (row < 0 || row >= history->size() || !compressor.getImage())
        return;
    const HistoryEntry& entry = history->entry(row);
    pendingNumber = entry.number;
    live->requestDecoding(compressor.getImage(), entry.jpeg, entry.settings);
}

void ToolWindow::compareHistoryEntries(int first, int second)
{
    if (first < 0 || second < 0 || first >= history->size() || second >= history->size())
        return;
    compare->compare(history->entry(first), history->entry(second));
}

void ToolWindow::restoreHistorySettings(int row)
{
    if (row < 0 || row >= history->size())
        return;
    *settings = history->entry(row).settings;
    settingsReplaced();
}

void ToolWindow::settingsReplaced()
{
    editor->showSettings();
    // Open editors show the record again.
    for (QDialog* dialog :
         {static_cast<QDialog*>(quantizationWindow), static_cast<QDialog*>(downsamplingWindow)}) {
        if (dialog->isVisible())
            dialog->setVisible(true);
    }
    settingsChanged();
}

void ToolWindow::showResult(CompressionResult* next, const QString& error, bool quiet)
{
    CompressionResult* previous = result;
    result = next;
    emit imageCompressed(result);
    saveAsAction->setEnabled(result != nullptr);
    // The viewer shows the new result (or none) before the old one goes.
    delete previous;
    liveStatus->setText(result || !quiet ? QString() : error);
    if (!result && !quiet)
        report(false, error.toHtmlEscaped());
    updateBreakdown();
}

void ToolWindow::updateBreakdown()
{
    if (!breakdownCheck->isChecked())
        return;
    breakdown->setText(result ? BitBreakdown::html(JpegBitCost::read(result->getCompressedBytes()))
                              : QStringLiteral("No compressed picture yet."));
}

void ToolWindow::settingsChanged()
{
    if (liveCheck->isChecked() && compressor.getImage())
        live->request(compressor.getImage(), *settings);
}

void ToolWindow::saveAs()
{
    // The compression shown, which may be an earlier one of the history.
    const QString name = askJpegSaveName(
        this,
        shownNumber > 0 ? QStringLiteral("Save compression #%1 as").arg(shownNumber) : QString());
    if (!name.isEmpty())
        saveCompressedAs(name);
}

bool ToolWindow::saveCompressedAs(const QString& chosen)
{
    return saveCompressedJpegAs(this, result, chosen);
}

void ToolWindow::quit()
{
    QCoreApplication::quit();
}

void ToolWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    QCoreApplication::quit();
}

void ToolWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!Preferences::singleLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void ToolWindow::dropEvent(QDropEvent* event)
{
    const QString file = Preferences::singleLocalFile(event->mimeData());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    openImageFile(file);
}

namespace {

const QString toolKey = QStringLiteral("tool/");

} // namespace

void ToolWindow::restoreSettings()
{
    WindowState::restore(this, QStringLiteral("tool"));
    // Each value is checked against what the controls accept; anything else
    // keeps the default.
    const auto number = [](const char* key, int fallback, int low, int high) {
        bool ok = false;
        const int value = Preferences::value(toolKey + QLatin1String(key), fallback).toInt(&ok);
        return ok && value >= low && value <= high ? value : fallback;
    };
    const auto flag = [](const char* key, bool fallback) {
        return Preferences::value(toolKey + QLatin1String(key), fallback).toBool();
    };
    settings->setCompressionMode(
        number("mode", settings->getCompressionMode() == JPEGSettings::BASELINE ? 0 : 1, 0, 1) == 0
            ? JPEGSettings::BASELINE
            : JPEGSettings::EXTENDED);
    settings->setDCTMethod(
        JPEGSettings::DCTMethod(number("dct", int(settings->getDCTMethod()), 0, 2)));
    settings->setProgressiveMode(flag("progressive", settings->isProgressive()));
    settings->setOptimizeHuffman(flag("optimizeHuffman", settings->getOptimizeHuffman()));
    settings->setAutoQualityEnabled(flag("autoQuality", settings->isAutoQualityEnabled()));
    settings->setQuality(number("quality", settings->getQuality(), 0, 100));
    settings->setSmoothing(number("smoothing", settings->getSmoothing(), 0, 100));
    settings->setGrayscaleOutput(flag("grayscaleOutput", false));
    editor->showSettings();
    historyCheck->setChecked(flag("history", true));
    settingsChanged();
}

void ToolWindow::saveSettings() const
{
    WindowState::save(this, QStringLiteral("tool"));
    Preferences::setValue(toolKey + QLatin1String("mode"),
                          settings->getCompressionMode() == JPEGSettings::BASELINE ? 0 : 1);
    Preferences::setValue(toolKey + QLatin1String("dct"), int(settings->getDCTMethod()));
    Preferences::setValue(toolKey + QLatin1String("progressive"), settings->isProgressive());
    Preferences::setValue(toolKey + QLatin1String("optimizeHuffman"),
                          settings->getOptimizeHuffman());
    Preferences::setValue(toolKey + QLatin1String("grayscaleOutput"),
                          settings->getGrayscaleOutput());
    Preferences::setValue(toolKey + QLatin1String("autoQuality"), settings->isAutoQualityEnabled());
    Preferences::setValue(toolKey + QLatin1String("quality"), settings->getQuality());
    Preferences::setValue(toolKey + QLatin1String("smoothing"), settings->getSmoothing());
    Preferences::setValue(toolKey + QLatin1String("history"), historyCheck->isChecked());
}

void ToolWindow::resetToDefaults()
{
    Preferences::resetToDefaults();
    JPEGSettings defaults;
    defaults.useAnnexKTables();
    *settings = defaults;
    editor->showSettings();
    historyCheck->setChecked(true);
    settingsChanged();
}

void ToolWindow::showQuantizationWindow()
{
    quantizationWindow->show();
}

void ToolWindow::showDownsamplingWindow()
{
    downsamplingWindow->show();
}

void ToolWindow::showHelpWindow()
{
    helpWindow->show();
}

void ToolWindow::showAboutWindow()
{
    aboutWindow->show();
}

void ToolWindow::showJpegProperties()
{
    propertiesWindow->show();
    propertiesWindow->raise();
}

void ToolWindow::useJpegSettings()
{
    // Said before anything changes: the user may keep the settings as they are.
    const QStringList missing = propertiesWindow->info().settingsNotReproduced();
    if (!missing.isEmpty() && !messagesToLog) {
        QStringList items;
        for (const QString& item : missing)
            items << item.toHtmlEscaped();
        const QString text =
            QStringLiteral("The encoder cannot reproduce these properties of the file:<ul><li>%1"
                           "</li></ul>Use the settings it can reproduce?")
                .arg(items.join(QStringLiteral("</li><li>")));
        if (QMessageBox::question(propertiesWindow, QStringLiteral("Use these settings"), text,
                                  QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::Yes) != QMessageBox::Yes)
            return;
    }
    propertiesWindow->info().copySettingsTo(*settings);
    settingsReplaced();
}

void ToolWindow::setDCTMethod(const QString& text)
{
    editor->setDCTMethod(text);
}
