// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QString>

class QLayout;
class QMenu;
class QMenuBar;
class QWidget;

// The File and Help menus of the programs' windows and their standard
// entries, made in one place so that an entry reads, is named and answers the
// same keys in every window. The keys are the platform's standard ones
// (QKeySequence::StandardKey); where a platform binds none, the common
// binding stands in (Ctrl+Q for Quit), so every entry has its key everywhere.
//
// A window makes one StandardMenus over the layout that carries its menu bar,
// asks for the menus it has and adds the standard entries with the slot each
// one triggers; entries of its own go into the same menus with the QMenu
// functions, in the order they are to be read:
//
//     StandardMenus menus(this, outerLayout);
//     QMenu* file = menus.fileMenu();
//     menus.add(file, StandardMenus::Open, this, &ToolWindow::openFile);
//     file->addMenu(new RecentFilesMenu(this));
//     saveAsAction = menus.add(file, StandardMenus::SaveAs, this, &ToolWindow::saveAs);
//     file->addSeparator();
//     menus.add(file, StandardMenus::Quit, this, &ToolWindow::quit);
//     QMenu* help = menus.helpMenu();
//     menus.add(help, StandardMenus::HelpContents, this, &ToolWindow::showHelpWindow);
//     menus.add(help, StandardMenus::About, this, &ToolWindow::showAboutWindow);
//
// Object names, for the window's tests: the bar "menuBar", the menus
// "fileMenu" and "helpMenu", the entries those listed with Entry.
class StandardMenus
{
public:
    // Entry          text          object name     keys
    enum Entry {
        Open,         // "&Open"       openAction      Open
        SaveAs,       // "Save &as"    saveAsAction    Save, then SaveAs
        Close,        // "&Close"      closeAction     Close
        Quit,         // "&Quit"       quitAction      Quit, else Ctrl+Q
        HelpContents, // "JPEG &Help"  helpAction      HelpContents, else F1
        About,        // "&About"      aboutAction     none
    };

    // Puts a new, empty menu bar over `layout`, the top layout of `window`.
    StandardMenus(QWidget* window, QLayout* layout);

    QMenuBar* bar() const { return menuBar; }
    // "&File", always first in the bar; made on the first call.
    QMenu* fileMenu();
    // "&Help", after File; made on the first call.
    QMenu* helpMenu();

    // Appends `entry` to `menu` and connects it to `slot` of `receiver`;
    // `text` replaces the entry's standard text when given.
    template <typename Receiver, typename Slot>
    static QAction* add(QMenu* menu, Entry entry, const Receiver* receiver, Slot slot,
                        const QString& text = QString())
    {
        QAction* action = add(menu, entry, text);
        QObject::connect(action, &QAction::triggered, receiver, slot);
        return action;
    }
    // The entry alone, for a window that connects it itself.
    static QAction* add(QMenu* menu, Entry entry, const QString& text = QString());

    // The keys of `entry`, the first of them the one the menu shows. These
    // programs write their files under a name asked for each time and have
    // no plain Save: "Save as" answers Save's key before its own.
    static QList<QKeySequence> keys(Entry entry);

private:
    QMenuBar* menuBar;
    QMenu* file = nullptr;
    QMenu* help = nullptr;
};
