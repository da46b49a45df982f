// SPDX-License-Identifier: GPL-3.0-or-later
// The zoomable picture pane: its size at each zoom, the refused factors, the
// centring of the picture and the painting of a wrapped buffer.

#include "ImageWidget.h"

#include <QPainter>
#include <QtTest>

namespace {

QImage solid(int width, int height, QRgb colour)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

} // namespace

class TestImageWidget : public QObject
{
    Q_OBJECT

private slots:
    void startsAtOneWithThePictureSize();
    void workedSizes_data();
    void workedSizes();
    void nullPictureIsOnePixel();
    void equalFactorWithoutForceChangesNothing();
    void equalFactorWithForceReappliesTheSize();
    void zeroAndNegativeFactorsAreRefused();
    void noUpperBound();
    void newPictureKeepsTheZoom();
    void offsetsCentreEachAxis_data();
    void offsetsCentreEachAxis();
    void paintsTheWrappedBufferScaledAndCentred();
    void sharesTheOwnersBuffer();
    void largeZoomPaintsExposedPixelsUnsmoothed();
    void gridDrawnOnlyWhereReadable();
};

void TestImageWidget::startsAtOneWithThePictureSize()
{
    ImageWidget widget(solid(100, 80, qRgb(1, 2, 3)), nullptr);
    QCOMPARE(widget.getZoomFactor(), 1.0f);
    QCOMPARE(widget.size(), QSize(101, 81));
    QCOMPARE(widget.minimumSize(), QSize(101, 81));
}

void TestImageWidget::workedSizes_data()
{
    QTest::addColumn<float>("factor");
    QTest::addColumn<QSize>("size");
    QTest::newRow("1.0") << 1.0f << QSize(101, 81);
    QTest::newRow("0.25") << 0.25f << QSize(26, 21);
    QTest::newRow("1.25") << 1.25f << QSize(126, 101);
    QTest::newRow("2.0") << 2.0f << QSize(201, 161);
    QTest::newRow("0.5") << 0.5f << QSize(51, 41);
}

void TestImageWidget::workedSizes()
{
    QFETCH(float, factor);
    QFETCH(QSize, size);
    ImageWidget widget(solid(100, 80, qRgb(1, 2, 3)), nullptr);
    widget.setZoomFactor(factor, false);
    QCOMPARE(widget.getZoomFactor(), factor);
    QCOMPARE(widget.size(), size);
    QCOMPARE(widget.minimumSize(), size);
}

void TestImageWidget::nullPictureIsOnePixel()
{
    ImageWidget widget(QImage(), nullptr);
    QCOMPARE(widget.size(), QSize(1, 1));
    for (float factor : {0.25f, 1.0f, 3.75f}) {
        widget.setZoomFactor(factor, false);
        QCOMPARE(widget.size(), QSize(1, 1));
    }
    // Painting it draws nothing and does not fail.
    QImage canvas(1, 1, QImage::Format_RGB32);
    canvas.fill(Qt::green);
    widget.render(&canvas, QPoint(), QRegion(), QWidget::RenderFlags());
    QCOMPARE(canvas.pixel(0, 0), QColor(Qt::green).rgb());
}

void TestImageWidget::equalFactorWithoutForceChangesNothing()
{
    ImageWidget widget(solid(100, 80, 0), nullptr);
    widget.setZoomFactor(1.5f, false);
    // Shrink the widget behind its back: an unforced equal factor leaves the
    // size alone.
    widget.setMinimumSize(0, 0);
    widget.resize(10, 10);
    widget.setZoomFactor(1.5f, false);
    QCOMPARE(widget.size(), QSize(10, 10));
    QCOMPARE(widget.minimumSize(), QSize(0, 0));
}

void TestImageWidget::equalFactorWithForceReappliesTheSize()
{
    ImageWidget widget(solid(100, 80, 0), nullptr);
    widget.setZoomFactor(1.5f, false);
    widget.setMinimumSize(0, 0);
    widget.resize(10, 10);
    widget.setZoomFactor(1.5f, true);
    QCOMPARE(widget.size(), QSize(151, 121));
    QCOMPARE(widget.minimumSize(), QSize(151, 121));
}

