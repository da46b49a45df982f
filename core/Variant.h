// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two programs share their classes; where a shared class behaves
// differently in one of them, it is told which program it serves.
enum class Variant {
    Interactive, // tessera: one picture, interactive
    Batch,       // tessera-batch: many pictures under a sweep of settings
};
