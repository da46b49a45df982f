// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where a batch run shows how far it has come and learns that the user wants
// it to stop. The run calls it on the thread that started the run; a window
// lets its event loop turn inside these calls so that its Cancel button stays
// alive while the run blocks the loop.
class BatchProgress
{
public:
    virtual ~BatchProgress() = default;

    // `value` steps are done. False once the user has asked to stop.
    virtual bool step(int value) = 0;

    // Called while the run waits for its workers, between steps. False once
    // the user has asked to stop.
    virtual bool poll() { return true; }
};
