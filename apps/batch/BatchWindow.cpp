#include "BatchWindow.h"

#include "DialogProgress.h"
#include "DownsamplingPairs.h"
#include "HelpWindow.h"
#include "QuantizationChooser.h"
#include "ResultsWindow.h"
#include "SettingsExpansion.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace {

const char* const pictureFilter =
    "Images (*.bmp *.ico *.JPEG *.JPG *.JNG *.KOALA *.LBM *.IFF *.LBM *.MNG *.PBM *.PBMRAW "
    "*.PCD *.PCX *.PGM *.PGMRAW *.PNG *.PPM *.PPMRAW *.RAS *.TARGA *.TIFF *.WBMP *.PSD *.CUT "
    "*.XBM *.XPM *.DDS *.GIF *.HDR)";

} // namespace

BatchWindow::BatchWindow(QWidget* parent) : QDialog(parent)
{
    create();
}

BatchWindow::~BatchWindow() = default;

QCheckBox* BatchWindow::addCheck(const char* text, const char* name, const char* toolTip)
{
    auto* check = new QCheckBox(QLatin1String(text), this);
    check->setObjectName(QLatin1String(name));
    if (toolTip)
        check->setToolTip(QLatin1String(toolTip));
    return check;
}

QLineEdit* BatchWindow::addEdit(QGridLayout* layout, int row, const char* label, const char* name,
                                int bottom, int top)
{
    QWidget* group = layout->parentWidget();
    auto* edit = new QLineEdit(group);
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(new QIntValidator(bottom, top, edit));
    edit->setMaximumSize(35, 17);
    layout->addWidget(new QLabel(QLatin1String(label), group), row, 0);
    layout->addWidget(edit, row, 1);
    return edit;
}

