// SPDX-License-Identifier: GPL-3.0-or-later
#include "Image.h"

#include "GuardedIo.h"
#include "JpegDecoder.h"
#include "LoaderProcess.h"
#include "MemoryBudget.h"
#include "PictureHeaders.h"
#include "PngDecoder.h"
#include "PpmDecoder.h"

#include <FreeImage.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace {

std::atomic<bool> initialised{false};
std::mutex initialising;
// Collects FreeImage's messages while a load runs on this thread. FreeImage
// calls the handler on the thread of the call that raised the message, so
// loads on other threads keep their messages apart.
thread_local QString* freeImageMessage = nullptr;

// Lines of one load's message at most: a damaged file can make a decoder
// say the same thing thousands of times.
constexpr int MAX_MESSAGE_LINES = 20;

void onFreeImageMessage(FREE_IMAGE_FORMAT format, const char* message)
{
    if (!freeImageMessage || freeImageMessage->count(QLatin1Char('\n')) >= MAX_MESSAGE_LINES - 1)
        return;
    QString text = QString::fromLocal8Bit(message ? message : "");
    if (format != FIF_UNKNOWN) {
        if (const char* name = FreeImage_GetFormatFromFIF(format))
            text = QStringLiteral("%1: %2").arg(QString::fromLatin1(name), text);
    }
    // Each warning once, though a format's header is read before its
    // pixels and says it twice.
    if (freeImageMessage->split(QLatin1Char('\n')).contains(text))
        return;
    if (!freeImageMessage->isEmpty())
        freeImageMessage->append(QLatin1Char('\n'));
    freeImageMessage->append(text);
}

std::atomic<bool> chatter{false};

extern "C" void onTiffMessage(const char* module, const char* format, va_list arguments)
{
    if (!chatter.load(std::memory_order_relaxed))
        return;
    if (module)
        std::fprintf(stderr, "%s: ", module);
    std::vfprintf(stderr, format, arguments);
    std::fputc('\n', stderr);
}

// The TIFF library under the general loader prints its warnings and errors
// (thousands of "unknown tag" lines for some files) on standard error; the
// loader reports its own failures. Its handlers are set through the copy
// the general loader already loaded, without a development package.
void routeTiffMessages()
{
    void* tiff = ::dlopen("libtiff.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (!tiff)
        return;
    using Handler = void (*)(const char*, const char*, va_list);
    using SetHandler = Handler (*)(Handler);
    for (const char* name : {"TIFFSetWarningHandler", "TIFFSetErrorHandler"}) {
        if (auto set = reinterpret_cast<SetHandler>(::dlsym(tiff, name)))
            set(onTiffMessage);
    }
    ::dlclose(tiff);
}

// Routes FreeImage's messages into `target` for the life of this object.
class MessageCapture
{
public:
    explicit MessageCapture(QString* target) { freeImageMessage = target; }
    ~MessageCapture() { freeImageMessage = nullptr; }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
};

// Source pictures may be loaded on several threads at once (the batch
// engine's workers load ahead of each other). The decoders of the common
// formats keep all their state in the load's own objects and run side by
// side; FreeImage's many other plug-ins and the libraries under them are not
// all known to be safe to run at once, and those run one at a time. The lock
// is held from the first look at the file's header to the end of its decode.
std::unique_lock<std::mutex> decoderLock(FREE_IMAGE_FORMAT format)
{
    static std::mutex oneAtATime;
    if (format == FIF_PNG || format == FIF_JPEG || PictureHeaders::plainFormat(format))
        return std::unique_lock<std::mutex>(oneAtATime, std::defer_lock);
    return std::unique_lock<std::mutex>(oneAtATime);
}

} // namespace

void Image::initImage()
{
    if (initialised.load(std::memory_order_acquire))
        return;
    const std::lock_guard<std::mutex> lock(initialising);
    if (initialised.load(std::memory_order_relaxed))
        return;
    FreeImage_Initialise(FALSE);
    FreeImage_SetOutputMessage(onFreeImageMessage);
    routeTiffMessages();
    initialised.store(true, std::memory_order_release);
}

void Image::setLibraryChatter(bool shown)
{
    chatter.store(shown, std::memory_order_relaxed);
}

bool Image::libraryChatter()
{
    return chatter.load(std::memory_order_relaxed);
}

