// SPDX-License-Identifier: GPL-3.0-or-later
#include "RDChart.h"

#include "ResultTableModel.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMenu>
#include <QPainter>
#include <QPen>
#include <QSpinBox>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <cmath>
#include <limits>

namespace {

struct FigureChoice
{
    const char* column;
    const char* name;
};

const FigureChoice figureChoices[] = {
    {"psnr", "PSNR (dB)"},
    {"psnr_y", "PSNR-Y (dB)"},
    {"ssim", "SSIM"},
    {"ms_ssim", "MS-SSIM"},
    {"mse", "MSE"},
    {"ssimulacra2", "SSIMULACRA 2"},
    {"butteraugli", "Butteraugli (lower is better)"},
    {"butteraugli_3norm", "Butteraugli 3-norm (lower is better)"},
};

QString figureName(const QString& column)
{
    for (const FigureChoice& f : figureChoices)
        if (column == QLatin1String(f.column))
            return QLatin1String(f.name);
    return column;
}

// Curves of one setting share a colour, curves of one picture a line style.
QColor curveColour(int group)
{
    static const QColor colours[] = {
        QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
        QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
        QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
        QColor(0x17, 0xbe, 0xcf),
    };
    const int n = int(sizeof colours / sizeof colours[0]);
    const QColor base = colours[group % n];
    // Past the palette, darker shades of it.
    return group < n ? base : base.darker(100 + 40 * (group / n));
}

Qt::PenStyle pictureStyle(int picture)
{
    static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                          Qt::DashDotDotLine};
    return styles[picture % 5];
}

QString deltaText(const std::optional<double>& value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("n/a");
}

} // namespace

RDChart::RDChart(ResultTableModel* model, QWidget* parent) : QWidget(parent), model(model)
{
    figureCombo = new QComboBox(this);
    figureCombo->setObjectName(QStringLiteral("figureCombo"));
    for (const FigureChoice& f : figureChoices)
        figureCombo->addItem(QLatin1String(f.name), QLatin1String(f.column));
    logCheck = new QCheckBox(QStringLiteral("Logarithmic bpp"), this);
    logCheck->setObjectName(QStringLiteral("logRateCheck"));
    averageCheck = new QCheckBox(QStringLiteral("Average over pictures"), this);
    averageCheck->setObjectName(QStringLiteral("averageCheck"));
    curveByButton = new QToolButton(this);
    curveByButton->setObjectName(QStringLiteral("curveByButton"));
    curveByButton->setText(QStringLiteral("Curves by"));
    curveByButton->setToolTip(
        QStringLiteral("The settings that tell curves apart; results that agree "
                       "in the chosen ones share a curve"));
    curveByButton->setPopupMode(QToolButton::InstantPopup);
    curveByButton->setMenu(new QMenu(curveByButton));
    exportWidth = new QSpinBox(this);
    exportWidth->setObjectName(QStringLiteral("exportWidth"));
    exportWidth->setRange(100, 10000);
    exportWidth->setValue(1200);
    exportWidth->setSuffix(QStringLiteral(" px"));
    exportHeight = new QSpinBox(this);
    exportHeight->setObjectName(QStringLiteral("exportHeight"));
    exportHeight->setRange(100, 10000);
    exportHeight->setValue(800);
    exportHeight->setSuffix(QStringLiteral(" px"));
    exportButton = new QToolButton(this);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    exportButton->setText(QStringLiteral("Export..."));
    exportButton->setToolTip(QStringLiteral("Save the chart as PNG or SVG at the size beside"));

    view = new QChartView(this);
    view->setObjectName(QStringLiteral("chartView"));
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(400, 300);
    view->chart()->legend()->setAlignment(Qt::AlignRight);

    referenceCombo = new QComboBox(this);
    referenceCombo->setObjectName(QStringLiteral("referenceCombo"));
    referenceCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    deltaTable = new QTableWidget(this);
    deltaTable->setObjectName(QStringLiteral("bdTable"));
    deltaTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    deltaTable->verticalHeader()->hide();

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Figure"), this));
    controls->addWidget(figureCombo);
    controls->addWidget(logCheck);
    controls->addWidget(curveByButton);
    controls->addWidget(averageCheck);
    controls->addStretch(1);
    controls->addWidget(exportWidth);
    controls->addWidget(new QLabel(QStringLiteral("x"), this));
    controls->addWidget(exportHeight);
    controls->addWidget(exportButton);

    auto* deltas = new QWidget(this);
    auto* deltaLayout = new QVBoxLayout(deltas);
    deltaLayout->setContentsMargins(0, 0, 0, 0);
    auto* referenceRow = new QHBoxLayout;
    referenceRow->addWidget(new QLabel(QStringLiteral("Bjøntegaard deltas against"), deltas));
    referenceRow->addWidget(referenceCombo);
    referenceRow->addStretch(1);
    deltaLayout->addLayout(referenceRow);
    deltaLayout->addWidget(deltaTable);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(view);
    splitter->addWidget(deltas);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({700, 220});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(controls);
    layout->addWidget(splitter);

    connect(figureCombo, &QComboBox::currentIndexChanged, this,
            [this] { setFigure(figureCombo->currentData().toString()); });
    connect(logCheck, &QCheckBox::toggled, this, &RDChart::setLogarithmicRate);
    connect(averageCheck, &QCheckBox::toggled, this, &RDChart::setAveraged);
    connect(curveByButton->menu(), &QMenu::aboutToShow, this, &RDChart::fillCurveByMenu);
    connect(exportButton, &QToolButton::clicked, this, &RDChart::exportChart);
    connect(referenceCombo, &QComboBox::currentIndexChanged, this, &RDChart::rebuildDeltas);
}

