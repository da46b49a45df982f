// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Curves.h"

#include <QWidget>

#include <vector>

class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QSpinBox;
class QTableWidget;
class QToolButton;
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

    void setFigure(const QString& column);
    void setCurveBy(const QStringList& columns);
    QStringList curveBy() const { return options.curveBy; }
    void setAveraged(bool on);
    void setLogarithmicRate(bool on);
    void setReference(int index);

    // Writes the chart as PNG or SVG (by the name's ending) at `size`; false
    // when the file cannot be written.
    bool exportTo(const QString& path, const QSize& size);

    // The text a hovered point shows.
    QString pointText(int curve, int point) const;

signals:
    void rowClicked(int row);

private:
    void rebuildChart();
    void rebuildDeltas();
    void fillCurveByMenu();
    void exportChart();
    // The point of curve `curve` nearest to a position in chart values.
    int nearestPoint(int curve, const QPointF& value) const;
    QString curveName(const Curves::Curve& curve, const std::vector<int>& positions) const;

    ResultTableModel* model;
    Curves::Options options;
    bool average = false;
    bool logarithmic = false;
    std::vector<Curves::Curve> perPicture;
    std::vector<Curves::Curve> shown;
    std::vector<QStringList> referenceKeys;

    QComboBox* figureCombo;
    QCheckBox* logCheck;
    QCheckBox* averageCheck;
    QToolButton* curveByButton;
    QSpinBox* exportWidth;
    QSpinBox* exportHeight;
    QToolButton* exportButton;
    QChartView* view;
    QComboBox* referenceCombo;
    QTableWidget* deltaTable;
};