void Image::deinitImage()
{
    const std::lock_guard<std::mutex> lock(initialising);
    if (!initialised.load(std::memory_order_relaxed))
        return;
    LoaderProcess::stopIdleHelpers();
    FreeImage_DeInitialise();
    initialised.store(false, std::memory_order_release);
}

Image::Image(const std::string& path) : filePath(path)
{
    load(path);
}

Image* Image::loadEncodedJpeg(const QByteArray& jpeg)
{
    std::unique_ptr<Image> image(new Image());
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const auto size = static_cast<unsigned long>(jpeg.size());
    if (!image->decodeJpeg(data, size))
        image->loadJpegFromMemory(data, size);
    return image.release();
}

Image* Image::loadEncodedJpeg(const std::string& path)
{
    QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    // Regular files only: a FIFO would block and a device never end.
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
        std::unique_ptr<Image> image(new Image());
        image->loadMessage = QStringLiteral("The file does not exist or cannot be read.");
        return image.release();
    }
    Image* image = loadEncodedJpeg(file.readAll());
    image->filePath = path;
    return image;
}

bool Image::decodeJpeg(const unsigned char* data, unsigned long size)
{
    initImage();
    if (size == 0)
        return false;
    unsigned width = 0, height = 0;
    unsigned char* pixels =
        JpegDecoder::decodeTo32(data, size, MAX_SIDE, MAX_PIXELS, width, height);
    if (!pixels || !wrap32(pixels, width, height))
        return false;
    imageSize = size;
    return true;
}

bool Image::wrap32(unsigned char* pixels, unsigned width, unsigned height)
{
    // A bitmap header over the pixels, so that they are neither cleared
    // beforehand nor copied afterwards.
    dib32 = FreeImage_ConvertFromRawBitsEx(FALSE, pixels, FIT_BITMAP, int(width), int(height),
                                           int(width * 4), 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                           FI_RGBA_BLUE_MASK, FALSE);
    if (!dib32) {
        std::free(pixels);
        return false;
    }
    pixels32 = pixels;
    return true;
}

bool Image::flippedTo32(FIBITMAP* bitmap24)
{
    // What FreeImage_ConvertTo32Bits and FreeImage_FlipVertical give (the
    // fourth byte 255), without clearing the new pixels first.
    const unsigned width = FreeImage_GetWidth(bitmap24);
    const unsigned height = FreeImage_GetHeight(bitmap24);
    const std::size_t stride = std::size_t(width) * 4;
    auto* pixels = static_cast<unsigned char*>(std::malloc(stride * height));
    if (!pixels)
        return false;
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* in = FreeImage_GetScanLine(bitmap24, int(height - 1 - y));
        unsigned char* out = pixels + y * stride;
        for (unsigned x = 0; x < width; ++x, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
        }
    }
    return wrap32(pixels, width, height);
}

void Image::loadJpegFromMemory(const unsigned char* data, unsigned long size)
{
    initImage();
    imageSize = size;
    if (FIBITMAP* loaded = loadJpeg(data, size))
        adopt(loaded);
}

void Image::load(const std::string& path)
{
    initImage();
    MessageCapture capture(&loadMessage);
    try {
        const int format = identify(path.c_str());
        if (format == FIF_UNKNOWN)
            return;
        fromJpegFile = format == FIF_JPEG;
        // The general loader's decoders do not all survive hostile files:
        // the formats without a decoder of our own are read by a helper
        // process, whose crash fails this picture only.
        if (LoaderProcess::isolates(format)) {
            LoaderProcess::load(path, *this);
            return;
        }
        if (FIBITMAP* loaded = GenericLoader(path.c_str(), format, 0))
            adopt(loaded);
    } catch (const std::bad_alloc&) {
        // A decoder or a conversion ran out of memory (the budget is an
        // estimate): no picture, and the process carries on.
        dropPixels();
        loadMessage = QStringLiteral("Not enough memory to load the picture.");
    }
}

