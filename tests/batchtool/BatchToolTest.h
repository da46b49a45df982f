// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Sits in the event loop and hands every modal window that becomes active to
// `handle`, once per showing. The handler answers it (closes it) and may record
// what it saw; a window it leaves open is not offered again. Modal windows
// run their own event loops, in which the timer keeps firing; a window that
// opens while the handler runs needs a second watcher.
class ModalWatcher : public QObject
{
public:
    explicit ModalWatcher(std::function<void(QWidget*)> handle) : handle(std::move(handle))
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, &ModalWatcher::look);
        timer.start();
    }

private:
    void look()
    {
        // A window is offered again when it comes back after being closed.
        if (last && !last->isVisible())
            last = nullptr;
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == last)
            return;
        last = modal;
        handle(modal);
    }

    QTimer timer;
    QPointer<QWidget> last;
    std::function<void(QWidget*)> handle;
};

// What a message box said; the watcher presses its OK button.
struct BoxRecord
{
    int count = 0;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QWidget* parent = nullptr;
};

// Answers every message box with OK and records the last one.
class BoxCatcher
{
public:
    BoxCatcher()
        : watcher([this](QWidget* modal) {
              auto* box = qobject_cast<QMessageBox*>(modal);
              if (!box)
                  return;
              ++record.count;
              record.title = box->windowTitle();
              record.text = box->text();
              record.icon = box->icon();
              record.buttons = int(box->buttons().size());
              record.parent = box->parentWidget();
              if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                  ok->click();
              else
                  box->reject();
          })
    {
    }

    BoxRecord record;

private:
    ModalWatcher watcher;
};