QChart* RDChart::chart() const
{
    return view->chart();
}

void RDChart::setFigure(const QString& column)
{
    options.figure = column;
    const int index = figureCombo->findData(column);
    if (index >= 0 && index != figureCombo->currentIndex()) {
        const QSignalBlocker block(figureCombo);
        figureCombo->setCurrentIndex(index);
    }
    rebuild();
}

void RDChart::setCurveBy(const QStringList& columns)
{
    options.curveBy = columns;
    rebuild();
}

void RDChart::setAveraged(bool on)
{
    average = on;
    const QSignalBlocker block(averageCheck);
    averageCheck->setChecked(on);
    rebuildChart();
}

void RDChart::setLogarithmicRate(bool on)
{
    logarithmic = on;
    const QSignalBlocker block(logCheck);
    logCheck->setChecked(on);
    rebuildChart();
}

void RDChart::setReference(int index)
{
    referenceCombo->setCurrentIndex(index);
}

void RDChart::fillCurveByMenu()
{
    QMenu* menu = curveByButton->menu();
    menu->clear();
    for (const QString& column : SweepColumns::settings()) {
        QAction* action = menu->addAction(column);
        action->setObjectName(QStringLiteral("curveBy_") + column);
        action->setCheckable(true);
        action->setChecked(options.curveBy.contains(column));
        connect(action, &QAction::toggled, this, [this, column](bool on) {
            QStringList columns;
            // Keep the settings' own order whatever the order of the clicks.
            for (const QString& c : SweepColumns::settings())
                if (c == column ? on : options.curveBy.contains(c))
                    columns.append(c);
            setCurveBy(columns);
        });
    }
}

void RDChart::rebuild()
{
    perPicture = Curves::perPicture(*model, options);
    rebuildChart();

    // The reference choice survives a rebuild when its curve still exists.
    const QStringList previous =
        referenceCombo->currentIndex() >= 0 &&
                std::size_t(referenceCombo->currentIndex()) < referenceKeys.size()
            ? referenceKeys[std::size_t(referenceCombo->currentIndex())]
            : QStringList();
    const std::vector<Curves::Curve> groups = Curves::averaged(perPicture);
    const std::vector<int> positions = Curves::distinguishing(groups);
    referenceKeys.clear();
    {
        const QSignalBlocker block(referenceCombo);
        referenceCombo->clear();
        QStringList labels;
        for (const Curves::Curve& group : groups) {
            referenceKeys.push_back(group.key);
            labels.append(Curves::label(group, options.curveBy, positions));
        }
        referenceCombo->addItems(labels);
        int keep = 0;
        for (std::size_t i = 0; i < referenceKeys.size(); ++i)
            if (referenceKeys[i] == previous)
                keep = int(i);
        referenceCombo->setCurrentIndex(referenceKeys.empty() ? -1 : keep);
    }
    rebuildDeltas();
}