void Image::adopt(FIBITMAP* loaded)
{
    // Grey pictures of 16 bits or more and floating-point pictures are first
    // brought to an ordinary 8-bit bitmap, which both conversions accept.
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(loaded);
    if (type != FIT_BITMAP && type != FIT_RGB16 && type != FIT_RGBA16) {
        FIBITMAP* standard = FreeImage_ConvertToStandardType(loaded, TRUE);
        FreeImage_Unload(loaded);
        loaded = standard;
        if (!loaded) {
            loadMessage = QStringLiteral("The picture's pixel type is not supported.");
            return;
        }
    }

    // A flipped 32-bit copy for display and comparison, and a 24-bit copy in
    // FreeImage's own bottom-up order for the encoder. A picture that is
    // already plain 24-bit serves as the encoder's copy as it is, and its
    // 32-bit copy is made here in one pass, flipped as it goes.
    if (FreeImage_GetImageType(loaded) == FIT_BITMAP && FreeImage_GetBPP(loaded) == 24) {
        flippedTo32(loaded);
        dib24 = loaded;
    } else {
        dib32 = FreeImage_ConvertTo32Bits(loaded);
        if (dib32)
            FreeImage_FlipVertical(dib32);
        dib24 = FreeImage_ConvertTo24Bits(loaded);
        FreeImage_Unload(loaded);
    }
    if (!dib24 || !dib32) {
        // Half a picture is no picture: callers only ever test one of the two.
        if (loadMessage.isEmpty())
            loadMessage = QStringLiteral("The picture could not be converted for display.");
        dropPixels();
    }
}

Image::~Image()
{
    dropPixels();
}

const Ssimulacra2::Reference* Image::ssimulacra2Reference() const
{
    const std::lock_guard<std::mutex> lock(referenceMutex);
    if (reference || referenceRefused || ++referenceRequests < 2)
        return reference.get();
    const int width = int(getWidth()), height = int(getHeight());
    // Within what one picture and everything made from it may take.
    const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
    referenceRefused =
        !getRGB32Buffer() ||
        pixels * MemoryBudget::BYTES_PER_PIXEL + Ssimulacra2::Reference::bytesFor(width, height) >
            MemoryBudget::bytes();
    if (referenceRefused)
        return nullptr;
    try {
        reference = std::make_unique<Ssimulacra2::Reference>(getRGB32Buffer(), width, height);
    } catch (const std::bad_alloc&) {
        referenceRefused = true;
    }
    return reference.get();
}

void Image::dropPixels()
{
    reference.reset();
    if (dib24)
        FreeImage_Unload(dib24);
    if (dib32)
        FreeImage_Unload(dib32);
    std::free(pixels32);
    dib24 = dib32 = nullptr;
    pixels32 = nullptr;
}

// Bits per pixel of what a loader hands back that the copies are made from
// while it is still held; none for a plain 24-bit picture, which becomes the
// encoder's copy itself.
std::uint64_t Image::decodedBitsOf(FIBITMAP* bitmap)
{
    const unsigned bits = FreeImage_GetBPP(bitmap);
    if (FreeImage_GetImageType(bitmap) == FIT_BITMAP)
        return bits == 24 ? 0 : bits;
    // Other pixel types go through a standard 8-bit copy first.
    return bits + 32;
}

bool Image::fits(std::uint64_t width, std::uint64_t height, std::uint64_t decodedBits,
                 std::uint64_t workingBytesPerPixel)
{
    if (width > MAX_SIDE || height > MAX_SIDE || width * height > MAX_PIXELS) {
        loadMessage =
            QStringLiteral("The picture is too large (%1 x %2 pixels).").arg(width).arg(height);
        return false;
    }
    const std::uint64_t needed =
        width * height * (MemoryBudget::BYTES_PER_PIXEL + workingBytesPerPixel) +
        width * height * decodedBits / 8;
    if (needed > MemoryBudget::bytes()) {
        loadMessage = MemoryBudget::notEnoughMemory(
            QStringLiteral("load the %1 x %2 picture").arg(width).arg(height), needed, true);
        return false;
    }
    return true;
}

int Image::identify(const char* path)
{
    // Only regular files: a FIFO would block the program and a directory
    // would be handed to a decoder.
    struct stat status;
    if (::stat(path, &status) != 0) {
        loadMessage = QStringLiteral("The file does not exist or cannot be read.");
        return FIF_UNKNOWN;
    }
    if (!S_ISREG(status.st_mode)) {
        loadMessage = QStringLiteral("This is not a regular file.");
        return FIF_UNKNOWN;
    }

    FILE* file = std::fopen(path, "rb");
    if (!file) {
        loadMessage = QStringLiteral("The file cannot be opened.");
        return FIF_UNKNOWN;
    }
    const long end = fileSizeOf(file);
    imageSize = end < 0 ? 0 : static_cast<unsigned long>(end);
    std::fclose(file);

    FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
    {
        // Every plug-in has a look at the signature, one load at a time.
        const std::unique_lock<std::mutex> lookingAtSignature = decoderLock(FIF_UNKNOWN);
        format = PictureHeaders::fileType(path);
    }
    if (format == FIF_UNKNOWN)
        format = FreeImage_GetFIFFromFilename(path);
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) {
        loadMessage = QStringLiteral("The picture format is not recognised.");
        return FIF_UNKNOWN;
    }
    return format;
}