void BatchWindow::create()
{
    setWindowTitle(QStringLiteral("Tools"));
    setWindowIcon(QIcon(QStringLiteral("./img/pack.png")));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    auto* layout = new QGridLayout(this);
    int row = 0;

    auto* modeGroup = new QGroupBox(QStringLiteral("Mode"), this);
    modeGroup->setObjectName(QStringLiteral("modeGroup"));
    auto* modeLayout = new QVBoxLayout(modeGroup);
    baselineCheck = addCheck("Baseline", "baselineCheck", nullptr);
    extendedCheck = addCheck("Extended", "extendedCheck", nullptr);
    progressiveCheck = addCheck("Progressive", "progressiveCheck", "Create progressive JPEG");
    nonProgressiveCheck =
        addCheck("Non-progressive", "nonProgressiveCheck", "Create non-progressive JPEG");
    for (QCheckBox* check : {baselineCheck, extendedCheck, progressiveCheck, nonProgressiveCheck}) {
        check->setParent(modeGroup);
        modeLayout->addWidget(check);
    }
    layout->addWidget(modeGroup, row++, 0);

    quantizationButton = new QPushButton(QStringLiteral("Quantization"), this);
    quantizationButton->setObjectName(QStringLiteral("quantizationButton"));
    quantizationButton->setToolTip(QStringLiteral("Customize quantization tables"));
    layout->addWidget(quantizationButton, row++, 0);

    downsamplingButton = new QPushButton(QStringLiteral("Downsampling"), this);
    downsamplingButton->setObjectName(QStringLiteral("downsamplingButton"));
    downsamplingButton->setToolTip(QStringLiteral("Customize components' downsampling"));
    layout->addWidget(downsamplingButton, row++, 0);

    manualQualityCheck = addCheck("Manual quality", "manualQualityCheck", nullptr);
    layout->addWidget(manualQualityCheck, row++, 0);

    // Optional: filled, the manual-quality entries sweep the quality that
    // scales their custom tables; empty, they keep a single quality.
    tableQualityGroup = new QGroupBox(QStringLiteral("Table quality"), this);
    tableQualityGroup->setObjectName(QStringLiteral("tableQualityGroup"));
    tableQualityGroup->setToolTip(
        QStringLiteral("Quality that scales the custom tables of the manual quality entries; "
                       "leave empty to keep one quality"));
    auto* tableQualityLayout = new QGridLayout(tableQualityGroup);
    minTableQualityEdit =
        addEdit(tableQualityLayout, 0, "minimum", "minTableQualityEdit", 1, 100);
    maxTableQualityEdit =
        addEdit(tableQualityLayout, 1, "maximum", "maxTableQualityEdit", 1, 100);
    tableQualityStepEdit =
        addEdit(tableQualityLayout, 2, "step", "tableQualityStepEdit", -99, 99);
    layout->addWidget(tableQualityGroup, row++, 0);

    autoQualityCheck =
        addCheck("Auto quality", "autoQualityCheck", "Enable automatic quality setting");
    layout->addWidget(autoQualityCheck, row++, 0);

    autoQualityGroup = new QGroupBox(QStringLiteral("Auto quality"), this);
    autoQualityGroup->setObjectName(QStringLiteral("autoQualityGroup"));
    autoQualityGroup->setToolTip(QStringLiteral("Set automatic quality value"));
    auto* qualityLayout = new QGridLayout(autoQualityGroup);
    minQualityEdit = addEdit(qualityLayout, 0, "minimum", "minQualityEdit", 1, 100);
    maxQualityEdit = addEdit(qualityLayout, 1, "maximum", "maxQualityEdit", 1, 100);
    qualityStepEdit = addEdit(qualityLayout, 2, "step", "qualityStepEdit", -99, 99);
    layout->addWidget(autoQualityGroup, row++, 0);

    optimizeHuffmanCheck =
        addCheck("Optimize Huffman", "optimizeHuffmanCheck", "Enable Huffman tables optimization");
    layout->addWidget(optimizeHuffmanCheck, row++, 0);
    dontOptimizeHuffmanCheck =
        addCheck("Don't optimize Huffman", "dontOptimizeHuffmanCheck", nullptr);
    layout->addWidget(dontOptimizeHuffmanCheck, row++, 0);
    grayscaleOutputCheck =
        addCheck("Grayscale output", "grayscaleOutputCheck", "Create grayscale JPEG");
    layout->addWidget(grayscaleOutputCheck, row++, 0);
    colorOutputCheck = addCheck("Original output", "colorOutputCheck", nullptr);
    layout->addWidget(colorOutputCheck, row++, 0);

    auto* dctGroup = new QGroupBox(QStringLiteral("DCT"), this);
    dctGroup->setObjectName(QStringLiteral("dctGroup"));
    dctGroup->setToolTip(QStringLiteral("Choose DCT method"));
    auto* dctLayout = new QVBoxLayout(dctGroup);
    dctIntCheck = addCheck("int", "dctIntCheck", nullptr);
    dctFastCheck = addCheck("fast", "dctFastCheck", nullptr);
    dctFloatCheck = addCheck("float", "dctFloatCheck", nullptr);
    for (QCheckBox* check : {dctIntCheck, dctFastCheck, dctFloatCheck}) {
        check->setParent(dctGroup);
        dctLayout->addWidget(check);
    }
    layout->addWidget(dctGroup, row++, 0);

    auto* smoothingGroup = new QGroupBox(QStringLiteral("Smoothing"), this);
    smoothingGroup->setObjectName(QStringLiteral("smoothingGroup"));
    smoothingGroup->setToolTip(QStringLiteral("Set smoothing level"));
    auto* smoothingLayout = new QGridLayout(smoothingGroup);
    minSmoothingEdit = addEdit(smoothingLayout, 0, "minimum", "minSmoothingEdit", 1, 100);
    maxSmoothingEdit = addEdit(smoothingLayout, 1, "maximum", "maxSmoothingEdit", 1, 100);
    smoothingStepEdit = addEdit(smoothingLayout, 2, "step", "smoothingStepEdit", -99, 99);
    for (QLineEdit* edit : {minSmoothingEdit, maxSmoothingEdit, smoothingStepEdit})
        edit->setMaxLength(3);
    layout->addWidget(smoothingGroup, row++, 0);

    compressButton = new QPushButton(QStringLiteral("Compress"), this);
    compressButton->setObjectName(QStringLiteral("compressButton"));
    compressButton->setToolTip(QStringLiteral("Start compression"));
    compressButton->setDefault(true);
    compressButton->setEnabled(false);
    layout->addWidget(compressButton, row++, 0);

    createMenus(layout);

    connect(extendedCheck, &QCheckBox::toggled, this, &BatchWindow::setExtendedMode);
    connect(autoQualityCheck, &QCheckBox::toggled, autoQualityGroup, &QGroupBox::setEnabled);
    connect(manualQualityCheck, &QCheckBox::toggled, tableQualityGroup, &QGroupBox::setEnabled);
    connect(quantizationButton, &QPushButton::clicked, this, &BatchWindow::showQuantizationWindow);
    connect(downsamplingButton, &QPushButton::clicked, this, &BatchWindow::showDownsamplingWindow);
    connect(compressButton, &QPushButton::clicked, this, &BatchWindow::compressImages);

    summaryLabel = new QLabel(this);
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    summaryLabel->setWordWrap(true);
    layout->addWidget(summaryLabel, row++, 0, 1, -1);
    for (QCheckBox* check : findChildren<QCheckBox*>())
        connect(check, &QCheckBox::toggled, this, &BatchWindow::updateSweepSummary);
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        connect(edit, &QLineEdit::textChanged, this, &BatchWindow::updateSweepSummary);

    resultsWindow = new ResultsWindow(this);
    resultsWindow->setObjectName(QStringLiteral("resultsWindow"));
    quantizationChooser = std::make_unique<QuantizationChooser>();
    quantizationChooser->setObjectName(QStringLiteral("quantizationChooser"));
    quantizationChooser->installEventFilter(this);

    helpWindow = new HelpWindow(this);
    helpWindow->setObjectName(QStringLiteral("helpWindow"));
    helpWindow->setModal(true);
    helpWindow->setHtml("./doc/help2.html");
    helpWindow->resize(400, 300);

    aboutWindow = new HelpWindow(this);
    aboutWindow->setObjectName(QStringLiteral("aboutWindow"));
    aboutWindow->setWindowTitle(QStringLiteral("About"));
    aboutWindow->setModal(true);
    aboutWindow->setHtml("./doc/about.html");
}