QString RDChart::curveName(const Curves::Curve& curve, const std::vector<int>& positions) const
{
    QString name = Curves::label(curve, options.curveBy, positions);
    if (!average)
        name = QFileInfo(curve.picture).fileName() + QStringLiteral(": ") + name;
    return name;
}

void RDChart::rebuildChart()
{
    shown = average ? Curves::averaged(perPicture) : perPicture;
    // A chart of thousands of series takes seconds to draw and cannot be
    // read; the first ones are drawn and the title says so.
    const std::size_t total = shown.size();
    if (shown.size() > MAX_CURVES)
        shown.resize(MAX_CURVES);
    // Named by what tells the settings apart, whatever the picture.
    const std::vector<int> positions = Curves::distinguishing(Curves::averaged(perPicture));

    QChart* chart = view->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }

    QAbstractAxis* x = nullptr;
    if (logarithmic) {
        auto* axis = new QLogValueAxis;
        axis->setBase(10);
        axis->setLabelFormat(QStringLiteral("%g"));
        axis->setMinorTickCount(8);
        x = axis;
    } else {
        auto* axis = new QValueAxis;
        axis->setLabelFormat(QStringLiteral("%.2f"));
        x = axis;
    }
    x->setTitleText(QStringLiteral("bits per pixel"));
    auto* y = new QValueAxis;
    y->setTitleText(figureName(options.figure));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    double minRate = std::numeric_limits<double>::infinity();
    double maxRate = 0;
    double minFigure = std::numeric_limits<double>::infinity();
    double maxFigure = -std::numeric_limits<double>::infinity();
    QHash<QString, int> groups;
    QHash<QString, int> pictures;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        auto* series = new QLineSeries;
        series->setName(curveName(shown[i], positions));
        series->setPointsVisible(true);
        const QString group = shown[i].key.join(QChar(0x1f));
        const int groupIndex = *groups.insert(group, groups.value(group, int(groups.size())));
        const int pictureIndex = *pictures.insert(
            shown[i].picture, pictures.value(shown[i].picture, int(pictures.size())));
        QPen pen(curveColour(groupIndex), 2);
        pen.setStyle(pictureStyle(pictureIndex));
        series->setPen(pen);
        for (const Curves::Point& p : shown[i].points) {
            series->append(p.rate, p.figure);
            minRate = std::min(minRate, p.rate);
            maxRate = std::max(maxRate, p.rate);
            minFigure = std::min(minFigure, p.figure);
            maxFigure = std::max(maxFigure, p.figure);
        }
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
        const int curve = int(i);
        connect(series, &QLineSeries::hovered, this, [this, curve](const QPointF& at, bool state) {
            if (state)
                QToolTip::showText(QCursor::pos(), pointText(curve, nearestPoint(curve, at)), view);
            else
                QToolTip::hideText();
        });
        connect(series, &QLineSeries::clicked, this, [this, curve](const QPointF& at) {
            const int point = nearestPoint(curve, at);
            if (point >= 0 && !shown[std::size_t(curve)].points[std::size_t(point)].rows.empty())
                emit rowClicked(shown[std::size_t(curve)].points[std::size_t(point)].rows.front());
        });
    }
    if (maxRate > 0) {
        const double figureMargin = std::max((maxFigure - minFigure) * 0.05, 1e-6);
        y->setRange(minFigure - figureMargin, maxFigure + figureMargin);
        y->applyNiceNumbers();
        if (logarithmic) {
            x->setRange(minRate / 1.1, maxRate * 1.1);
        } else {
            auto* linear = static_cast<QValueAxis*>(x);
            linear->setRange(std::max(0.0, minRate - (maxRate - minRate) * 0.05),
                             maxRate + (maxRate - minRate) * 0.05 + 1e-6);
            linear->applyNiceNumbers();
        }
    }
    chart->legend()->setVisible(!shown.empty() && shown.size() <= 40);
    QString title =
        shown.empty() ? QStringLiteral("No results with this figure")
                      : QStringLiteral("%1 against bits per pixel").arg(figureName(options.figure));
    if (total > shown.size())
        title += QStringLiteral(" (the first %1 of %2 curves: choose fewer settings under "
                                "\u201cCurves by\u201d or average over pictures)")
                     .arg(shown.size())
                     .arg(total);
    chart->setTitle(title);
}

