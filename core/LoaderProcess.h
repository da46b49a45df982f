// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

class Image;

// Pictures of the formats that only the general loader reads are decoded in
// a helper process, tessera-loader, so that a file that crashes a decoder,
// hangs it or makes it allocate without end costs one failed load and never
// the program. Helpers serve one picture after another; each load takes one
// that is idle (or starts one), so there are as many as loads run at once,
// and a helper that failed is started again for its next picture. The helper is looked for beside
// the running program, in the build's run folder and in the installed programs' folder.
//
// Protocol over a stream socket (native byte order, both ends on one
// machine): request = u32 path length, path bytes; reply = u32 protocol
// number, u32 loaded,
// width, height, whether a 32-bit copy follows, u32 message length, message
// (UTF-8), then the 24-bit copy's pitch * height bytes and, when it cannot be
// made from the 24-bit one as for a plain 24-bit picture, the 32-bit copy's
// 4 * width * height bytes.
namespace LoaderProcess {

// Whether loads of this format go to the helper: everything but PNG, JPEG
// and the portable maps, which have decoders of our own. Never inside the
// helper itself.
bool isolates(int freeImageFormat);

// Loads `path` through this thread's helper into `image`: its pixels, or no
// pixels and why ("The picture could not be decoded: ..." when the helper
// crashed, ran out of time or could not be started).
void load(const std::string& path, Image& image);

// Whether this process decodes every format itself, as the helper does: for
// harnesses that look for the decoders' faults and for comparing the two
// ways. Off by default.
void setInProcess(bool decodesItself);

// Ends the helpers that are not in use (the next load starts one again).
void stopIdleHelpers();

// Seconds one picture may take in the helper before it is stopped.
void setTimeLimit(double seconds);

// The helper's side: makes this process decode in-process with the memory
// budget of the process that started it, `budgetBytes`, limits its address
// space to that and a gigabyte more, and serves requests on `socket` until it
// is closed. Returns the exit status.
int serve(int socket, std::uint64_t budgetBytes);

} // namespace LoaderProcess
