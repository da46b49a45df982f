// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMenu>

// The "Recent files" submenu of a File menu: the pictures opened lately
// (Preferences::recentFiles), rebuilt each time it opens, and "Clear list".
// Files that no longer exist are left out.
class RecentFilesMenu : public QMenu
{
    Q_OBJECT

public:
    explicit RecentFilesMenu(QWidget* parent);

    // Rebuilds the entries from the store.
    void refresh();

signals:
    void fileChosen(const QString& path);
};