FIBITMAP* Image::GenericLoader(const char* path, int formatNumber, int flags)
{
    const auto format = FREE_IMAGE_FORMAT(formatNumber);
    const std::unique_lock<std::mutex> oneAtATime = decoderLock(format);

    // The default JPEG decode uses the fast IDCT without fancy upsampling,
    // which would add its own error to every measurement.
    if (format == FIF_JPEG)
        flags |= JPEG_ACCURATE;

    // A few hundred bytes of header can claim gigabytes of pixels: look at the
    // header before decoding, through FreeImage where the format allows it,
    // else by reading it here for the formats that need it.
    const PictureHeaders::HeaderClaim claim = PictureHeaders::readClaim(format, path);
    if (claim.broken) {
        loadMessage = QStringLiteral("The picture's file is damaged.");
        return nullptr;
    }
    // What this header says is checked before FreeImage reads it too.
    if (claim.known && !fits(claim.width, claim.height, 0, claim.workingBytesPerPixel))
        return nullptr;
    // The files of the formats read from memory are read once, here. The
    // plainest files of the commonest formats are decoded from them by
    // decoders of our own; every other file goes to the general decoders.
    std::optional<PictureHeaders::WholeFile> whole;
    if (PictureHeaders::plainFormat(format) || format == FIF_PNG || format == FIF_JPEG)
        whole.emplace(path);
    // JPEG files never reach the general loader, whose JPEG plug-in is not
    // safe on hostile files.
    if (format == FIF_JPEG) {
        if (whole->empty()) {
            loadMessage = QStringLiteral("The file cannot be read whole.");
            return nullptr;
        }
        return loadJpeg(whole->data(), whole->size());
    }
    const PictureHeaders::WholeFile* held = whole ? &*whole : nullptr;
    FIBITMAP* bitmap = nullptr;
    if (!decodeOwn(format, held, claim, bitmap))
        return nullptr;
    if (!bitmap)
        bitmap = decodeGeneral(format, path, flags, held, claim);
    return checkedBitmap(bitmap);
}

bool Image::decodeOwn(int format, const PictureHeaders::WholeFile* whole,
                      const PictureHeaders::HeaderClaim& claim, FIBITMAP*& bitmap)
{
    PpmDecoder::Header header;
    if (PictureHeaders::anymapFormat(FREE_IMAGE_FORMAT(format)) &&
        PpmDecoder::readHeader(whole->data(), whole->size(), header)) {
        if (!fits(header.width, header.height, 0, claim.workingBytesPerPixel))
            return false;
        bitmap = PpmDecoder::decode(whole->data(), header);
    }
    // Plain 8-bit RGB PNG files, most of the pictures a sweep loads: our own
    // decoder gives what FreeImage would, or declines.
    if (format == FIF_PNG && !whole->empty() && PictureHeaders::pngChunkPastEnd(*whole)) {
        loadMessage = QStringLiteral("The file ends before the picture does.");
        return false;
    }
    if (format == FIF_PNG && !claim.truncated) {
        const PngDecoder png(whole->data(), whole->size());
        if (png.plain()) {
            // As FreeImage's header would tell: a 24-bit picture of this size.
            if (!fits(png.getWidth(), png.getHeight(), 0, claim.workingBytesPerPixel))
                return false;
            bitmap = png.decode();
        }
    }
    return true;
}

