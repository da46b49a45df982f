// SPDX-License-Identifier: GPL-3.0-or-later
#include "WheelGuard.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

void WheelGuard::protect(QWidget* form)
{
    auto* guard = new WheelGuard(form);
    QList<QWidget*> fields;
    for (QAbstractSpinBox* spin : form->findChildren<QAbstractSpinBox*>())
        fields << spin;
    for (QComboBox* combo : form->findChildren<QComboBox*>())
        fields << combo;
    for (QWidget* field : fields) {
        // The default wheel focus would let the wheel take the focus too.
        field->setFocusPolicy(Qt::StrongFocus);
        field->installEventFilter(guard);
    }
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel)
        return false;
    auto* field = qobject_cast<QWidget*>(watched);
    if (!field || field->hasFocus())
        return false;
    // Ignored, the event travels on to the parents and reaches the scroll
    // area; consumed here, the field never sees it.
    event->ignore();
    return true;
}
