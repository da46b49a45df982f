// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PictureViewer.h"

// tessera-batch's viewer of one result: the picture viewer (Variant::Batch)
// with a File menu. "Save as" (offered while a compression is shown) writes
// the shown compression's JPEG under a name asked for; "Quit" closes the
// viewer only, since ending the program there would throw away the results
// of its run.
class BatchViewer : public PictureViewer
{
    Q_OBJECT

public:
    explicit BatchViewer(QWidget* parent = nullptr);
};
