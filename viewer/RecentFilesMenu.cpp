// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecentFilesMenu.h"

#include "Preferences.h"

#include <QFileInfo>

RecentFilesMenu::RecentFilesMenu(QWidget* parent) : QMenu(QStringLiteral("&Recent files"), parent)
{
    setObjectName(QStringLiteral("recentFilesMenu"));
    connect(this, &QMenu::aboutToShow, this, &RecentFilesMenu::refresh);
    refresh();
}

void RecentFilesMenu::refresh()
{
    clear();
    int number = 0;
    for (const QString& path : Preferences::recentFiles()) {
        if (!QFileInfo(path).isFile())
            continue;
        ++number;
        // The number is the entry's mnemonic; an ampersand in a name is shown
        // as itself.
        QString label = QFileInfo(path).fileName();
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action =
            addAction(number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(label) : label);
        action->setToolTip(path);
        action->setData(path);
        connect(action, &QAction::triggered, this, [this, path] { emit fileChosen(path); });
    }
    if (number == 0)
        addAction(QStringLiteral("(none)"))->setEnabled(false);
    addSeparator();
    QAction* clearAction = addAction(QStringLiteral("&Clear list"));
    clearAction->setObjectName(QStringLiteral("clearRecentAction"));
    connect(clearAction, &QAction::triggered, this, [this] {
        Preferences::clearRecentFiles();
        refresh();
    });
}
