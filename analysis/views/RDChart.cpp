// SPDX-License-Identifier: GPL-3.0-or-later
#include "RDChart.h"

#include "Figures.h"
#include "FileWrite.h"
#include "RDChartLegend.h"
#include "ResultTableModel.h"
#include "SweepRows.h"

#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsLayout>
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
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QPolygonF>
#include <QSpinBox>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A figure as the chart names it: "PSNR (dB)", "MSE (lower is better)".
QString figureName(const QString& column)
{
    const FigureInfo* f = SweepColumns::figureOf(column);
    if (!f)
        return column;
    QString name = QLatin1String(f->name);
    const QString unit = QString::fromUtf8(f->unit).trimmed();
    if (!unit.isEmpty())
        name += QStringLiteral(" (%1)").arg(unit);
    if (f->lowerIsBetter)
        name += QStringLiteral(" (lower is better)");
    return name;
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

// Curves that differ in settings other than the compared ones: dashes.
Qt::PenStyle lineStyle(int index)
{
    static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                          Qt::DashDotDotLine};
    return styles[index % 5];
}

// Curves of one picture share a marker shape: circle, square, triangle,
// diamond, downward triangle, cross, plus, star; past those, the same shapes
// hollow.
QImage markerImage(int picture, const QColor& colour, int size)
{
    const qreal scale = 4; // drawn large, so the shapes stay sharp when exported
    QImage image(int(size * scale), int(size * scale), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = image.width();
    const qreal m = s * 0.12;
    const QRectF box(m, m, s - 2 * m, s - 2 * m);
    const int shape = picture % 8;
    const bool hollow = (picture / 8) % 2 == 1;
    painter.setPen(QPen(colour.darker(130), s * 0.1));
    painter.setBrush(hollow ? QBrush(Qt::white) : QBrush(colour));
    const QPointF c = box.center();
    switch (shape) {
    case 0:
        painter.drawEllipse(box);
        break;
    case 1:
        painter.drawRect(box.adjusted(s * 0.05, s * 0.05, -s * 0.05, -s * 0.05));
        break;
    case 2:
        painter.drawPolygon(
            QPolygonF{QPointF(c.x(), box.top()), box.bottomRight(), box.bottomLeft()});
        break;
    case 3:
        painter.drawPolygon(QPolygonF{QPointF(c.x(), box.top()), QPointF(box.right(), c.y()),
                                      QPointF(c.x(), box.bottom()), QPointF(box.left(), c.y())});
        break;
    case 4:
        painter.drawPolygon(QPolygonF{box.topLeft(), box.topRight(), QPointF(c.x(), box.bottom())});
        break;
    case 5:
        painter.setPen(QPen(colour, s * 0.18));
        painter.drawLine(box.topLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomLeft());
        break;
    case 6:
        painter.setPen(QPen(colour, s * 0.18));
        painter.drawLine(QPointF(c.x(), box.top()), QPointF(c.x(), box.bottom()));
        painter.drawLine(QPointF(box.left(), c.y()), QPointF(box.right(), c.y()));
        break;
    default: {
        QPolygonF star;
        for (int k = 0; k < 10; ++k) {
            const qreal r = (k % 2 ? 0.22 : 0.5) * box.width();
            const qreal a = -M_PI / 2 + k * M_PI / 5;
            star << QPointF(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
        }
        painter.drawPolygon(star);
    }
    }
    painter.end();
    return image;
}

// A setting as a legend says it: short words for the flags.
QString settingText(const QString& column, const QString& value)
{
    const bool on = value == QLatin1String("1");
    if (column == QLatin1String("mode"))
        return value;
    if (column == QLatin1String("progressive"))
        return on ? QStringLiteral("progressive") : QStringLiteral("sequential");
    if (column == QLatin1String("optimize_huffman"))
        return on ? QStringLiteral("optimised Huffman") : QStringLiteral("standard Huffman");
    if (column == QLatin1String("auto_quality"))
        return on ? QStringLiteral("auto quality") : QStringLiteral("table quality");
    if (column == QLatin1String("grayscale"))
        return on ? QStringLiteral("grey") : QStringLiteral("colour");
    if (column == QLatin1String("luminance_table"))
        return QStringLiteral("Y table ") + value;
    if (column == QLatin1String("chrominance_table"))
        return QStringLiteral("C table ") + value;
    return column + QLatin1Char(' ') + value;
}

// A step of 1, 2 or 5 times a power of ten giving about `ticks` intervals.
double niceStep(double span, int ticks)
{
    const double raw = span / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (raw <= m * power)
            return m * power;
    return 10 * power;
}

// Applies a chart's pending layout, and the legend's room that follows it.
void settleLayout(QChart* chart)
{
    for (int round = 0; round < 2 && chart->layout(); ++round)
        chart->layout()->activate();
}

QString deltaText(const std::optional<double>& value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("n/a");
}

} // namespace

RDChart::RDChart(ResultTableModel* model, QWidget* parent) : QWidget(parent), model(model)
{
    createControls();
    createChartView();
    createDeltaTable();
    layOut();
    connect(figureCombo, &QComboBox::currentIndexChanged, this,
            [this] { setFigure(figureCombo->currentData().toString()); });
    connect(logCheck, &QCheckBox::toggled, this, &RDChart::setLogarithmicRate);
    connect(averageCheck, &QCheckBox::toggled, this, &RDChart::setAveraged);
    connect(curveByButton->menu(), &QMenu::aboutToShow, this, &RDChart::fillCurveByMenu);
    connect(exportButton, &QToolButton::clicked, this, &RDChart::exportChart);
    connect(referenceCombo, &QComboBox::currentIndexChanged, this, &RDChart::rebuildDeltas);
}

void RDChart::createControls()
{
    figureCombo = new QComboBox(this);
    figureCombo->setObjectName(QStringLiteral("figureCombo"));
    for (const QString& column : SweepColumns::figures()) {
        figureCombo->addItem(figureName(column), column);
        figureCombo->setItemData(figureCombo->count() - 1,
                                 QLatin1String(SweepColumns::figureOf(column)->definition),
                                 Qt::ToolTipRole);
    }
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
    createExportControls();
}

void RDChart::createExportControls()
{
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
    exportDpi = new QSpinBox(this);
    exportDpi->setObjectName(QStringLiteral("exportDpi"));
    exportDpi->setRange(72, 1200);
    exportDpi->setValue(96);
    exportDpi->setSuffix(QStringLiteral(" dpi"));
    exportDpi->setToolTip(QStringLiteral("The PNG's resolution: the chart laid out at the size "
                                         "beside and drawn with this many pixels per inch"));
    exportButton = new QToolButton(this);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    exportButton->setText(QStringLiteral("Export..."));
    exportButton->setToolTip(
        QStringLiteral("Save the chart with its legend as PNG, SVG or PDF at the size beside"));
}

void RDChart::createChartView()
{
    view = new QChartView(this);
    view->setObjectName(QStringLiteral("chartView"));
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(400, 300);
    // The chart's own legend cuts long names short; this one wraps them.
    view->chart()->legend()->hide();
    curveLegend = new RDChartLegend(view->chart());
}

void RDChart::createDeltaTable()
{
    referenceCombo = new QComboBox(this);
    referenceCombo->setObjectName(QStringLiteral("referenceCombo"));
    referenceCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    deltaTable = new QTableWidget(this);
    deltaTable->setObjectName(QStringLiteral("bdTable"));
    deltaTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    deltaTable->verticalHeader()->hide();
}

void RDChart::layOut()
{
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
    controls->addWidget(exportDpi);
    controls->addWidget(exportButton);

    auto* deltas = new QWidget(this);
    auto* deltaLayout = new QVBoxLayout(deltas);
    deltaLayout->setContentsMargins(0, 0, 0, 0);
    auto* referenceRow = new QHBoxLayout;
    referenceRow->addWidget(new QLabel(QStringLiteral("Bjøntegaard deltas against"), deltas));
    referenceRow->addWidget(referenceCombo);
    referenceRow->addStretch(1);
    deltaLayout->addLayout(referenceRow);
    deltaNote = new QLabel(deltas);
    deltaNote->setObjectName(QStringLiteral("bdNote"));
    deltaNote->setWordWrap(true);
    deltaLayout->addWidget(deltaNote);
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

void RDChart::setRowFilter(std::function<bool(int)> accepts)
{
    options.accepts = std::move(accepts);
}

void RDChart::rebuild()
{
    perPicture = Curves::perPicture(*model, options);
    columns = Curves::settingColumns(*model);
    rebuildChart();

    // The reference choice survives a rebuild when its value still exists.
    const QStringList previous =
        referenceCombo->currentIndex() >= 0 &&
                std::size_t(referenceCombo->currentIndex()) < referenceKeys.size()
            ? referenceKeys[std::size_t(referenceCombo->currentIndex())]
            : QStringList();
    referenceKeys.clear();
    {
        const QSignalBlocker block(referenceCombo);
        referenceCombo->clear();
        if (!options.curveBy.isEmpty()) {
            for (const Curves::Curve& curve : perPicture) {
                if (std::find(referenceKeys.begin(), referenceKeys.end(), curve.key) !=
                    referenceKeys.end())
                    continue;
                referenceKeys.push_back(curve.key);
                QStringList parts;
                for (int i = 0; i < options.curveBy.size(); ++i)
                    parts.append(options.curveBy[i] + QLatin1Char('=') + curve.key.value(i));
                referenceCombo->addItem(parts.join(QLatin1Char(' ')));
            }
        }
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
    // The compared settings first, then the others that tell curves apart.
    QStringList parts;
    for (const QString& column : options.curveBy)
        parts.append(column + QLatin1Char('=') +
                     curve.settings.value(int(columns.indexOf(column))));
    for (int k : positions)
        if (!options.curveBy.contains(columns.value(k)))
            parts.append(settingText(columns.value(k), curve.settings.value(k)));
    QString name =
        parts.isEmpty() ? QStringLiteral("all results") : parts.join(QStringLiteral(", "));
    if (!average)
        return QFileInfo(curve.picture).fileName() + QStringLiteral(": ") + name;
    QStringList pictures;
    for (const QString& picture : curve.pictures)
        pictures.append(QFileInfo(picture).fileName());
    return name + QStringLiteral(" (mean of %1)").arg(pictures.join(QStringLiteral(", ")));
}

QAbstractAxis* RDChart::makeRateAxis(double minRate, double maxRate) const
{
    if (!logarithmic) {
        auto* axis = new QValueAxis;
        axis->setLabelFormat(QStringLiteral("%.2f"));
        const double margin = (maxRate - minRate) * 0.04 + 1e-6;
        axis->setRange(std::max(0.0, minRate - margin), maxRate + margin);
        axis->setTickCount(8);
        return axis;
    }
    // log10 of the rate on a linear axis, labelled at 1, 2 and 5 of every
    // decade the data spans.
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    const double lo = std::log10(minRate) - 0.03;
    const double hi = std::log10(maxRate) + 0.03;
    axis->setRange(lo, hi);
    const double span = hi - lo;
    for (int decade = int(std::floor(lo)); decade <= int(std::ceil(hi)); ++decade) {
        for (double step : {1.0, 2.0, 5.0}) {
            if (span > 2.5 && step != 1.0)
                continue;
            const double value = step * std::pow(10.0, decade);
            const double at = std::log10(value);
            if (at >= lo && at <= hi)
                axis->append(QString::number(value, 'g', 3), at);
        }
    }
    axis->setStartValue(lo);
    return axis;
}

double RDChart::plotX(double rate) const
{
    return logarithmic ? std::log10(rate) : rate;
}

void RDChart::rebuildChart()
{
    shown = average ? Curves::averaged(perPicture) : perPicture;
    shown.erase(std::remove_if(shown.begin(), shown.end(),
                               [](const Curves::Curve& c) { return c.points.empty(); }),
                shown.end());
    // A chart of thousands of series takes seconds to draw and cannot be
    // read; the first ones are drawn and the title says so.
    const std::size_t total = shown.size();
    if (shown.size() > MAX_CURVES)
        shown.resize(MAX_CURVES);

    QChart* chart = view->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    const std::pair<QAbstractAxis*, QAbstractAxis*> axes = addAxes(chart);
    addCurves(chart, axes.first, axes.second);
    updateLegend();
    QString title =
        shown.empty() ? QStringLiteral("No results with this figure")
                      : QStringLiteral("%1 against bits per pixel").arg(figureName(options.figure));
    if (total > shown.size())
        title += QStringLiteral(" (the first %1 of %2 curves: filter the table or average over "
                                "pictures)")
                     .arg(shown.size())
                     .arg(total);
    chart->setTitle(title);
}

std::pair<QAbstractAxis*, QAbstractAxis*> RDChart::addAxes(QChart* chart) const
{
    double minRate = std::numeric_limits<double>::infinity();
    double maxRate = 0;
    double minFigure = std::numeric_limits<double>::infinity();
    double maxFigure = -std::numeric_limits<double>::infinity();
    for (const Curves::Curve& curve : shown)
        for (const Curves::Point& p : curve.points) {
            minRate = std::min(minRate, p.rate);
            maxRate = std::max(maxRate, p.rate);
            minFigure = std::min(minFigure, p.figure);
            maxFigure = std::max(maxFigure, p.figure);
        }
    if (!(maxRate > 0)) {
        minRate = 0.1;
        maxRate = 1;
        minFigure = 0;
        maxFigure = 1;
    }
    QAbstractAxis* x = makeRateAxis(std::max(minRate, 1e-6), std::max(maxRate, 1e-6));
    x->setTitleText(logarithmic ? QStringLiteral("bits per pixel (logarithmic)")
                                : QStringLiteral("bits per pixel"));
    auto* y = new QValueAxis;
    y->setTitleText(figureName(options.figure));
    const double figureMargin = std::max((maxFigure - minFigure) * 0.02, 1e-6);
    // Ticks at round values, the range at most one step past the data.
    const double step = niceStep(std::max(maxFigure - minFigure, 1e-6), 6);
    double low = std::floor((minFigure - figureMargin) / step) * step;
    double high = std::ceil((maxFigure + figureMargin) / step) * step;
    if (options.figure.contains(QLatin1String("ssim")))
        high = std::min(high, 1.0); // SSIM never exceeds 1
    y->setRange(low, high);
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(low);
    y->setTickInterval(step);
    y->setLabelFormat(options.figure.contains(QLatin1String("ssim")) ? QStringLiteral("%.3f")
                                                                     : QStringLiteral("%.1f"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    return {x, y};
}

void RDChart::addCurves(QChart* chart, QAbstractAxis* x, QAbstractAxis* y)
{
    // Named by what tells the settings apart, whatever the picture.
    const std::vector<int> positions = Curves::naming(perPicture);
    QHash<QString, int> groups;
    QHash<QString, int> pictures;
    QHash<QString, int> contexts;
    std::vector<int> contextPositions;
    for (int k : positions)
        if (!options.curveBy.contains(columns.value(k)))
            contextPositions.push_back(k);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const Curves::Curve& curve = shown[i];
        auto* series = new QLineSeries;
        series->setName(curveName(curve, positions));
        const QString group = curve.key.join(QChar(0x1f));
        const int groupIndex = *groups.insert(group, groups.value(group, int(groups.size())));
        const int pictureIndex =
            *pictures.insert(curve.picture, pictures.value(curve.picture, int(pictures.size())));
        const QString context = Curves::label(curve, columns, contextPositions);
        const int contextIndex =
            *contexts.insert(context, contexts.value(context, int(contexts.size())));
        const QColor colour = curveColour(groupIndex);
        QPen pen(colour, 2);
        pen.setStyle(options.curveBy.isEmpty() ? Qt::SolidLine : lineStyle(contextIndex));
        series->setPen(pen);
        series->setMarkerSize(9);
        series->setLightMarker(markerImage(average ? 0 : pictureIndex, colour, 9));
        for (const Curves::Point& p : curve.points)
            series->append(plotX(p.rate), p.figure);
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
        connectPoints(series, int(i));
    }
}

void RDChart::connectPoints(QLineSeries* series, int index)
{
    connect(series, &QLineSeries::hovered, this, [this, index](const QPointF& at, bool state) {
        if (state)
            QToolTip::showText(QCursor::pos(), pointText(index, nearestPoint(index, at)), view);
        else
            QToolTip::hideText();
    });
    connect(series, &QLineSeries::clicked, this, [this, index](const QPointF& at) {
        const int point = nearestPoint(index, at);
        if (point >= 0 && !shown[std::size_t(index)].points[std::size_t(point)].rows.empty())
            emit rowClicked(shown[std::size_t(index)].points[std::size_t(point)].rows.front());
    });
}

void RDChart::updateLegend()
{
    std::vector<RDChartLegend::Entry> entries;
    const QList<QAbstractSeries*> drawn = view->chart()->series();
    for (std::size_t i = 0; i < shown.size() && int(i) < drawn.size(); ++i) {
        const auto* series = static_cast<QLineSeries*>(drawn[int(i)]);
        // The picture heads its curves' entries, which name the settings.
        RDChartLegend::Entry entry{series->pen(), series->lightMarker(), QString(), series->name()};
        const QString prefix = QFileInfo(shown[i].picture).fileName() + QStringLiteral(": ");
        if (!average && entry.text.startsWith(prefix)) {
            entry.heading = prefix.chopped(2);
            entry.text = entry.text.mid(prefix.size());
        }
        entries.push_back(std::move(entry));
    }
    curveLegend->setEntries(std::move(entries));
}

void RDChart::rebuildDeltas()
{
    const int index = referenceCombo->currentIndex();
    const FigureInfo* figure = SweepColumns::figureOf(options.figure);
    deltaTable->clear();
    deltaTable->setColumnCount(6);
    deltaTable->setHorizontalHeaderLabels(
        {QStringLiteral("Picture"), QStringLiteral("Compared"), QStringLiteral("Other settings"),
         QStringLiteral("Points"), QStringLiteral("BD-rate (%)"),
         QStringLiteral("BD-") + (figure ? QString::fromLatin1(figure->name) : options.figure)});
    if (figure)
        deltaTable->horizontalHeaderItem(5)->setToolTip(QLatin1String(figure->definition));
    if (options.curveBy.isEmpty()) {
        deltaNote->setText(QStringLiteral(
            "Choose the setting to compare under \u201cCurves by\u201d: each curve is then "
            "compared with the curve of the same picture whose other settings are equal."));
        deltaTable->setRowCount(0);
        return;
    }
    if (index < 0 || std::size_t(index) >= referenceKeys.size()) {
        deltaNote->setText(QString());
        deltaTable->setRowCount(0);
        return;
    }
    fillDeltas(
        Curves::compare(perPicture, columns, options.curveBy, referenceKeys[std::size_t(index)]));
}

void RDChart::fillDeltas(const Curves::Comparison& comparison)
{
    const int decimals = options.figure.contains(QLatin1String("ssim")) ? 5 : 3;
    const auto compared = [this](const QStringList& key) {
        QStringList parts;
        for (int i = 0; i < options.curveBy.size(); ++i)
            parts.append(options.curveBy[i] + QLatin1Char('=') + key.value(i));
        return parts.join(QLatin1Char(' '));
    };
    std::vector<QStringList> rows;
    std::vector<int> kinds; // 0 pair, 1 unpaired, 2 mean
    int unpaired = 0;
    for (const Curves::Pair& pair : comparison.pairs) {
        rows.push_back({QFileInfo(pair.picture).fileName(), compared(pair.key),
                        pair.paired ? pair.context : QStringLiteral("unpaired ") + pair.context,
                        QString::number(pair.points), deltaText(pair.rate, 2),
                        deltaText(pair.figure, decimals)});
        kinds.push_back(pair.paired ? 0 : 1);
        unpaired += pair.paired ? 0 : 1;
    }
    for (const Curves::Mean& mean : comparison.means) {
        rows.push_back(
            {QStringLiteral("mean"), compared(mean.key),
             QStringLiteral("%1 pairs over %2 pictures").arg(mean.pairs).arg(mean.pictures),
             QString::number(mean.pairs), deltaText(mean.rate, 2),
             deltaText(mean.figure, decimals)});
        kinds.push_back(2);
    }
    deltaNote->setText(
        unpaired ? QStringLiteral("%1 curves have no partner with the reference value and "
                                  "otherwise equal settings; they are listed as unpaired.")
                       .arg(unpaired)
                 : QString());
    deltaTable->setRowCount(int(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (int c = 0; c < rows[i].size(); ++c) {
            auto* item = new QTableWidgetItem(rows[i][c]);
            if (c >= 3)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (kinds[i] == 2) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            } else if (kinds[i] == 1) {
                item->setForeground(QColor(Qt::gray));
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
        const QPointF p =
            view->chart()->mapToPosition(QPointF(plotX(points[i].rate), points[i].figure));
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
    QStringList lines;
    if (average) {
        QStringList names;
        for (const QString& picture : c.pictures)
            names.append(QFileInfo(picture).fileName());
        lines.append(QStringLiteral("mean of %1 pictures: %2")
                         .arg(c.pictures.size())
                         .arg(names.join(QStringLiteral(", "))));
    } else {
        lines.append(c.picture);
    }
    lines.append(Curves::label(c, columns, Curves::distinguishing(perPicture)));
    lines.append(QStringLiteral("quality: %1").arg(p.quality));
    lines.append(QStringLiteral("bpp: %1").arg(p.rate, 0, 'g', 6));
    lines.append(QStringLiteral("%1: %2").arg(options.figure).arg(p.figure, 0, 'g', 6));
    lines.append(QStringLiteral("mean of %1 results").arg(p.rows.size()));
    return lines.join(QLatin1Char('\n'));
}

bool RDChart::exportTo(const QString& path, const QSize& size, int dpi)
{
    QChart* chart = view->chart();
    const QSizeF old = chart->size();
    chart->resize(size);
    // The legend's margin laid out now, not at the next event.
    settleLayout(chart);
    const QRectF source = chart->sceneBoundingRect();
    // Drawn into memory and written whole: a failed write leaves an earlier
    // file of that name as it was.
    QBuffer bytes;
    bool ok = bytes.open(QIODevice::WriteOnly);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (ok && suffix == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&bytes);
        svg.setSize(size);
        svg.setViewBox(QRectF(QPointF(0, 0), QSizeF(size)));
        svg.setTitle(chart->title());
        QPainter painter;
        ok = painter.begin(&svg);
        if (ok) {
            chart->scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)), source);
            ok = painter.end();
        }
    } else if (ok && suffix == QLatin1String("pdf")) {
        QPdfWriter pdf(&bytes);
        pdf.setResolution(dpi);
        pdf.setPageSize(QPageSize(QSizeF(size) * 72.0 / 96.0, QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setTitle(chart->title());
        QPainter painter;
        ok = painter.begin(&pdf);
        if (ok) {
            painter.setRenderHint(QPainter::Antialiasing);
            chart->scene()->render(
                &painter, QRectF(QPointF(0, 0), QSizeF(pdf.width(), pdf.height())), source);
            ok = painter.end();
        }
    } else if (ok) {
        // Laid out at `size` and drawn at `dpi`: more pixels, the same picture.
        const double scale = dpi / 96.0;
        QImage image((QSizeF(size) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        image.setDotsPerMeterX(qRound(dpi / 0.0254));
        image.setDotsPerMeterY(qRound(dpi / 0.0254));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        chart->scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())), source);
        painter.end();
        ok = image.save(&bytes, "PNG");
    }
    ok = ok && writeFileReplacing(path, bytes.data());
    chart->resize(old);
    settleLayout(chart);
    return ok;
}

void RDChart::exportChart()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export chart"), QStringLiteral("chart.png"),
        QStringLiteral("PNG picture (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"));
    if (path.isEmpty())
        return;
    if (!exportTo(path, QSize(exportWidth->value(), exportHeight->value()), exportDpi->value()))
        QToolTip::showText(exportButton->mapToGlobal(QPoint(0, 0)),
                           QStringLiteral("Couldn't write %1").arg(path), exportButton);
}
