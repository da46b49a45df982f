// SPDX-License-Identifier: GPL-3.0-or-later
#include "StandardMenus.h"

#include <QLayout>
#include <QMenu>
#include <QMenuBar>

namespace {

struct EntryInfo
{
    const char* text;
    const char* name;
    QKeySequence::StandardKey keys;
    QKeySequence::StandardKey moreKeys; // UnknownKey: none
    QKeySequence fallback;              // when the platform binds neither
};

const EntryInfo& entryInfo(StandardMenus::Entry entry)
{
    static const EntryInfo entries[] = {
        {"&Open", "openAction", QKeySequence::Open, QKeySequence::UnknownKey,
         QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"Save &as", "saveAsAction", QKeySequence::Save, QKeySequence::SaveAs,
         QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"&Close", "closeAction", QKeySequence::Close, QKeySequence::UnknownKey,
         QKeySequence(Qt::CTRL | Qt::Key_W)},
        {"&Quit", "quitAction", QKeySequence::Quit, QKeySequence::UnknownKey,
         QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"JPEG &Help", "helpAction", QKeySequence::HelpContents, QKeySequence::UnknownKey,
         QKeySequence(Qt::Key_F1)},
        {"&About", "aboutAction", QKeySequence::UnknownKey, QKeySequence::UnknownKey,
         QKeySequence()},
    };
    return entries[int(entry)];
}

QMenu* makeMenu(QMenuBar* bar, const char* title, const char* name, QAction* before)
{
    auto* menu = new QMenu(QString::fromLatin1(title), bar);
    menu->setObjectName(QLatin1String(name));
    bar->insertMenu(before, menu);
    return menu;
}

} // namespace

StandardMenus::StandardMenus(QWidget* window, QLayout* layout) : menuBar(new QMenuBar(window))
{
    menuBar->setObjectName(QStringLiteral("menuBar"));
    layout->setMenuBar(menuBar);
}

QMenu* StandardMenus::fileMenu()
{
    if (!file) {
        const QList<QAction*> menus = menuBar->actions();
        file = makeMenu(menuBar, "&File", "fileMenu", menus.isEmpty() ? nullptr : menus.first());
    }
    return file;
}

QMenu* StandardMenus::helpMenu()
{
    if (!help)
        help = makeMenu(menuBar, "&Help", "helpMenu", nullptr);
    return help;
}

QAction* StandardMenus::add(QMenu* menu, Entry entry, const QString& text)
{
    const EntryInfo& info = entryInfo(entry);
    QAction* action = menu->addAction(text.isEmpty() ? QString::fromUtf8(info.text) : text);
    action->setObjectName(QLatin1String(info.name));
    action->setShortcuts(keys(entry));
    return action;
}

QList<QKeySequence> StandardMenus::keys(Entry entry)
{
    const EntryInfo& info = entryInfo(entry);
    QList<QKeySequence> keys = QKeySequence::keyBindings(info.keys);
    for (const QKeySequence& key : QKeySequence::keyBindings(info.moreKeys))
        if (!keys.contains(key))
            keys.append(key);
    if (keys.isEmpty() && !info.fallback.isEmpty())
        keys.append(info.fallback);
    return keys;
}