void RDChart::rebuildDeltas()
{
    const int index = referenceCombo->currentIndex();
    const QString figure = figureName(options.figure).section(QLatin1Char(' '), 0, 0);
    deltaTable->clear();
    deltaTable->setColumnCount(5);
    deltaTable->setHorizontalHeaderLabels({QStringLiteral("Picture"), QStringLiteral("Curve"),
                                           QStringLiteral("Points"), QStringLiteral("BD-rate (%)"),
                                           QStringLiteral("BD-") + figure});
    if (index < 0 || std::size_t(index) >= referenceKeys.size()) {
        deltaTable->setRowCount(0);
        return;
    }
    const std::vector<int> positions = Curves::distinguishing(Curves::averaged(perPicture));
    const auto lines = Curves::deltas(perPicture, referenceKeys[std::size_t(index)]);
    deltaTable->setRowCount(int(lines.size()));
    const int decimals = options.figure.contains(QLatin1String("ssim")) ? 5 : 3;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Curves::Delta& line = lines[i];
        const Curves::Curve named{QString(), line.key, {}, 1};
        const QStringList cells{
            line.mean ? QStringLiteral("mean") : QFileInfo(line.picture).fileName(),
            Curves::label(named, options.curveBy, positions), QString::number(line.points),
            deltaText(line.rate, 2), deltaText(line.figure, decimals)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c >= 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (line.mean) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            deltaTable->setItem(int(i), c, item);
        }
    }
    deltaTable->resizeColumnsToContents();
}

int RDChart::nearestPoint(int curve, const QPointF& value) const
{
    if (curve < 0 || std::size_t(curve) >= shown.size())
        return -1;
    const auto& points = shown[std::size_t(curve)].points;
    // Distances measured in the plot's pixels so both axes count alike.
    const QPointF at = view->chart()->mapToPosition(value);
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QPointF p = view->chart()->mapToPosition(QPointF(points[i].rate, points[i].figure));
        const double d = std::hypot(p.x() - at.x(), p.y() - at.y());
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
        }
    }
    return best;
}

QString RDChart::pointText(int curve, int point) const
{
    if (curve < 0 || std::size_t(curve) >= shown.size() || point < 0 ||
        std::size_t(point) >= shown[std::size_t(curve)].points.size())
        return QString();
    const Curves::Curve& c = shown[std::size_t(curve)];
    const Curves::Point& p = c.points[std::size_t(point)];
    if (!average && p.rows.size() == 1)
        return model->describe(p.rows.front());
    const std::vector<int> positions = Curves::distinguishing(Curves::averaged(perPicture));
    QStringList lines;
    lines.append(average ? QStringLiteral("mean of %1 pictures").arg(c.pictures) : c.picture);
    lines.append(Curves::label(c, options.curveBy, positions));
    lines.append(QStringLiteral("quality: %1").arg(p.quality));
    lines.append(QStringLiteral("bpp: %1").arg(p.rate, 0, 'g', 6));
    lines.append(QStringLiteral("%1: %2").arg(options.figure).arg(p.figure, 0, 'g', 6));
    lines.append(QStringLiteral("mean of %1 results").arg(p.rows.size()));
    return lines.join(QLatin1Char('\n'));
}

bool RDChart::exportTo(const QString& path, const QSize& size)
{
    QChart* chart = view->chart();
    const QSizeF old = chart->size();
    chart->resize(size);
    const QRectF source = chart->sceneBoundingRect();
    const QRectF target(QPointF(0, 0), QSizeF(size));
    bool ok = false;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(target);
        svg.setTitle(chart->title());
        QPainter painter;
        if (painter.begin(&svg)) {
            chart->scene()->render(&painter, target, source);
            ok = painter.end();
        }
        ok = ok && QFileInfo(path).size() > 0;
    } else {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        chart->scene()->render(&painter, target, source);
        painter.end();
        ok = image.save(path);
    }
    chart->resize(old);
    return ok;
}

void RDChart::exportChart()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export chart"), QStringLiteral("chart.png"),
        QStringLiteral("PNG picture (*.png);;SVG drawing (*.svg)"));
    if (path.isEmpty())
        return;
    if (!exportTo(path, QSize(exportWidth->value(), exportHeight->value())))
        QToolTip::showText(exportButton->mapToGlobal(QPoint(0, 0)),
                           QStringLiteral("Couldn't write %1").arg(path), exportButton);
}
