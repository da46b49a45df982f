// SPDX-License-Identifier: GPL-3.0-or-later
// Shows a real compression in the viewer, for looking at it by eye. Not run
// by the test suite. Start it from the run folder, so that ./img/ and
// ./doc/ are found:
//
//   viewer_demo [--batch] [--view image|colordiff|errors|y|cb|cr|ssim|amplified|bits]
//               [--gain G] [--zoom N]
//               [--rotate] [--help PAGE] [--size WxH] [--screenshot FILE]
//               [--inspect X,Y] [--zoom-to PERCENT] [--centre X,Y] [--grid]
//               [--split [COLUMN]] [--point X,Y] [--sampling HxV]
//               [--quality Q] [PICTURE]
//
// PICTURE defaults to samples/chelsea.png. --zoom N presses "Zoom in" N
// times (negative: "Zoom out"). --help shows PAGE in a help window instead.
// --inspect clicks pixel (X, Y) of the right pane with the block inspector.
// --zoom-to sets the zoom, --centre brings picture point (X, Y) to the
// centre of the panes, --grid and --split press those buttons (the divider
// at picture column COLUMN), --point moves the pointer over pixel (X, Y) of
// the right pane, --sampling compresses with the luma sampled H x V,
// --quality at quality Q.
// --screenshot writes the screen to FILE once the window is up, then quits.

