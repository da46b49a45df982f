// SPDX-License-Identifier: GPL-3.0-or-later
// Picture loading followed by a compression and its measurements, the road
// every picture a user opens takes: the input is written to a file (pictures
// are loaded from paths), loaded as an Image and, when it loads, compressed
// under settings drawn from the input itself; then every figure and every
// derived picture of the result is read.
//
// The input file lives in a scratch folder of the harness's own; the encoder
// works in memory and writes no file.

#include "CompressionResult.h"
#include "Image.h"
#include "JPEGCompressor.h"
#include "LoaderProcess.h"
#include "PictureHeaders.h"

#include <FreeImage.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// Larger pictures are legal, but they only make each run slower.
constexpr std::uint64_t MAX_FUZZ_PIXELS = 1u << 20;

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_picture: %s\n", what);
        std::abort();
    }
}

class ScratchFolder
{
public:
    ScratchFolder()
    {
        char name[] = "/tmp/tessera-fuzz-picture-XXXXXX";
        check(::mkdtemp(name) != nullptr, "no scratch folder");
        folder = name;
        Image::initImage();
        // The decoders themselves are what is fuzzed here.
        LoaderProcess::setInProcess(true);
    }
    ~ScratchFolder()
    {
        for (const char* extension : extensions)
            std::remove(path(extension).c_str());
        ::rmdir(folder.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path(const char* extension) const { return folder + "/input" + extension; }
    const std::string& path() const { return folder; }

    // Formats are found by content first and by the name only when the
    // content says nothing, so the name matters for headerless formats. The
    // input's hash picks it: an input always gets the same name.
    static constexpr const char* extensions[] = {".jpg", ".png", ".bmp",  ".gif", ".tif", ".tga",
                                                 ".pcx", ".ppm", ".wbmp", ".xbm", ".ico", ".psd"};

private:
    std::string folder;
};

std::uint64_t hashOf(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 1099511628211ull;
    return hash;
}

// Takes `count` values off the low end of `bits`.
unsigned take(std::uint64_t& bits, unsigned count)
{
    const unsigned value = unsigned(bits % count);
    bits /= count;
    return value;
}

// The dimensions the header claims, found as the loader finds them; pictures
// whose size cannot be known without decoding are left to the loader's limits.
bool smallEnough(const std::string& path)
{
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
    if (format == FIF_UNKNOWN)
        format = FreeImage_GetFIFFromFilename(path.c_str());
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format))
        return true;
    // A damaged file is the loader's to refuse, before FreeImage sees it.
    const PictureHeaders::HeaderClaim claim = PictureHeaders::readClaim(format, path);
    if (claim.broken)
        return true;
    std::uint64_t width = claim.width, height = claim.height;
    if (FreeImage_FIFSupportsNoPixels(format)) {
        // Through the loader's own guarded reads: FreeImage's plain file
        // reads loop for ever on some damaged headers (OpenEXR's).
        FIBITMAP* header = PictureHeaders::load(format, path, FIF_LOAD_NOPIXELS);
        if (!header)
            return true;
        width = FreeImage_GetWidth(header);
        height = FreeImage_GetHeight(header);
        FreeImage_Unload(header);
    } else if (!claim.known) {
        return true;
    }
    return width * height <= MAX_FUZZ_PIXELS;
}

