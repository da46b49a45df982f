// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JpegBitCost.h"

#include <QString>

// Where the bytes of a JPEG file go, as rich text for the tool window and
// the JPEG properties: markers and headers, tables, metadata, the DC and AC
// bits of each component, and the stuffing, restart markers and padding,
// each in bytes with a small bar and its share of the file; for a
// progressive file also each scan. A file that was not walked says why.
namespace BitBreakdown {

QString html(const JpegBitCost& cost);

// "Y", "Cb", "Cr", "grey" or the component's number.
QString componentName(const JpegBitCost& cost, int component);

} // namespace BitBreakdown
