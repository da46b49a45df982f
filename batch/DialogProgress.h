// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BatchProgress.h"

#include <QCoreApplication>
#include <QProgressDialog>

// A batch run's progress shown in a progress dialog. Header only, so that the
// batch engine itself needs no widgets; whoever includes this links them.
//
// Each step lets the event loop run, sets the dialog's value, lets the loop
// run again and then asks whether Cancel was pressed: the loop turns only
// inside these calls, which is what keeps the dialog's button alive.
class DialogProgress : public BatchProgress
{
public:
    // `dialog` may be null: nothing is shown and nothing is cancelled, but
    // the event loop still turns.
    explicit DialogProgress(QProgressDialog* dialog) : dialog(dialog) {}

    bool step(int value) override
    {
        QCoreApplication::processEvents();
        if (dialog)
            dialog->setValue(value);
        QCoreApplication::processEvents();
        return !(dialog && dialog->wasCanceled());
    }

    bool poll() override
    {
        QCoreApplication::processEvents();
        return !(dialog && dialog->wasCanceled());
    }

private:
    QProgressDialog* dialog;
};
