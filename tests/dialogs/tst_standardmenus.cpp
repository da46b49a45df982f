// SPDX-License-Identifier: GPL-3.0-or-later
// The standard menus: File before Help whatever the order they are asked
// for, every entry named, with its text and a key, connected to its slot.

#include "StandardMenus.h"

#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

class TestStandardMenus : public QObject
{
    Q_OBJECT

private slots:
    void fileComesBeforeHelp()
    {
        QDialog window;
        auto* layout = new QVBoxLayout(&window);
        StandardMenus menus(&window, layout);
        QCOMPARE(layout->menuBar(), menus.bar());
        QMenu* help = menus.helpMenu();
        QMenu* file = menus.fileMenu();
        QCOMPARE(menus.fileMenu(), file);
        const QList<QAction*> bar = menus.bar()->actions();
        QCOMPARE(bar.size(), 2);
        QCOMPARE(bar[0]->menu(), file);
        QCOMPARE(bar[0]->text(), QStringLiteral("&File"));
        QCOMPARE(bar[1]->menu(), help);
        QCOMPARE(window.findChild<QMenu*>(QStringLiteral("helpMenu")), help);
    }

    void entriesHaveTheirNamesAndKeys()
    {
        QDialog window;
        StandardMenus menus(&window, new QVBoxLayout(&window));
        const struct
        {
            StandardMenus::Entry entry;
            const char* name;
            QKeySequence key; // the one shown, on every platform here
        } entries[] = {
            {StandardMenus::Open, "openAction", QKeySequence(Qt::CTRL | Qt::Key_O)},
            {StandardMenus::SaveAs, "saveAsAction", QKeySequence(Qt::CTRL | Qt::Key_S)},
            {StandardMenus::Quit, "quitAction", QKeySequence(Qt::CTRL | Qt::Key_Q)},
            {StandardMenus::HelpContents, "helpAction", QKeySequence(Qt::Key_F1)},
            {StandardMenus::About, "aboutAction", QKeySequence()},
        };
        for (const auto& e : entries) {
            QAction* action =
                StandardMenus::add(menus.fileMenu(), e.entry, &window, &QWidget::hide);
            QCOMPARE(action->objectName(), QLatin1String(e.name));
            QVERIFY(!action->text().isEmpty());
            QCOMPARE(action->shortcut(), e.key);
            window.show();
            action->trigger();
            QVERIFY(window.isHidden());
        }
        QVERIFY(!StandardMenus::keys(StandardMenus::Close).isEmpty());
        // A text of the window's own replaces the standard one.
        QAction* own = StandardMenus::add(menus.fileMenu(), StandardMenus::Quit,
                                          QStringLiteral("&Close the viewer"));
        QCOMPARE(own->text(), QStringLiteral("&Close the viewer"));
    }
};

QTEST_MAIN(TestStandardMenus)
#include "tst_standardmenus.moc"
