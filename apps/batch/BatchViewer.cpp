// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchViewer.h"

#include "CompressionResult.h"
#include "StandardMenus.h"

#include <QLayout>
#include <QMenu>

BatchViewer::BatchViewer(QWidget* parent) : PictureViewer(Variant::Batch, parent)
{
    StandardMenus menus(this, layout());
    QMenu* file = menus.fileMenu();
    QAction* saveAs = StandardMenus::add(file, StandardMenus::SaveAs, this, &PictureViewer::saveAs);
    saveAs->setEnabled(false);
    connect(this, &PictureViewer::resultChanged, saveAs,
            [saveAs](const CompressionResult* shown) { saveAs->setEnabled(shown != nullptr); });
    file->addSeparator();
    StandardMenus::add(file, StandardMenus::Quit, this, &QWidget::close);
}
