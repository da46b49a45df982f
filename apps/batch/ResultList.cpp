// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResultList.h"

#include "Report.h"
#include "ResultWidget.h"

#include <QApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <climits>

namespace {

// Rows built beyond each edge of the visible part, so that scrolling by a
// row or two finds its panels ready.
constexpr int spareRows = 2;

// What the "Progressive" box of a panel built now from `settings` shows.
Qt::CheckState freshProgressiveBox(const JPEGSettings& settings)
{
    return settings.getCompressionMode() != JPEGSettings::BASELINE && settings.isProgressive()
               ? Qt::Checked
               : Qt::Unchecked;
}

} // namespace

ResultList::ResultList(QWidget* parent) : QAbstractScrollArea(parent)
{
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setSingleStep(20);
}

ResultList::~ResultList()
{
    clear();
}

void ResultList::clear()
{
    for (auto& entry : panels)
        delete entry.second;
    panels.clear();
    progressiveBoxes.clear();
    catalogue.clear();
    numberTemplate.clear();
    nameTemplate.clear();
    tablesTemplate.clear();
    settingsList = nullptr;
    resultList = nullptr;
    panelWidth = rowHeight = 0;
    updateScrollBars();
}

void ResultList::setResults(std::vector<JPEGSettings>* settings, std::vector<ResultStat>* results,
                            const SweepCsv::TableNames* tableNames)
{
    clear();
    settingsList = settings;
    resultList = results;
    if (settings)
        catalogue.build(*settings, tableNames);
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    measurePanels();
    updateScrollBars();
    layoutPanels();
}

void ResultList::measurePanels()
{
    margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    spacing = style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing);
    if (spacing < 0)
        spacing = 6;
    if (count() == 0)
        return;

    // Panels differ only in their labels, which are sized alike for all:
    // the number for the largest one, the name for the widest (within a
    // limit), the tables for the most digits. Results come file by file, so
    // repeated names are skipped cheaply.
    const QFontMetrics metrics(viewport()->font());
    QString previous;
    int widest = -1;
    for (const ResultStat& stat : *resultList) {
        if (stat.fileName == previous)
            continue;
        previous = stat.fileName;
        const QString name = Report::fileNamePart(stat.fileName);
        const int width = metrics.horizontalAdvance(name);
        if (width > widest) {
            widest = width;
            nameTemplate = name;
        }
    }
    numberTemplate = QString(QString::number(count()).size(), QLatin1Char('8'));
    widest = -1;
    for (const QString& tables : catalogue.descriptions()) {
        const int width = metrics.horizontalAdvance(tables);
        if (width > widest) {
            widest = width;
            tablesTemplate = tables;
        }
    }

    ResultStat sampleStat;
    sampleStat.fileName = nameTemplate;
    JPEGSettings sampleSettings;
    ResultWidget sample(&sampleStat, &sampleSettings, viewport());
    sample.setBackgroundRole(QPalette::Midlight);
    sample.setLabelTemplates(numberTemplate, nameTemplate, tablesTemplate);
    const QSize size = sample.sizeHint();
    panelWidth = size.width();
    rowHeight = size.height();
}

int ResultList::contentHeight() const
{
    if (count() == 0)
        return 0;
    const qint64 height =
        2 * qint64(margin) + qint64(count()) * rowHeight + qint64(count() - 1) * spacing;
    return int(std::min<qint64>(height, INT_MAX));
}

void ResultList::updateScrollBars()
{
    const QSize area = viewport()->size();
    verticalScrollBar()->setRange(0, std::max(0, contentHeight() - area.height()));
    verticalScrollBar()->setPageStep(area.height());
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth() - area.width()));
    horizontalScrollBar()->setPageStep(area.width());
}

ResultWidget* ResultList::build(int index)
{
    const std::size_t i = std::size_t(index);
    auto* panel = new ResultWidget(&(*resultList)[i], &(*settingsList)[i], viewport());
    panel->setBackgroundRole(QPalette::Midlight);
    // Filled, so that each result reads as a card on the dark list.
    panel->setAutoFillBackground(true);
    panel->setIndex(index);
    panel->setCatalogue(&catalogue);
    panel->setLabelTemplates(numberTemplate, nameTemplate, tablesTemplate);
    connect(panel, &ResultWidget::resultChanged, this, &ResultList::resultChanged);
    const auto kept = progressiveBoxes.find(index);
    if (kept != progressiveBoxes.end()) {
        panel->restoreProgressiveBox(kept->second);
        progressiveBoxes.erase(kept);
    }
    panels[index] = panel;
    return panel;
}

void ResultList::discard(std::map<int, ResultWidget*>::iterator it)
{
    ResultWidget* panel = it->second;
    const Qt::CheckState box = panel->progressiveBoxState();
    if (box != freshProgressiveBox(*panel->getSettings()))
        progressiveBoxes[it->first] = box;
    panels.erase(it);
    delete panel;
}

void ResultList::layoutPanels()
{
    if (count() == 0 || rowHeight <= 0)
        return;
    const int top = verticalScrollBar()->value();
    const int left = horizontalScrollBar()->value();
    const int pitch = rowHeight + spacing;
    const int first = std::max(0, (top - margin) / pitch - spareRows);
    const int last =
        std::min(count() - 1, (top + viewport()->height() - margin) / pitch + spareRows);

    QWidget* focus = window()->focusWidget();
    for (auto it = panels.begin(); it != panels.end();) {
        const auto next = std::next(it);
        ResultWidget* panel = it->second;
        const bool near = it->first >= first && it->first <= last;
        if (!near && !panel->isBusy() && !(focus && panel->isAncestorOf(focus)))
            discard(it);
        it = next;
    }
    for (int index = first; index <= last; ++index) {
        if (panels.find(index) == panels.end())
            build(index);
    }
    for (auto& entry : panels) {
        entry.second->setGeometry(margin - left, rowTop(entry.first) - top, panelWidth, rowHeight);
        entry.second->show();
    }
}

ResultWidget* ResultList::panel(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QScrollBar* bar = verticalScrollBar();
    const int top = rowTop(index);
    const int bottom = top + rowHeight;
    if (top - margin < bar->value())
        bar->setValue(top - margin);
    else if (bottom + margin > bar->value() + viewport()->height())
        bar->setValue(bottom + margin - viewport()->height());
    layoutPanels();
    const auto found = panels.find(index);
    if (found != panels.end())
        return found->second;
    ResultWidget* built = build(index);
    built->setGeometry(margin - horizontalScrollBar()->value(), top - bar->value(), panelWidth,
                       rowHeight);
    built->show();
    return built;
}

std::vector<ResultWidget*> ResultList::builtPanels() const
{
    std::vector<ResultWidget*> out;
    for (const auto& entry : panels)
        out.push_back(entry.second);
    return out;
}

QSize ResultList::sizeHint() const
{
    const int frame = 2 * frameWidth();
    const int bar = verticalScrollBar()->sizeHint().width();
    QSize size;
    if (count() == 0) {
        const int h = fontMetrics().height();
        size = QSize(36 * h, 12 * h);
    } else {
        const int rows = std::min(count(), 4);
        size = QSize(contentWidth() + frame + bar,
                     2 * margin + rows * rowHeight + (rows - 1) * spacing + frame);
    }
    if (const QScreen* screen = this->screen()) {
        // The screen's whole width, for whole panels on a laptop's screen.
        const QSize available = screen->availableSize();
        size = size.boundedTo(QSize(available.width(), available.height() * 9 / 10));
    }
    return size;
}

void ResultList::scrollContentsBy(int, int)
{
    layoutPanels();
}

void ResultList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    layoutPanels();
}
