// SPDX-License-Identifier: GPL-3.0-or-later
#include "JpegErrorTrap.h"

#include <cstring>

extern "C" {
#include <jerror.h>
}

namespace {

extern "C" void trapError(j_common_ptr cinfo)
{
    JpegErrorTrap& trap = jpegErrorTrapOf(cinfo);
    (*cinfo->err->format_message)(cinfo, trap.message);
    if (trap.report)
        trap.report(trap.context, trap.message);
    if (trap.skipUnknownMarkers && cinfo->err->msg_code == JERR_UNKNOWN_MARKER)
        return;
    std::longjmp(trap.jump, 1);
}

// Warnings (level < 0) are counted as the library's own handler counts them;
// the first is kept. Trace messages are dropped unformatted.
extern "C" void trapMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    JpegErrorTrap& trap = jpegErrorTrapOf(cinfo);
    if (trap.pub.num_warnings++ != 0)
        return;
    (*cinfo->err->format_message)(cinfo, trap.warning);
    if (trap.report)
        trap.report(trap.context, trap.warning);
}

// Nothing reaches the terminal; emit_message and trapError say what is said.
extern "C" void trapOutput(j_common_ptr) {}

} // namespace

jpeg_error_mgr* armJpegErrorTrap(JpegErrorTrap& trap)
{
    jpeg_error_mgr* manager = jpeg_std_error(&trap.pub);
    trap.pub.error_exit = trapError;
    trap.pub.emit_message = trapMessage;
    trap.pub.output_message = trapOutput;
    trap.message[0] = '\0';
    trap.warning[0] = '\0';
    trap.report = nullptr;
    trap.context = nullptr;
    trap.skipUnknownMarkers = false;
    return manager;
}

JpegErrorTrap& jpegErrorTrapOf(j_common_ptr cinfo)
{
    return *reinterpret_cast<JpegErrorTrap*>(cinfo->err);
}

void failJpegCall(j_common_ptr cinfo, const char* text)
{
    JpegErrorTrap& trap = jpegErrorTrapOf(cinfo);
    std::snprintf(trap.message, sizeof trap.message, "%s", text);
    if (trap.report)
        trap.report(trap.context, trap.message);
    std::longjmp(trap.jump, 1);
}
