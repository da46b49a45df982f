// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CompressionResult.h"
#include "Image.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class QFileDialog;
class QWidget;

namespace ViewerTest {

// The 8-bit name of a file for Image.
std::string encoded(const QString& path);

// Writes a PNG of width x height and pads it with trailing zeros to exactly
// `bytes` bytes, so the figures of a result made from it are known.
bool writePadded(const QString& path, int width, int height, qint64 bytes);

// A source picture and its real compression, in the working directory.
struct Compression
{
    std::unique_ptr<Image> source;
    std::unique_ptr<CompressionResult> result;
};
Compression compress(const QString& pictureName, int width, int height);

// Runs `action` inside the application's event loop and tells whether it
// asked the application to quit. The request is swallowed.
bool asksToQuit(const std::function<void()>& action);

// Chooses `path` in a file dialog and accepts it. The name box takes a
// chosen file only while it has no focus, and whether an offscreen dialog
// has given it focus yet depends on the tests before: the focus is taken
// away first.
void chooseFile(QFileDialog* dialog, const QString& path);

// While it lives, hands every modal window that opens to `handle`, which
// answers it (closes it) and may record what it saw.
class ModalHandler : public QObject
{
public:
    explicit ModalHandler(std::function<void(QWidget*)> handle);
    int handled() const { return count; }

private:
    QTimer timer;
    std::function<void(QWidget*)> handle;
    int count = 0;
};

} // namespace ViewerTest
