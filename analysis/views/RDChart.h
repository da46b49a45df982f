// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Curves.h"

#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

class QAbstractAxis;
class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QSpinBox;
class QTableWidget;
class QToolButton;
class RDChartLegend;
class ResultTableModel;

// The Chart tab of the results window: rate-distortion curves of the results
// (bits per pixel across, a chosen figure up), grouped by chosen settings and
// optionally averaged over the pictures, and under them the Bjøntegaard table
// of every curve against a chosen reference curve. Hovering a point tells its
// picture, settings and figures; clicking it asks for its row.
class RDChart : public QWidget
{
    Q_OBJECT

public:
    // The most curves drawn at once.
    static constexpr std::size_t MAX_CURVES = 100;

    RDChart(ResultTableModel* model, QWidget* parent);

    // Draws the curves again from the model as it stands now.
    void rebuild();

    // The curves drawn, one series each, in the chart's series order: the
    // first MAX_CURVES.
    const std::vector<Curves::Curve>& curves() const { return shown; }
    QChart* chart() const;
    QTableWidget* bdTable() const { return deltaTable; }
    // The legend drawn beside the plot, in the chart and its exports.
    RDChartLegend* legend() const { return curveLegend; }

    void setFigure(const QString& column);
    void setCurveBy(const QStringList& columns);
    QStringList curveBy() const { return options.curveBy; }
    void setAveraged(bool on);
    void setLogarithmicRate(bool on);
    void setReference(int index);
    // Only the rows `accepts` takes are charted (the table's filters); taken
    // at the next rebuild.
    void setRowFilter(std::function<bool(int)> accepts);

    // Writes the chart with its legend and axis titles as PNG, SVG or PDF (by
    // the name's ending), laid out at `size` (pixels at 96 dpi), a PNG drawn
    // at `dpi`; false when the file cannot be written, and then an earlier
    // file of that name stays as it was.
    bool exportTo(const QString& path, const QSize& size, int dpi = 96);

    // The text a hovered point shows.
    QString pointText(int curve, int point) const;

signals:
    void rowClicked(int row);

private:
    // The constructor's parts: the controls above the chart, the chart, the
    // Bjøntegaard table and the layout that holds them.
    void createControls();
    void createExportControls();
    void createChartView();
    void createDeltaTable();
    void layOut();

    void rebuildChart();
    // The axes fitted to the shown curves, added to `chart`: across, up.
    std::pair<QAbstractAxis*, QAbstractAxis*> addAxes(QChart* chart) const;
    // One series for each shown curve, coloured by its compared settings,
    // dashed by the others, marked by its picture.
    void addCurves(QChart* chart, QAbstractAxis* x, QAbstractAxis* y);
    // Hovering the series of shown curve `index` tells a point, clicking asks
    // for its row.
    void connectPoints(QLineSeries* series, int index);
    void updateLegend();
    void rebuildDeltas();
    void fillDeltas(const Curves::Comparison& comparison);
    void fillCurveByMenu();
    void exportChart();
    // The point of curve `curve` nearest to a position in chart values.
    int nearestPoint(int curve, const QPointF& value) const;
    QString curveName(const Curves::Curve& curve, const std::vector<int>& positions) const;
    QAbstractAxis* makeRateAxis(double minRate, double maxRate) const;
    // Where a rate lies on the plot's horizontal axis.
    double plotX(double rate) const;

    ResultTableModel* model;
    Curves::Options options;
    bool average = false;
    bool logarithmic = false;
    QStringList columns; // the setting columns of the curves
    std::vector<Curves::Curve> perPicture;
    std::vector<Curves::Curve> shown;
    std::vector<QStringList> referenceKeys;

    QComboBox* figureCombo;
    QCheckBox* logCheck;
    QCheckBox* averageCheck;
    QToolButton* curveByButton;
    QSpinBox* exportWidth;
    QSpinBox* exportHeight;
    QSpinBox* exportDpi;
    QToolButton* exportButton;
    QChartView* view;
    RDChartLegend* curveLegend;
    QComboBox* referenceCombo;
    QTableWidget* deltaTable;
    QLabel* deltaNote;
};