void BatchWindow::createMenus(QGridLayout* layout)
{
    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));

    QMenu* fileMenu = menuBar->addMenu(QStringLiteral("File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    QAction* openAction = fileMenu->addAction(QStringLiteral("Open"));
    openAction->setObjectName(QStringLiteral("openAction"));
    connect(openAction, &QAction::triggered, this, &BatchWindow::openFiles);
    // Reports are written from the results window; this entry stays off.
    saveAsAction = fileMenu->addAction(QStringLiteral("Save as"));
    saveAsAction->setObjectName(QStringLiteral("saveAsAction"));
    saveAsAction->setEnabled(false);
    fileMenu->addSeparator();
    QAction* quitAction = fileMenu->addAction(QStringLiteral("Quit"));
    quitAction->setObjectName(QStringLiteral("quitAction"));
    connect(quitAction, &QAction::triggered, this, &BatchWindow::quit);

    QMenu* helpMenu = menuBar->addMenu(QStringLiteral("Help"));
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    QAction* helpAction = helpMenu->addAction(QStringLiteral("JPEG Help"));
    helpAction->setObjectName(QStringLiteral("helpAction"));
    connect(helpAction, &QAction::triggered, this, &BatchWindow::showHelpWindow);
    QAction* aboutAction = helpMenu->addAction(QStringLiteral("About"));
    aboutAction->setObjectName(QStringLiteral("aboutAction"));
    connect(aboutAction, &QAction::triggered, this, &BatchWindow::showAboutWindow);

    layout->setMenuBar(menuBar);
}

void BatchWindow::updateUI()
{
    baselineCheck->setChecked(settings.baseline);
    extendedCheck->setChecked(settings.extended);
    progressiveCheck->setChecked(settings.progressive);
    nonProgressiveCheck->setChecked(settings.nonProgressive);
    setExtendedMode(settings.extended);

    manualQualityCheck->setChecked(settings.manualQuality);
    autoQualityCheck->setChecked(settings.autoQuality);
    autoQualityGroup->setEnabled(settings.autoQuality);
    minQualityEdit->setText(QString::number(settings.minQuality));
    maxQualityEdit->setText(QString::number(settings.maxQuality));
    qualityStepEdit->setText(QString::number(settings.qualityStep));
    tableQualityGroup->setEnabled(settings.manualQuality);
    const auto tableQualityText = [this](int value) {
        return settings.tableQuality ? QString::number(value) : QString();
    };
    minTableQualityEdit->setText(tableQualityText(settings.minTableQuality));
    maxTableQualityEdit->setText(tableQualityText(settings.maxTableQuality));
    tableQualityStepEdit->setText(tableQualityText(settings.tableQualityStep));

    optimizeHuffmanCheck->setChecked(settings.optimizeHuffman);
    dontOptimizeHuffmanCheck->setChecked(settings.dontOptimizeHuffman);
    grayscaleOutputCheck->setChecked(settings.grayscaleOutput);
    colorOutputCheck->setChecked(settings.colorOutput);

    dctIntCheck->setChecked(settings.dctInt);
    dctFastCheck->setChecked(settings.dctFast);
    dctFloatCheck->setChecked(settings.dctFloat);

    minSmoothingEdit->setText(QString::number(settings.minSmoothing));
    maxSmoothingEdit->setText(QString::number(settings.maxSmoothing));
    smoothingStepEdit->setText(QString::number(settings.smoothingStep));
}

void BatchWindow::showError(const QString& message)
{
    QMessageBox::critical(this, QStringLiteral("Error"), message, QMessageBox::Ok);
}

BatchForm BatchWindow::formState() const
{
    BatchForm form;
    form.baseline = baselineCheck->isChecked();
    form.extended = extendedCheck->isChecked();
    form.progressive = progressiveCheck->isChecked();
    form.nonProgressive = nonProgressiveCheck->isChecked();
    form.manualQuality = manualQualityCheck->isChecked();
    form.autoQuality = autoQualityCheck->isChecked();
    form.minQuality = minQualityEdit->text();
    form.maxQuality = maxQualityEdit->text();
    form.qualityStep = qualityStepEdit->text();
    form.minTableQuality = minTableQualityEdit->text();
    form.maxTableQuality = maxTableQualityEdit->text();
    form.tableQualityStep = tableQualityStepEdit->text();
    form.optimizeHuffman = optimizeHuffmanCheck->isChecked();
    form.dontOptimizeHuffman = dontOptimizeHuffmanCheck->isChecked();
    form.grayscaleOutput = grayscaleOutputCheck->isChecked();
    form.colorOutput = colorOutputCheck->isChecked();
    form.dctInt = dctIntCheck->isChecked();
    form.dctFast = dctFastCheck->isChecked();
    form.dctFloat = dctFloatCheck->isChecked();
    form.minSmoothing = minSmoothingEdit->text();
    form.maxSmoothing = maxSmoothingEdit->text();
    form.smoothingStep = smoothingStepEdit->text();
    return form;
}

bool BatchWindow::isUIStateValid()
{
    const QString message = formState().check();
    if (message.isEmpty())
        return true;
    showError(message);
    return false;
}

void BatchWindow::updateData()
{
    formState().apply(settings);
}

void BatchWindow::setFiles(const QStringList& names)
{
    files = names;
    if (!files.isEmpty())
        compressButton->setEnabled(true);
    updateSweepSummary();
}

QString BatchWindow::sweepSummary() const
{
    // The form is read into the record the way "Compress" reads it, and the
    // record put back: the form reaches the settings only through a run.
    auto* self = const_cast<BatchWindow*>(this);
    const BatchSettings saved = settings;
    QString summary;
    try {
        self->updateData();
        const long long entries = countBatchEntries(settings);
        const long long compressions = entries * files.size();
        summary = QStringLiteral("%1 %2 \u00d7 %3 %4 = %5 %6")
                      .arg(entries)
                      .arg(entries == 1 ? QStringLiteral("entry") : QStringLiteral("entries"))
                      .arg(files.size())
                      .arg(files.size() == 1 ? QStringLiteral("picture") : QStringLiteral("pictures"))
                      .arg(compressions)
                      .arg(compressions == 1 ? QStringLiteral("compression") : QStringLiteral("compressions"));
        if (secondsPerCompression > 0 && compressions > 0) {
            const double seconds = secondsPerCompression * double(compressions);
            summary += seconds < 90 ? QStringLiteral(", about %1 s").arg(std::max(1.0, seconds), 0, 'f', 0)
                                    : seconds < 5400 ? QStringLiteral(", about %1 min").arg(seconds / 60, 0, 'f', 0)
                                                     : QStringLiteral(", about %1 h").arg(seconds / 3600, 0, 'f', 1);
        }
    } catch (const std::invalid_argument& error) {
        summary = QString::fromUtf8(error.what());
    }
    self->settings = saved;
    return summary;
}

void BatchWindow::updateSweepSummary()
{
    if (summaryLabel)
        summaryLabel->setText(sweepSummary());
}

bool BatchWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == quantizationChooser.get() && event->type() == QEvent::Hide)
        updateSweepSummary();
    return QDialog::eventFilter(watched, event);
}

