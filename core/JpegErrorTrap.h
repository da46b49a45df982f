// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

// The JPEG library's standard error handler ends the process. A trap set as
// a library object's error manager turns every error into a jump back to the
// frame that called setjmp on `jump`, with the error's text in `message`,
// and keeps the library's warnings off the terminal: they are counted in
// pub.num_warnings, and the first one's text is kept in `warning`.
//
// Use: `cinfo.err = armJpegErrorTrap(trap); if (setjmp(trap.jump)) {...}`,
// then the library calls. The trap is trivially destructible, and so must be
// everything the jump may skip in the frames between setjmp and the library.
struct JpegErrorTrap
{
    jpeg_error_mgr pub; // first: the library's pointer to it is one to the trap
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    char warning[JMSG_LENGTH_MAX];
    // When set, called with the text of every error and of the first
    // warning, as the library reports them.
    void (*report)(void* context, const char* text);
    void* context;
    // An unknown marker is reported and skipped instead of ending the call.
    bool skipUnknownMarkers;
};

// Sets the trap up, with no report and no skipping, and returns the error
// manager to hand to the library object before it is created.
jpeg_error_mgr* armJpegErrorTrap(JpegErrorTrap& trap);

// The trap of a library object whose error manager is one.
JpegErrorTrap& jpegErrorTrapOf(j_common_ptr cinfo);

// Ends the library call in progress as an error would, with `text` (a
// refusal of our own, from a progress monitor or the like).
[[noreturn]] void failJpegCall(j_common_ptr cinfo, const char* text);