void drawSettings(std::uint64_t bits, JPEGSettings& settings)
{
    settings.setCompressionMode(take(bits, 2) ? JPEGSettings::BASELINE : JPEGSettings::EXTENDED);
    settings.setProgressiveMode(take(bits, 2));
    settings.setGrayscaleOutput(take(bits, 4) == 0);
    settings.setOptimizeHuffman(take(bits, 2));
    settings.setAutoQualityEnabled(take(bits, 2));
    settings.setQuality(int(take(bits, 101)));
    settings.setDCTMethod(JPEGSettings::DCTMethod(take(bits, 3)));
    settings.setSmoothing(take(bits, 4) == 0 ? int(take(bits, 101)) : 0);
    // Factors 1..4 in any combination, the illegal ones included: the
    // library refuses those, and the compressor must give no result.
    for (int component = 0; component < 2; ++component) {
        if (take(bits, 3) == 0) {
            settings.downsampling[component].vertical = int(1 + take(bits, 4));
            settings.downsampling[component].horizontal = int(1 + take(bits, 4));
        }
    }
    bool* current = settings.getCurrentQuantizationTables();
    for (int slot = 0; slot < 2; ++slot) {
        current[slot] = take(bits, 2);
        const unsigned preset = take(bits, JPEGSettings::PRESET_COUNT);
        settings.qtables[slot] = QuantizationTable(JPEGSettings::presets[preset]);
    }
    // Values the editor's files allow but its keyboard does not.
    if (take(bits, 4) == 0)
        settings.qtables[0][take(bits, 64)] = take(bits, 2) ? 0u : 40000u;
}

// Reads every byte of a picture, so that a short buffer shows. The sum goes
// where the compiler cannot drop the reads.
volatile unsigned sink = 0;
void readAll(const unsigned char* pixels, std::size_t bytes)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        sum += pixels[i];
    sink = sink + sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static ScratchFolder scratch;
    const std::uint64_t hash = hashOf(data, size);
    const char* extension =
        ScratchFolder::extensions[hash % (sizeof ScratchFolder::extensions / sizeof(char*))];
    const std::string path = scratch.path(extension);
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        check(file != nullptr, "cannot write the input file");
        check(std::fwrite(data, 1, size, file) == size, "cannot write the input");
        check(std::fclose(file) == 0, "cannot write the input");
    }
    if (!smallEnough(path)) {
        std::remove(path.c_str());
        return 0;
    }

    const std::unique_ptr<Image> image(new Image(path));
    std::remove(path.c_str());
    if (!image->getRGB24Buffer()) {
        check(!image->getRGB32Buffer() && image->getWidth() == 0 && image->getHeight() == 0,
              "half a picture");
        check(!image->getLoadMessage().isEmpty(), "a refused picture without a reason");
        return 0;
    }
    const unsigned width = image->getWidth();
    const unsigned height = image->getHeight();
    check(width > 0 && height > 0 && width <= Image::MAX_SIDE && height <= Image::MAX_SIDE,
          "a picture outside the loader's limits");
    check(image->getImageSize() == size, "the file size is wrong");
    const std::size_t bytes = std::size_t(width) * height * 4;
    readAll(image->getRGB32Buffer(), bytes);
    readAll(image->getRGB24Buffer(), std::size_t(image->getRGB24Pitch()) * height);

    JPEGCompressor compressor;
    drawSettings(hash >> 8, *compressor.getSettings());
    compressor.setImage(image.get());
    const std::unique_ptr<CompressionResult> result(compressor.compressImage());
    if (!result) {
        check(!compressor.lastError().isEmpty(), "a failed compression without a reason");
        return 0;
    }
    check(result->getSourceImage() == image.get(), "the result lost its source");
    const Image* decoded = result->getCompressedImage();
    check(decoded && decoded->getRGB32Buffer(), "the encoder's own JPEG did not decode");
    check(decoded->getWidth() == width && decoded->getHeight() == height,
          "the JPEG has other dimensions than its source");
    const QByteArray& jpeg = result->getCompressedBytes();
    check(jpeg.startsWith("\xFF\xD8") && jpeg.size() == result->getCompressedSize() &&
              decoded->getImageSize() == std::uint64_t(jpeg.size()),
          "the result's JPEG bytes do not match its figures");
    check(result->getChannels() == 3, "a decoded picture without three channels");
    check(std::isfinite(result->getMSE()) && result->getMSE() >= 0, "a bad mean square error");
    check(result->getCompressionRate() > 0 && std::isfinite(result->getBitRate()),
          "bad compression figures");
    for (const unsigned char* picture :
         {result->getY_RGB32(), result->getCB_RGB32(), result->getCR_RGB32(), result->getErrors(),
          result->getColorDifference()}) {
        check(picture != nullptr, "a derived picture is missing");
        readAll(picture, bytes);
    }
    return 0;
}
