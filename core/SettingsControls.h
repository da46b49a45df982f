// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JPEGSettings.h"

#include <QString>

// How the settings controls of both tools read back into a record.
namespace SettingsControls {

// A check box state applied to a flag: 2 (checked) sets it, 0 clears it, a
// partial state leaves it as it was.
inline bool flagForState(int state, bool current)
{
    if (state == 2)
        return true;
    if (state == 0)
        return false;
    return current;
}

// The DCT method named "int", "fast" or "float" as the combo boxes list them;
// false for any other text.
inline bool dctMethodNamed(const QString& name, JPEGSettings::DCTMethod& method)
{
    if (name == QLatin1String("int"))
        method = JPEGSettings::INT;
    else if (name == QLatin1String("fast"))
        method = JPEGSettings::FAST;
    else if (name == QLatin1String("float"))
        method = JPEGSettings::FLOAT;
    else
        return false;
    return true;
}

} // namespace SettingsControls
