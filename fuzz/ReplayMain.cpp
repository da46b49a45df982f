// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for libFuzzer's driver where the harnesses are built without it:
// runs every input file named on the command line, and every file in a folder
// named there, through LLVMFuzzerTestOneInput once. Options in libFuzzer's
// form (-runs=0 and the like) are accepted and ignored, so a corpus replays
// with the same command under either build. A fault in the harness ends the
// process, which is what makes a replayed corpus a regression test.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

bool readInput(const fs::path& path, std::vector<std::uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-')
            continue;
        const fs::path named(argv[i]);
        std::error_code error;
        if (fs::is_directory(named, error)) {
            std::vector<fs::path> files;
            for (const fs::directory_entry& entry : fs::directory_iterator(named, error)) {
                if (entry.is_regular_file(error))
                    files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else if (fs::is_regular_file(named, error)) {
            inputs.push_back(named);
        } else {
            std::fprintf(stderr, "%s: no such input file or folder\n", argv[i]);
            return 2;
        }
    }
    // An empty corpus would pass without testing anything.
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER|INPUT...\n", argv[0]);
        return 2;
    }

    std::vector<std::uint8_t> bytes;
    for (const fs::path& input : inputs) {
        if (!readInput(input, bytes)) {
            std::fprintf(stderr, "%s: cannot be read\n", input.c_str());
            return 2;
        }
        // Named before it runs, so that a crash points at its input.
        std::fprintf(stderr, "Running: %s (%zu bytes)\n", input.c_str(), bytes.size());
        // libFuzzer never passes a null pointer, not even for an empty input.
        const std::uint8_t none = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
