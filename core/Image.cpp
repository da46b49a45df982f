#include "Image.h"

#include <FreeImage.h>

#include <cstdio>
#include <sys/stat.h>

namespace {

bool initialised = false;
QString* freeImageMessage = nullptr; // collects messages while one load runs

void onFreeImageMessage(FREE_IMAGE_FORMAT format, const char* message)
{
    if (!freeImageMessage)
        return;
    QString text = QString::fromLocal8Bit(message ? message : "");
    if (format != FIF_UNKNOWN) {
        if (const char* name = FreeImage_GetFormatFromFIF(format))
            text = QStringLiteral("%1: %2").arg(QString::fromLatin1(name), text);
    }
    if (!freeImageMessage->isEmpty())
        freeImageMessage->append(QLatin1Char('\n'));
    freeImageMessage->append(text);
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

} // namespace

void Image::initImage()
{
    if (initialised)
        return;
    FreeImage_Initialise(FALSE);
    FreeImage_SetOutputMessage(onFreeImageMessage);
    initialised = true;
}

void Image::deinitImage()
{
    if (!initialised)
        return;
    FreeImage_DeInitialise();
    initialised = false;
}

Image::Image(const std::string& path) : filePath(path)
{
    initImage();
    MessageCapture capture(&loadMessage);
    FIBITMAP* loaded = GenericLoader(path.c_str(), 0);
    if (!loaded)
        return;

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
    // already plain 24-bit serves as the encoder's copy as it is.
    dib32 = FreeImage_ConvertTo32Bits(loaded);
    if (dib32)
        FreeImage_FlipVertical(dib32);
    if (FreeImage_GetImageType(loaded) == FIT_BITMAP && FreeImage_GetBPP(loaded) == 24) {
        dib24 = loaded;
    } else {
        dib24 = FreeImage_ConvertTo24Bits(loaded);
        FreeImage_Unload(loaded);
    }
    if (!dib24 || !dib32) {
        // Half a picture is no picture: callers only ever test one of the two.
        if (loadMessage.isEmpty())
            loadMessage = QStringLiteral("The picture could not be converted for display.");
        if (dib24)
            FreeImage_Unload(dib24);
        if (dib32)
            FreeImage_Unload(dib32);
        dib24 = dib32 = nullptr;
    }
}

Image::~Image()
{
    if (dib24)
        FreeImage_Unload(dib24);
    if (dib32)
        FreeImage_Unload(dib32);
}

FIBITMAP* Image::GenericLoader(const char* path, int flags)
{
    // Only regular files: a FIFO would block the program and a directory
    // would be handed to a decoder.
    struct stat status;
    if (::stat(path, &status) != 0) {
        loadMessage = QStringLiteral("The file does not exist or cannot be read.");
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        loadMessage = QStringLiteral("This is not a regular file.");
        return nullptr;
    }

    FILE* file = std::fopen(path, "rb");
    if (!file) {
        loadMessage = QStringLiteral("The file cannot be opened.");
        return nullptr;
    }
    std::fseek(file, 0, SEEK_END);
    const long end = std::ftell(file);
    imageSize = end < 0 ? 0 : static_cast<unsigned long>(end);
    std::fclose(file);

    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path, 0);
    if (format == FIF_UNKNOWN)
        format = FreeImage_GetFIFFromFilename(path);
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) {
        loadMessage = QStringLiteral("The picture format is not recognised.");
        return nullptr;
    }

    // The default JPEG decode uses the fast IDCT without fancy upsampling,
    // which would add its own error to every measurement.
    if (format == FIF_JPEG)
        flags |= JPEG_ACCURATE;

    // A few hundred bytes of header can claim gigabytes of pixels: look at the
    // header before decoding, where the format allows it.
    if (FreeImage_FIFSupportsNoPixels(format)) {
        FIBITMAP* header = FreeImage_Load(format, path, flags | FIF_LOAD_NOPIXELS);
        if (!header) {
            if (loadMessage.isEmpty())
                loadMessage = QStringLiteral("The picture cannot be decoded.");
            return nullptr;
        }
        const std::uint64_t width = FreeImage_GetWidth(header);
        const std::uint64_t height = FreeImage_GetHeight(header);
        FreeImage_Unload(header);
        if (width > MAX_SIDE || height > MAX_SIDE || width * height > MAX_PIXELS) {
            loadMessage = QStringLiteral("The picture is too large (%1 x %2 pixels).")
                              .arg(width)
                              .arg(height);
            return nullptr;
        }
    }

    FIBITMAP* bitmap = FreeImage_Load(format, path, flags);
    if (bitmap && !FreeImage_HasPixels(bitmap)) {
        FreeImage_Unload(bitmap);
        bitmap = nullptr;
    }
    if (bitmap && (FreeImage_GetWidth(bitmap) > MAX_SIDE || FreeImage_GetHeight(bitmap) > MAX_SIDE ||
                   std::uint64_t(FreeImage_GetWidth(bitmap)) * FreeImage_GetHeight(bitmap) >
                       MAX_PIXELS)) {
        loadMessage = QStringLiteral("The picture is too large (%1 x %2 pixels).")
                          .arg(FreeImage_GetWidth(bitmap))
                          .arg(FreeImage_GetHeight(bitmap));
        FreeImage_Unload(bitmap);
        bitmap = nullptr;
    }
    if (!bitmap && loadMessage.isEmpty())
        loadMessage = QStringLiteral("The picture cannot be decoded.");
    return bitmap;
}

unsigned char* Image::getRGB24Buffer() const { return dib24 ? FreeImage_GetBits(dib24) : nullptr; }

unsigned char* Image::getRGB32Buffer() const { return dib32 ? FreeImage_GetBits(dib32) : nullptr; }

unsigned Image::getRGB24Pitch() const { return dib24 ? FreeImage_GetPitch(dib24) : 0; }

unsigned Image::getWidth() const { return dib24 ? FreeImage_GetWidth(dib24) : 0; }

unsigned Image::getHeight() const { return dib24 ? FreeImage_GetHeight(dib24) : 0; }