#include "BlockInspector.h"
#include "CompressionResult.h"
#include "HelpWindow.h"
#include "Image.h"
#include "ImagePane.h"
#include "ImageWidget.h"
#include "JPEGCompressor.h"
#include "PictureViewer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    Image::initImage();
    QApplication app(argc, argv);

    bool batch = false, rotate = false;
    QString view = QStringLiteral("image"), helpPage, screenshot;
    QString picture = QStringLiteral("samples/chelsea.png");
    int zoomSteps = 0;
    int gain = 0;
    QSize size(1000, 440);
    QPoint inspect(-1, -1), centre(-1, -1), point(-1, -1);
    float zoomTo = 0;
    bool grid = false, split = false;
    int splitColumn = -1;
    QSize sampling(1, 1);
    int quality = 0;
    auto pair = [](const QString& text, QChar separator, QPoint& out) {
        const QStringList parts = text.split(separator);
        if (parts.size() == 2)
            out = QPoint(parts[0].toInt(), parts[1].toInt());
    };
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--batch"))
            batch = true;
        else if (arg == QLatin1String("--rotate"))
            rotate = true;
        else if (arg == QLatin1String("--view") && hasValue)
            view = args[++i];
        else if (arg == QLatin1String("--gain") && hasValue)
            gain = args[++i].toInt();
        else if (arg == QLatin1String("--zoom") && hasValue)
            zoomSteps = args[++i].toInt();
        else if (arg == QLatin1String("--help") && hasValue)
            helpPage = args[++i];
        else if (arg == QLatin1String("--inspect") && hasValue)
            pair(args[++i], QLatin1Char(','), inspect);
        else if (arg == QLatin1String("--centre") && hasValue)
            pair(args[++i], QLatin1Char(','), centre);
        else if (arg == QLatin1String("--point") && hasValue)
            pair(args[++i], QLatin1Char(','), point);
        else if (arg == QLatin1String("--sampling") && hasValue) {
            QPoint hv(1, 1);
            pair(args[++i], QLatin1Char('x'), hv);
            sampling = QSize(hv.x(), hv.y());
        } else if (arg == QLatin1String("--zoom-to") && hasValue)
            zoomTo = args[++i].toFloat() / 100.0f;
        else if (arg == QLatin1String("--quality") && hasValue)
            quality = args[++i].toInt();
        else if (arg == QLatin1String("--grid"))
            grid = true;
        else if (arg == QLatin1String("--split")) {
            split = true;
            if (hasValue && !args[i + 1].startsWith(QLatin1String("--")) && args[i + 1].toInt() > 0)
                splitColumn = args[++i].toInt();
        } else if (arg == QLatin1String("--screenshot") && hasValue)
            screenshot = args[++i];
        else if (arg == QLatin1String("--size") && hasValue) {
            const QStringList wh = args[++i].split(QLatin1Char('x'));
            if (wh.size() == 2)
                size = QSize(wh[0].toInt(), wh[1].toInt());
        } else if (!arg.startsWith(QLatin1String("--")))
            picture = arg;
        else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(arg));
            return 2;
        }
    }

    std::unique_ptr<QWidget> window;
    std::unique_ptr<Image> source;
    std::unique_ptr<CompressionResult> result;
    JPEGCompressor compressor;
    if (!helpPage.isEmpty()) {
        auto* help = new HelpWindow(nullptr);
        help->setHtml(QFile::encodeName(helpPage).toStdString());
        help->resize(size);
        window.reset(help);
    } else {
        source = std::make_unique<Image>(QFile::encodeName(picture).toStdString());
        if (!source->getRGB24Buffer()) {
            std::fprintf(stderr, "cannot load %s\n", qPrintable(picture));
            return 1;
        }
        compressor.setImage(source.get());
        compressor.getSettings()->downsampling[0].horizontal = sampling.width();
        compressor.getSettings()->downsampling[0].vertical = sampling.height();
        if (quality > 0) {
            compressor.getSettings()->setAutoQualityEnabled(true);
            compressor.getSettings()->setQuality(quality);
        }
        result.reset(compressor.compressImage());
        if (!result) {
            std::fprintf(stderr, "compression failed: %s\n", qPrintable(compressor.lastError()));
            return 1;
        }
        auto* viewer =
            batch ? new PictureViewer(Variant::Batch) : new PictureViewer(Variant::Interactive);
        window.reset(viewer);
        viewer->updateImage(source.get());
        viewer->updateCompressed(result.get());
        for (int i = 0; i < zoomSteps; ++i)
            viewer->zoomIn();
        for (int i = 0; i > zoomSteps; --i)
            viewer->zoomOut();
        if (rotate)
            viewer->rotate();
        if (view == QLatin1String("colordiff"))
            viewer->showView(PictureViewer::View::ColourDifference);
        else if (view == QLatin1String("errors"))
            viewer->showView(PictureViewer::View::Errors);
        else if (view == QLatin1String("y"))
            viewer->showView(PictureViewer::View::Y);
        else if (view == QLatin1String("cb"))
            viewer->showView(PictureViewer::View::Cb);
        else if (view == QLatin1String("cr"))
            viewer->showView(PictureViewer::View::Cr);
        else if (view == QLatin1String("ssim"))
            viewer->showView(PictureViewer::View::SsimMap);
        else if (view == QLatin1String("amplified"))
            viewer->showView(PictureViewer::View::Amplified);
        else if (view == QLatin1String("bits"))
            viewer->showView(PictureViewer::View::Bits);
        if (gain > 0)
            viewer->setGain(gain);
        viewer->resize(size);
    }
    window->move(0, 0);
    window->show();
    if (auto* viewer = qobject_cast<PictureViewer*>(window.get())) {
        // Once the window is laid out, so that the panes have their size.
        QTimer::singleShot(100, [=] {
            if (zoomTo > 0)
                viewer->setZoom(zoomTo);
            if (grid)
                viewer->setGridVisible(true);
            if (split) {
                viewer->setSplitView(true);
                if (splitColumn > 0) {
                    auto* pane = viewer->findChild<ImageWidget*>(QStringLiteral("processedImage"));
                    pane->setSplit(pane->getSplitImage(), splitColumn);
                }
            }
        });
        QTimer::singleShot(200, [=] {
            auto* pane = viewer->findChild<ImagePane*>(QStringLiteral("processedImageArea"));
            if (centre.x() >= 0)
                pane->placePicturePoint(centre, pane->viewportCentre());
            if (point.x() >= 0) {
                ImageWidget* picture = pane->picture();
                const QPointF at = picture->fromPicture(QPointF(point) + QPointF(0.5, 0.5));
                QMouseEvent move(QEvent::MouseMove, at, picture->mapToGlobal(at), Qt::NoButton,
                                 Qt::NoButton, Qt::NoModifier);
                QCoreApplication::sendEvent(picture, &move);
            }
        });
    }
    if (inspect.x() >= 0) {
        QTimer::singleShot(300, [&] {
            window->findChild<QAbstractButton*>(QStringLiteral("inspectButton"))->click();
            auto* pane = window->findChild<ImageWidget*>(QStringLiteral("processedImage"));
            const QPointF at =
                QPointF(pane->pictureOffset()) + QPointF(inspect) * double(pane->getZoomFactor());
            QMouseEvent press(QEvent::MouseButtonPress, at, pane->mapToGlobal(at), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(pane, &press);
            if (auto* inspector = window->findChild<BlockInspector*>())
                inspector->move(0, window->frameGeometry().bottom() + 10);
        });
    }

    if (!screenshot.isEmpty()) {
        QTimer::singleShot(800, [&] {
            const QPixmap shot = window->screen()->grabWindow(0);
            if (!shot.save(screenshot))
                std::fprintf(stderr, "cannot write %s\n", qPrintable(screenshot));
            QCoreApplication::exit(0);
        });
    }
    const int status = app.exec();
    window.reset();
    Image::deinitImage();
    return status;
}
