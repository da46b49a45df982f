// SPDX-License-Identifier: GPL-3.0-or-later
#include "ViewerTestSupport.h"

#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "TestPictures.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QWidget>

namespace ViewerTest {

std::string encoded(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

bool writePadded(const QString& path, int width, int height, qint64 bytes)
{
    if (!TestPictures::write(path, width, height))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::Append) || file.size() > bytes)
        return false;
    return file.write(QByteArray(int(bytes - file.size()), '\0')) >= 0 && file.flush() &&
           file.size() == bytes;
}

Compression compress(const QString& pictureName, int width, int height)
{
    Compression made;
    if (!TestPictures::write(pictureName, width, height))
        return made;
    made.source = std::make_unique<Image>(encoded(pictureName));
    JPEGCompressor compressor;
    compressor.setImage(made.source.get());
    made.result.reset(compressor.compressImage());
    return made;
}

namespace {

class QuitSpy : public QObject
{
public:
    int quits = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
            ++quits;
            return true;
        }
        return false;
    }
};

} // namespace

bool asksToQuit(const std::function<void()>& action)
{
    QuitSpy spy;
    QCoreApplication::instance()->installEventFilter(&spy);
    QTimer::singleShot(0, [&action] {
        action();
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    QCoreApplication::instance()->removeEventFilter(&spy);
    return spy.quits > 0;
}

void chooseFile(QFileDialog* dialog, const QString& path)
{
    if (QWidget* focused = dialog->focusWidget())
        focused->clearFocus();
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog)->accept();
}

ModalHandler::ModalHandler(std::function<void(QWidget*)> handleModal)
    : handle(std::move(handleModal))
{
    timer.setInterval(5);
    connect(&timer, &QTimer::timeout, this, [this] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++count;
            handle(modal);
        }
    });
    timer.start();
}

} // namespace ViewerTest
