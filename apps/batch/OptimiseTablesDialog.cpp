// SPDX-License-Identifier: GPL-3.0-or-later
#include "OptimiseTablesDialog.h"

#include "QuantizationWindow.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>

#include <cmath>

OptimiseTablesDialog::OptimiseTablesDialog(QWidget* parent) : QDialog(parent)
{
    create();
}

OptimiseTablesDialog::~OptimiseTablesDialog()
{
    if (worker) {
        cancelled = true;
        worker->wait();
    }
}

void OptimiseTablesDialog::create()
{
    setWindowTitle(QStringLiteral("Optimise quantization tables"));
    auto* layout = new QVBoxLayout(this);
    picturesLabel = new QLabel(this);
    picturesLabel->setObjectName(QStringLiteral("picturesLabel"));
    picturesLabel->setWordWrap(true);
    layout->addWidget(picturesLabel);
    layout->addLayout(createForm());

    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    layout->addWidget(statusLabel);
    reportView = new QPlainTextEdit(this);
    reportView->setObjectName(QStringLiteral("reportView"));
    reportView->setReadOnly(true);
    reportView->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    reportView->setFont(fixed);
    reportView->setMinimumSize(820, 240);
    layout->addWidget(reportView, 1);
    layout->addLayout(createButtons());
    setPictures({});
}

QFormLayout* OptimiseTablesDialog::createForm()
{
    auto* form = new QFormLayout;
    metricBox = new QComboBox(this);
    metricBox->setObjectName(QStringLiteral("metricBox"));
    for (int m = 0; m < RealEncodes::METRIC_COUNT; ++m)
        metricBox->addItem(QLatin1String(RealEncodes::key(RealEncodes::Metric(m))));
    metricBox->setToolTip(QStringLiteral(
        "The figure the BD-rate is minimised on. PSNR rewards fine colours and high "
        "frequencies, MS-SSIM fine low frequencies: tables good for one are worse in the other."));
    form->addRow(QStringLiteral("&Metric:"), metricBox);
    qualityEdit = new QLineEdit(QStringLiteral("30:90:10"), this);
    qualityEdit->setObjectName(QStringLiteral("qualityEdit"));
    form->addRow(QStringLiteral("&Qualities (min:max:step):"), qualityEdit);
    modeBox = new QComboBox(this);
    modeBox->setObjectName(QStringLiteral("modeBox"));
    modeBox->addItems({QStringLiteral("baseline"), QStringLiteral("extended")});
    form->addRow(QStringLiteral("M&ode:"), modeBox);
    timeLimitBox = new QSpinBox(this);
    timeLimitBox->setObjectName(QStringLiteral("timeLimitBox"));
    timeLimitBox->setRange(2, 3600);
    timeLimitBox->setValue(90);
    timeLimitBox->setSuffix(QStringLiteral(" s"));
    form->addRow(QStringLiteral("&Time limit:"), timeLimitBox);
    return form;
}