FIBITMAP* Image::decodeGeneral(int formatNumber, const char* path, int flags,
                               const PictureHeaders::WholeFile* whole,
                               const PictureHeaders::HeaderClaim& claim)
{
    const auto format = FREE_IMAGE_FORMAT(formatNumber);
    std::uint64_t width = claim.width, height = claim.height;
    std::uint64_t decodedBits = 0;
    bool sized = claim.known;
    if (FreeImage_FIFSupportsNoPixels(format)) {
        FIBITMAP* header = PictureHeaders::load(format, path, flags | FIF_LOAD_NOPIXELS, whole);
        if (!header) {
            if (loadMessage.isEmpty())
                loadMessage = QStringLiteral("The picture cannot be decoded.");
            return nullptr;
        }
        // The larger of the two readings, where both exist.
        width = std::max<std::uint64_t>(width, FreeImage_GetWidth(header));
        height = std::max<std::uint64_t>(height, FreeImage_GetHeight(header));
        decodedBits = decodedBitsOf(header);
        FreeImage_Unload(header);
        sized = true;
    }
    if (sized && !fits(width, height, decodedBits, claim.workingBytesPerPixel))
        return nullptr;
    if (claim.truncated) {
        loadMessage = QStringLiteral("The file ends before the picture does.");
        return nullptr;
    }

    if (format == FIF_XBM) {
        bool truncated = false;
        FIBITMAP* bitmap = PictureHeaders::loadXbm(path, flags, truncated);
        if (truncated)
            loadMessage = QStringLiteral("The file ends before the picture does.");
        return bitmap;
    }
    return PictureHeaders::load(format, path, flags, whole);
}

FIBITMAP* Image::checkedBitmap(FIBITMAP* bitmap)
{
    if (bitmap && !FreeImage_HasPixels(bitmap)) {
        FreeImage_Unload(bitmap);
        bitmap = nullptr;
    }
    // What the header did not tell, the decoded picture does: its copies
    // must still fit.
    if (bitmap &&
        !fits(FreeImage_GetWidth(bitmap), FreeImage_GetHeight(bitmap), decodedBitsOf(bitmap), 0)) {
        FreeImage_Unload(bitmap);
        bitmap = nullptr;
    }
    if (!bitmap && loadMessage.isEmpty())
        loadMessage = QStringLiteral("The picture cannot be decoded.");
    return bitmap;
}

FIBITMAP* Image::loadJpeg(const unsigned char* data, std::size_t size)
{
    JpegDecoder jpeg(data, size);
    if (!jpeg.accepted()) {
        loadMessage = jpeg.message();
        return nullptr;
    }
    // As decodedBitsOf() counts them: a 24-bit bitmap becomes a copy itself.
    const std::uint64_t decodedBits = jpeg.bitsPerPixel() == 24 ? 0 : jpeg.bitsPerPixel();
    if (!fits(jpeg.getWidth(), jpeg.getHeight(), decodedBits, jpeg.workingBytesPerPixel()))
        return nullptr;
    FIBITMAP* bitmap = jpeg.decode(MemoryBudget::bytes());
    loadMessage = jpeg.message();
    if (bitmap &&
        !fits(FreeImage_GetWidth(bitmap), FreeImage_GetHeight(bitmap), decodedBitsOf(bitmap), 0)) {
        FreeImage_Unload(bitmap);
        return nullptr;
    }
    if (!bitmap && loadMessage.isEmpty())
        loadMessage = QStringLiteral("The picture cannot be decoded.");
    return bitmap;
}

unsigned char* Image::getRGB24Buffer() const
{
    if (!dib24 && dib32) {
        // The 32-bit copy holds the top row first, the 24-bit one the bottom
        // row first; padding bytes stay zero as FreeImage allocates them.
        const unsigned width = FreeImage_GetWidth(dib32);
        const unsigned height = FreeImage_GetHeight(dib32);
        dib24 = FreeImage_Allocate(int(width), int(height), 24);
        if (!dib24)
            return nullptr;
        for (unsigned y = 0; y < height; ++y) {
            const unsigned char* in = FreeImage_GetScanLine(dib32, int(height - 1 - y));
            unsigned char* out = FreeImage_GetScanLine(dib24, int(y));
            for (unsigned x = 0; x < width; ++x, in += 4, out += 3) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
        }
    }
    return dib24 ? FreeImage_GetBits(dib24) : nullptr;
}

unsigned char* Image::getRGB32Buffer() const
{
    return dib32 ? FreeImage_GetBits(dib32) : nullptr;
}

unsigned Image::getRGB24Pitch() const
{
    return dib32 ? (getWidth() * 3 + 3) & ~3u : 0;
}

unsigned Image::getWidth() const
{
    return dib32 ? FreeImage_GetWidth(dib32) : 0;
}

unsigned Image::getHeight() const
{
    return dib32 ? FreeImage_GetHeight(dib32) : 0;
}