void TestImageWidget::zeroAndNegativeFactorsAreRefused()
{
    ImageWidget widget(solid(100, 80, 0), nullptr);
    widget.setZoomFactor(0.25f, false);
    for (float factor : {0.0f, -0.25f, -1.0f}) {
        widget.setZoomFactor(factor, false);
        QCOMPARE(widget.getZoomFactor(), 0.25f);
        QCOMPARE(widget.size(), QSize(26, 21));
        widget.setZoomFactor(factor, true);
        QCOMPARE(widget.getZoomFactor(), 0.25f);
        QCOMPARE(widget.size(), QSize(26, 21));
    }
    widget.setZoomFactor(std::numeric_limits<float>::quiet_NaN(), true);
    QCOMPARE(widget.getZoomFactor(), 0.25f);
}

void TestImageWidget::noUpperBound()
{
    ImageWidget widget(solid(10, 8, 0), nullptr);
    widget.setZoomFactor(40.0f, false);
    QCOMPARE(widget.getZoomFactor(), 40.0f);
    QCOMPARE(widget.size(), QSize(401, 321));
}

void TestImageWidget::newPictureKeepsTheZoom()
{
    ImageWidget widget(solid(100, 80, 0), nullptr);
    widget.setZoomFactor(2.0f, false);
    widget.setQImage(solid(50, 50, 0));
    QCOMPARE(widget.getZoomFactor(), 2.0f);
    QCOMPARE(widget.size(), QSize(101, 101));
    widget.setQImage(QImage());
    QCOMPARE(widget.getZoomFactor(), 2.0f);
    QCOMPARE(widget.size(), QSize(1, 1));
}

void TestImageWidget::offsetsCentreEachAxis_data()
{
    QTest::addColumn<float>("factor");
    QTest::addColumn<QSize>("widgetSize");
    QTest::addColumn<QPoint>("offset");
    // 100 x 80 picture.
    QTest::newRow("own size, one spare pixel rounds down")
        << 1.0f << QSize(101, 81) << QPoint(0, 0);
    QTest::newRow("five spare pixels") << 1.0f << QSize(105, 80) << QPoint(2, 0);
    QTest::newRow("each axis on its own") << 1.0f << QSize(100, 90) << QPoint(0, 5);
    QTest::newRow("both axes") << 1.0f << QSize(300, 200) << QPoint(100, 60);
    QTest::newRow("zoomed") << 0.5f << QSize(300, 200) << QPoint(125, 80);
    QTest::newRow("quarter") << 0.25f << QSize(26, 21) << QPoint(0, 0);
}

void TestImageWidget::offsetsCentreEachAxis()
{
    QFETCH(float, factor);
    QFETCH(QSize, widgetSize);
    QFETCH(QPoint, offset);
    ImageWidget widget(solid(100, 80, 0), nullptr);
    widget.setZoomFactor(factor, false);
    widget.resize(widgetSize.expandedTo(widget.minimumSize()));
    QCOMPARE(widget.size(), widgetSize.expandedTo(widget.minimumSize()));
    QCOMPARE(widget.pictureOffset(), offset);
}

void TestImageWidget::paintsTheWrappedBufferScaledAndCentred()
{
    // A 4 x 2 picture: left half red, right half blue, over a buffer we own.
    std::vector<quint32> pixels = {0xffff0000, 0xffff0000, 0xff0000ff, 0xff0000ff,
                                   0xffff0000, 0xffff0000, 0xff0000ff, 0xff0000ff};
    const QImage wrapped(reinterpret_cast<const uchar*>(pixels.data()), 4, 2, 16,
                         QImage::Format_RGB32);
    ImageWidget widget(wrapped, nullptr);
    widget.setZoomFactor(2.0f, false); // 8 x 4 on screen, widget 9 x 5
    widget.resize(20, 10);             // offsets (6, 3)
    QCOMPARE(widget.pictureOffset(), QPoint(6, 3));

    QImage canvas(20, 10, QImage::Format_RGB32);
    canvas.fill(Qt::green);
    widget.render(&canvas, QPoint(), QRegion(), QWidget::RenderFlags());
    const QRgb green = QColor(Qt::green).rgb();
    QCOMPARE(canvas.pixel(5, 3), green); // left of the picture: untouched
    QCOMPARE(canvas.pixel(6, 2), green); // above it
    QCOMPARE(canvas.pixel(6, 3), qRgb(255, 0, 0));
    QCOMPARE(canvas.pixel(9, 6), qRgb(255, 0, 0));
    QCOMPARE(canvas.pixel(10, 3), qRgb(0, 0, 255));
    QCOMPARE(canvas.pixel(13, 6), qRgb(0, 0, 255));
    QCOMPARE(canvas.pixel(14, 6), green); // right of it
    QCOMPARE(canvas.pixel(13, 7), green); // below it
}

