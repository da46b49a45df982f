// SPDX-License-Identifier: GPL-3.0-or-later
// tessera-loader: decodes pictures for the other programs in a process of its
// own (see core/LoaderProcess.h). Started by them with its socket as standard
// input; not meant to be run by hand.
#include "Image.h"
#include "LoaderProcess.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 3 || std::strcmp(argv[1], "--serve") != 0) {
        std::fprintf(stderr, "tessera-loader decodes pictures for tessera; it is started by it.\n");
        return 2;
    }
    Image::setLibraryChatter(argc > 3 && std::strcmp(argv[3], "--verbose") == 0);
    const int status = LoaderProcess::serve(0, std::strtoull(argv[2], nullptr, 10));
    Image::deinitImage();
    return status;
}