void BatchWindow::openFiles()
{
    setFiles(QFileDialog::getOpenFileNames(this, QStringLiteral("Choose images"),
                                           QStringLiteral("."), QLatin1String(pictureFilter)));
}

bool BatchWindow::loadDownsamplingPairs(const QString& path)
{
    const bool loaded = DownsamplingPairs::load(path, settings.downsamplingPairs);
    updateSweepSummary();
    return loaded;
}

void BatchWindow::showDownsamplingWindow()
{
    const QString name = QFileDialog::getOpenFileName(this, QStringLiteral("Open table"),
                                                      QStringLiteral("."), QStringLiteral("*.txt"));
    if (name.isEmpty())
        return;
    loadDownsamplingPairs(name);
}

void BatchWindow::showQuantizationWindow()
{
    quantizationChooser->setSettings(&settings);
    quantizationChooser->show();
}

void BatchWindow::showHelpWindow()
{
    helpWindow->show();
}

void BatchWindow::showAboutWindow()
{
    aboutWindow->show();
}

void BatchWindow::setExtendedMode(bool set)
{
    progressiveCheck->setEnabled(set);
    nonProgressiveCheck->setEnabled(set);
}

void BatchWindow::quit()
{
    QCoreApplication::quit();
}

void BatchWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    QCoreApplication::quit();
}