void TestImageWidget::sharesTheOwnersBuffer()
{
    std::vector<quint32> pixels(6 * 5, 0xff123456);
    const QImage wrapped(reinterpret_cast<const uchar*>(pixels.data()), 6, 5, 24,
                         QImage::Format_RGB32);
    ImageWidget widget(QImage(), nullptr);
    widget.setQImage(wrapped);
    widget.setZoomFactor(3.0f, false);
    QImage canvas(widget.size(), QImage::Format_RGB32);
    widget.render(&canvas, QPoint(), QRegion(), QWidget::RenderFlags());
    QCOMPARE(static_cast<const void*>(widget.getQImage().constBits()),
             static_cast<const void*>(pixels.data()));
}

// At 3200 % a part of the widget far from its origin paints each picture
// pixel as a 32 x 32 square of its own colour, with nothing blended.
void TestImageWidget::largeZoomPaintsExposedPixelsUnsmoothed()
{
    QImage picture(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            picture.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) % 2 ? 255 : 0));
    ImageWidget widget(picture, nullptr);
    widget.setZoomFactor(32.0f, false);
    QCOMPARE(widget.pictureOffset(), QPoint(0, 0));
    const QRect part(1000, 600, 80, 70);
    QImage canvas(part.size(), QImage::Format_RGB32);
    canvas.fill(Qt::green);
    widget.render(&canvas, QPoint(), QRegion(part), QWidget::RenderFlags());
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            QCOMPARE(canvas.pixel(x, y), picture.pixel((part.x() + x) / 32, (part.y() + y) / 32));
}

// Block lines at every eighth pixel's edge, MCU lines in another colour at
// every sixteenth; none at a zoom where a block is under 4 screen pixels.
void TestImageWidget::gridDrawnOnlyWhereReadable()
{
    QImage picture(32, 32, QImage::Format_RGB32);
    picture.fill(qRgb(128, 128, 128));
    ImageWidget widget(picture, nullptr);
    auto render = [&widget] {
        QImage canvas(widget.size(), QImage::Format_RGB32);
        canvas.fill(Qt::green);
        widget.render(&canvas, QPoint(), QRegion(), QWidget::RenderFlags());
        return canvas;
    };
    const QRgb grey = qRgb(128, 128, 128);
    widget.setZoomFactor(4.0f, false); // blocks of 32 screen pixels
    widget.setGrid(true, QSize(16, 16));
    QImage drawn = render();
    QVERIFY(drawn.pixel(32, 10) != grey); // block edge
    QCOMPARE(drawn.pixel(33, 10), grey);
    QVERIFY(drawn.pixel(64, 10) != grey); // MCU edge
    QVERIFY(drawn.pixel(64, 10) != drawn.pixel(32, 10));
    QVERIFY(drawn.pixel(10, 96) != grey); // a horizontal line
    widget.setGrid(false);
    QCOMPARE(render().pixel(32, 10), grey);

    widget.setZoomFactor(0.25f, false); // blocks of 2, MCUs of 4 screen pixels
    widget.setGrid(true, QSize(16, 16));
    drawn = render();
    QCOMPARE(drawn.pixel(2, 1), grey);
    QVERIFY(drawn.pixel(4, 1) != grey);
    widget.setZoomFactor(0.4f, false); // blocks of 3.2 screen pixels, no MCU grid
    widget.setGrid(false);
    const QImage without = render();
    widget.setGrid(true);
    QCOMPARE(render(), without);
}

QTEST_MAIN(TestImageWidget)
#include "tst_imagewidget.moc"