QHBoxLayout* OptimiseTablesDialog::createButtons()
{
    auto* buttons = new QHBoxLayout;
    startButton = new QPushButton(QStringLiteral("&Start"), this);
    startButton->setObjectName(QStringLiteral("startButton"));
    cancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setEnabled(false);
    editorButton = new QPushButton(QStringLiteral("Open in &editor"), this);
    editorButton->setObjectName(QStringLiteral("editorButton"));
    editorButton->setEnabled(false);
    auto* closeButton = new QPushButton(QStringLiteral("C&lose"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    buttons->addWidget(startButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch(1);
    buttons->addWidget(editorButton);
    buttons->addWidget(closeButton);
    connect(startButton, &QPushButton::clicked, this, &OptimiseTablesDialog::start);
    connect(cancelButton, &QPushButton::clicked, this, &OptimiseTablesDialog::cancel);
    connect(editorButton, &QPushButton::clicked, this, &OptimiseTablesDialog::openInEditor);
    connect(closeButton, &QPushButton::clicked, this, &OptimiseTablesDialog::reject);
    return buttons;
}

void OptimiseTablesDialog::setPictures(const QStringList& files)
{
    pictures = files;
    picturesLabel->setText(
        files.isEmpty()
            ? QStringLiteral("No pictures: choose them in the Tools window (File > Open) first.")
            : QStringLiteral("Training on the Tools window's %1 picture(s).").arg(files.size()));
    startButton->setEnabled(!files.isEmpty() && !worker);
}

void OptimiseTablesDialog::start()
{
    if (worker || pictures.isEmpty())
        return;
    TableOptimiser::Options o;
    if (!TableOptimiser::parseQualities(qualityEdit->text(), o.qualities)) {
        statusLabel->setText(
            QStringLiteral("Qualities: MIN:MAX:STEP within 1..100, four qualities or more."));
        return;
    }
    o.training = pictures;
    RealEncodes::fromKey(metricBox->currentText(), o.metric);
    o.baseline = modeBox->currentIndex() == 0;
    o.timeLimit = timeLimitBox->value();
    options = o;
    cancelled = false;
    pending = std::make_shared<TableOptimiser::Result>();
    // The run's progress comes from its own thread as plain values.
    const TableOptimiser::StatusCallback status = [this](const TableOptimiser::Status& s) {
        QMetaObject::invokeMethod(
            this, [this, s] { showStatus(s); }, Qt::QueuedConnection);
    };
    const std::shared_ptr<TableOptimiser::Result> into = pending;
    std::atomic<bool>* flag = &cancelled;
    worker =
        QThread::create([o, status, into, flag] { *into = TableOptimiser::run(o, status, flag); });
    connect(worker, &QThread::finished, this, &OptimiseTablesDialog::ended);
    startButton->setEnabled(false);
    cancelButton->setEnabled(true);
    editorButton->setEnabled(false);
    reportView->clear();
    statusLabel->setText(QStringLiteral("Starting..."));
    worker->start();
}

void OptimiseTablesDialog::cancel()
{
    if (!worker)
        return;
    cancelled = true;
    cancelButton->setEnabled(false);
    statusLabel->setText(QStringLiteral("Cancelling..."));
}

void OptimiseTablesDialog::showStatus(const TableOptimiser::Status& s)
{
    if (!worker || cancelled)
        return;
    if (s.phase == QLatin1String("searching"))
        statusLabel->setText(std::isfinite(s.best)
                                 ? QStringLiteral("Searching: %1 evaluations, best estimate %2 %")
                                       .arg(s.evaluations)
                                       .arg(s.best, 0, 'f', 2)
                                 : QStringLiteral("Searching: %1 evaluations").arg(s.evaluations));
    else
        statusLabel->setText(QStringLiteral("%1%2 by real encodes...")
                                 .arg(s.phase.left(1).toUpper(), s.phase.mid(1)));
}

void OptimiseTablesDialog::ended()
{
    worker->deleteLater();
    worker = nullptr;
    outcome = *pending;
    pending.reset();
    cancelButton->setEnabled(false);
    startButton->setEnabled(!pictures.isEmpty());
    if (outcome.cancelled)
        statusLabel->setText(QStringLiteral("Cancelled."));
    else if (!outcome.ok())
        statusLabel->setText(QStringLiteral("Failed: %1").arg(outcome.error));
    else {
        statusLabel->setText(QStringLiteral("Done."));
        reportView->setPlainText(TableOptimiser::reportText(outcome, options));
        editorButton->setEnabled(true);
    }
    emit optimisationEnded();
}

void OptimiseTablesDialog::openInEditor()
{
    if (!outcome.ok() || outcome.rows.empty())
        return;
    record = JPEGSettings();
    record.setAutoQualityEnabled(false);
    record.setQuality(options.qualities[options.qualities.size() / 2]);
    record.setCompressionMode(options.baseline ? JPEGSettings::BASELINE : JPEGSettings::EXTENDED);
    record.qtables[0] = outcome.luma;
    record.qtables[1] = outcome.chroma;
    bool* current = record.getCurrentQuantizationTables();
    current[0] = current[1] = true;
    current[2] = current[3] = false;
    if (!tableEditor) {
        tableEditor = new QuantizationWindow(this);
        tableEditor->setObjectName(QStringLiteral("optimisedTablesEditor"));
    }
    tableEditor->setSettings(&record);
    tableEditor->show();
    tableEditor->raise();
}

void OptimiseTablesDialog::reject()
{
    cancel();
    QDialog::reject();
}