void BatchWindow::reject()
{
    close();
}

void BatchWindow::compressImages()
{
    // The run lets the event loop turn around each step; a second press
    // arriving then must not start a run inside the run.
    if (running)
        return;
    if (!isUIStateValid())
        return;
    try {
        updateData();
    } catch (const std::invalid_argument& error) {
        showError(QString::fromUtf8(error.what()));
        return;
    }
    doCompress();
}

void BatchWindow::doCompress()
{
    running = true;
    auto* dialog = new QProgressDialog(QStringLiteral("Creating settings"),
                                       QStringLiteral("Cancel"), 0, 1000, this);
    dialog->setObjectName(QStringLiteral("progressDialog"));
    // While the run turns the event loop, the form and its buttons stay
    // blocked.
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(5);
    dialog->setAutoClose(false);
    dialog->setAutoReset(true);

    // The run works on copies: the table pair chooser is not modal and may
    // replace the table lists while the expansion walks them.
    BatchSettings sweep = settings;
    const QStringList runFiles = files;
    DialogProgress progress(dialog);
    std::vector<JPEGSettings> settingsList = expandBatchSettings(sweep, &progress);

    // The reset also forgets a Cancel of the first phase: what was expanded
    // until then is compressed.
    dialog->reset();
    dialog->setLabelText(QStringLiteral("Compressing files"));
    dialog->setAutoReset(false);
    dialog->setAutoClose(true);
    const qint64 steps = qint64(runFiles.size()) * qint64(settingsList.size());
    dialog->setMaximum(int(std::min<qint64>(steps, INT_MAX)));

    QElapsedTimer clock;
    clock.start();
    std::vector<ResultStat> results = batchCompressor.compress(runFiles, settingsList, &progress);
    if (!results.empty())
        secondsPerCompression = double(clock.elapsed()) / 1000.0 / double(results.size());
    updateSweepSummary();

    dialog->setValue(int(std::min<std::size_t>(results.size(), INT_MAX)));
    dialog->close();
    delete dialog;

    resultsWindow->show(&settingsList, &results);
    running = false;
}
