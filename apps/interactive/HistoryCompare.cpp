// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryCompare.h"

#include "CompressionHistory.h"
#include "CompressionResult.h"
#include "Image.h"
#include "PictureViewer.h"
#include "QualityMetrics.h"
#include "StandardMenus.h"
#include "WindowState.h"

#include <QFutureWatcher>
#include <QLayout>
#include <QMenu>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <new>

struct HistoryCompare::Pair
{
    Image* left = nullptr;
    CompressionResult* right = nullptr;
    QString error;
    quint64 generation = 0;
    QString title;
    QString leftName;
    QString rightName;

    void discard()
    {
        delete right;
        delete left;
        right = nullptr;
        left = nullptr;
    }
};

namespace {

HistoryCompare::Pair* decodePair(QByteArray leftJpeg, QByteArray rightJpeg,
                                 JPEGSettings rightSettings)
{
    auto* pair = new HistoryCompare::Pair;
    try {
        std::unique_ptr<Image> left(Image::loadEncodedJpeg(leftJpeg));
        std::unique_ptr<Image> right(Image::loadEncodedJpeg(rightJpeg));
        if (!left->getRGB32Buffer() || !right->getRGB32Buffer()) {
            pair->error = QStringLiteral("A JPEG of the history could not be decoded again.");
            return pair;
        }
        auto result = std::make_unique<CompressionResult>(left.get(), right.release(),
                                                          rightSettings, rightJpeg);
        QualityMetrics::Workspace workspace;
        result->measure(FigureSet::similarity(), workspace);
        pair->right = result.release();
        pair->left = left.release();
    } catch (const std::bad_alloc&) {
        pair->discard();
        pair->error = QStringLiteral("Not enough memory to decode both compressions.");
    }
    return pair;
}

} // namespace

HistoryCompare::HistoryCompare(QObject* parent) : QObject(parent) {}

HistoryCompare::~HistoryCompare()
{
    // Jobs still running own what they made: wait, then throw it away.
    for (QObject* object : watchers) {
        auto* watcher = static_cast<QFutureWatcher<Pair*>*>(object);
        watcher->disconnect(this);
        watcher->waitForFinished();
        if (watcher->future().resultCount() > 0) {
            Pair* pair = watcher->result();
            pair->discard();
            delete pair;
        }
        delete watcher;
    }
    if (viewer) {
        viewer->updateCompressed(nullptr);
        viewer->updateImage(nullptr);
    }
}

void HistoryCompare::compare(const HistoryEntry& first, const HistoryEntry& second)
{
    const quint64 job = ++generation;
    const QString title = QStringLiteral("Compare: #%1 (left) with #%2 (right); figures of #%2 "
                                         "measured against #%1")
                              .arg(first.number)
                              .arg(second.number);
    auto* watcher = new QFutureWatcher<Pair*>;
    watchers.push_back(watcher);
    ++running;
    const auto name = [](const HistoryEntry& entry) {
        return QStringLiteral("#%1  %2").arg(entry.number).arg(entry.shortSettings());
    };
    const QString leftName = name(first);
    const QString rightName = name(second);
    connect(watcher, &QFutureWatcher<Pair*>::finished, this,
            [this, watcher, job, title, leftName, rightName] {
                --running;
                watchers.erase(std::remove(watchers.begin(), watchers.end(), watcher),
                               watchers.end());
                Pair* pair = watcher->result();
                watcher->deleteLater();
                pair->generation = job;
                pair->title = title;
                pair->leftName = leftName;
                pair->rightName = rightName;
                present(pair);
            });
    watcher->setFuture(QtConcurrent::run(decodePair, first.jpeg, second.jpeg, second.settings));
}

// "Save as" writes the right entry's JPEG; "Quit" closes the comparison only.
void HistoryCompare::addFileMenu(PictureViewer& window)
{
    StandardMenus menus(&window, window.layout());
    QMenu* file = menus.fileMenu();
    QAction* saveAs =
        StandardMenus::add(file, StandardMenus::SaveAs, &window, &PictureViewer::saveAs);
    connect(&window, &PictureViewer::resultChanged, saveAs,
            [saveAs](const CompressionResult* shown) { saveAs->setEnabled(shown != nullptr); });
    file->addSeparator();
    StandardMenus::add(file, StandardMenus::Quit, &window, &QWidget::close);
}

void HistoryCompare::present(Pair* pair)
{
    if (pair->generation != generation) {
        pair->discard();
        delete pair;
        return;
    }
    const QString error = pair->error;
    if (pair->right) {
        if (!viewer) {
            viewer = std::make_unique<PictureViewer>(Variant::Batch);
            viewer->setObjectName(QStringLiteral("compareWindow"));
            addFileMenu(*viewer);
            viewer->resize(1100, 700);
            // As large as that where the screen has the room, never larger.
            WindowState::keepOnScreen(viewer.get());
        }
        viewer->setWindowTitle(pair->title);
        viewer->setPaneCaptions(pair->leftName, pair->rightName);
        // The viewer lets go of the old pair before it is deleted.
        viewer->updateImage(pair->left);
        viewer->updateCompressed(pair->right);
        right.reset(pair->right);
        left.reset(pair->left);
        viewer->show();
        viewer->raise();
    }
    delete pair;
    emit shown(error);
}
