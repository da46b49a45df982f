// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QProgressDialog>
#include <QTimer>

#include <functional>
#include <vector>

// Sits in the event loop beside a progress dialog. The code under test lets
// the loop run around each progress step; at each of those moments the
// watcher notes the dialog's value and, when `cancelAt` says so, presses the
// dialog's Cancel button as a user would.
class ProgressWatcher
{
public:
    explicit ProgressWatcher(QProgressDialog& dialog) : dialog(dialog)
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] { look(); });
        timer.start();
    }

    // Presses Cancel the first time the dialog shows `value`.
    void cancelAt(int value) { cancelValue = value; }

    // The values the dialog showed, in order, each noted once.
    const std::vector<int>& values() const { return seen; }

    // Heap sampling hook, run at every turn of the event loop.
    std::function<void()> onTurn;

private:
    void look()
    {
        const int value = dialog.value();
        if (value >= 0 && (seen.empty() || seen.back() != value))
            seen.push_back(value);
        if (onTurn)
            onTurn();
        if (!pressed && cancelValue >= 0 && value == cancelValue) {
            pressed = true;
            auto* cancel = dialog.findChild<QAbstractButton*>();
            if (cancel)
                cancel->click();
            else
                dialog.cancel();
        }
    }

    QProgressDialog& dialog;
    QTimer timer;
    std::vector<int> seen;
    int cancelValue = -1;
    bool pressed = false;
};

// The dialog a batch run uses: a wide range, shown late, reset by hand.
inline void setUpDialog(QProgressDialog& dialog)
{
    dialog.setRange(0, 1000);
    dialog.setMinimumDuration(5);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
}
