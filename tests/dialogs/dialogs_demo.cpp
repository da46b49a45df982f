// SPDX-License-Identifier: GPL-3.0-or-later
// Shows one settings dialog on a sample record, for looking at it by eye.
// Not run by the test suite. Usage, from the staged run folder:
//   dialogs_demo quantization|downsampling interactive|batch [presets]
//                [--quality N] [--baseline] [--screenshot FILE]
//   dialogs_demo properties PICTURE.jpg [--screenshot FILE]
// "presets" opens the quantization editor's preset menu after a moment.
// --quality and --baseline set the record's quality and coding mode, which
// the editor's effective table follows. --screenshot writes the dialog to
// FILE once the dialog is up, then quits.
#include "DownsamplingWindow.h"
#include "JPEGSettings.h"
#include "JpegPropertiesWindow.h"
#include "QuantizationWindow.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s quantization|downsampling interactive|batch\n", argv[0]);
        return 2;
    }
    const bool interactive = std::strcmp(argv[2], "interactive") == 0;

    JPEGSettings settings;
    if (interactive)
        settings.useAnnexKTables();
    settings.getCurrentQuantizationTables()[0] = true;
    settings.getCurrentQuantizationTables()[1] = true;
    settings.downsampling[0] = {2, 2};
    bool presets = false;
    QString screenshot;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "presets") == 0)
            presets = true;
        else if (std::strcmp(argv[i], "--baseline") == 0)
            settings.setCompressionMode(JPEGSettings::BASELINE);
        else if (std::strcmp(argv[i], "--quality") == 0 && i + 1 < argc)
            settings.setQuality(std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
            screenshot = QString::fromLocal8Bit(argv[++i]);
    }

    std::unique_ptr<QDialog> dialog;
    if (std::strcmp(argv[1], "properties") == 0) {
        auto* window = new JpegPropertiesWindow;
        const QString path = QString::fromLocal8Bit(argv[2]);
        window->setInfo(JpegFileInfo::readFile(path), path.section('/', -1));
        dialog.reset(window);
    } else if (std::strcmp(argv[1], "quantization") == 0) {
        if (interactive) {
            dialog = std::make_unique<QuantizationWindow>(settings, nullptr);
        } else {
            auto* window = new QuantizationWindow(nullptr);
            window->setSettings(&settings);
            window->updateEditables(false);
            window->updateUI();
            dialog.reset(window);
        }
    } else {
        if (interactive) {
            dialog = std::make_unique<DownsamplingWindow>(settings, nullptr);
        } else {
            auto* window = new DownsamplingWindow(nullptr);
            window->setSettings(&settings);
            window->updateEditables(false);
            window->updateUI();
            dialog.reset(window);
        }
    }
    dialog->move(20, 20);
    dialog->show();
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(800, dialog.get(), [&dialog, &screenshot] {
            // The dialog alone, without the empty screen around it.
            const QPixmap shot = dialog->grab();
            if (!shot.save(screenshot))
                std::fprintf(stderr, "cannot write %s\n", qPrintable(screenshot));
            QCoreApplication::exit(0);
        });
    }
    if (presets) {
        QTimer::singleShot(500, dialog.get(), [&dialog] {
            if (auto* menu = dialog->findChild<QMenu*>("presetMenu"))
                menu->popup(dialog->mapToGlobal(QPoint(60, 30)));
        });
    }
    QObject::connect(dialog.get(), &QDialog::finished, &app, &QApplication::quit);
    return app.exec();
}
