// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QTest>
#include <QTimer>

// Answers the modal message boxes that appear while it lives: records the
// title, text, icon and buttons of each and clicks its OK button. It polls
// from a timer, which keeps firing inside the box's own event loop.
class MessageBoxCatcher : public QObject
{
public:
    MessageBoxCatcher()
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, &MessageBoxCatcher::answer);
        timer.start();
    }

    int count = 0;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
    QWidget* parent = nullptr;

private:
    void answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        ++count;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttonCount = int(box->buttons().size());
        parent = box->parentWidget();
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        if (ok)
            QTest::mouseClick(ok, Qt::LeftButton);
        else
            box->reject();
    }

    QTimer timer;
};
