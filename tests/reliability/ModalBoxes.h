// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

// Answers every modal message box with OK while it lives, keeping the titles
// and texts the boxes showed.
class Boxes : public QObject
{
public:
    Boxes()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            titles << box->windowTitle();
            texts << box->text();
            box->button(QMessageBox::Ok)->click();
        });
        timer.start(5);
    }
    QStringList titles;
    QStringList texts;

private:
    QTimer timer;
};
