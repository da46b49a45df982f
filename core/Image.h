// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Ssimulacra2.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct FIBITMAP;
namespace PictureHeaders {
struct HeaderClaim;
class WholeFile;
} // namespace PictureHeaders

// A picture loaded through FreeImage, held twice: a 24-bit copy in
// FreeImage's layout (bottom row first, blue-green-red, rows padded to four
// bytes) for the encoder, and a 32-bit copy (top row first, blue-green-red-X,
// rows of exactly 4 * width bytes) that Qt can show as Format_RGB32 without
// copying. A picture that does not load leaves both copies absent; callers
// test getRGB24Buffer() for null.
class Image
{
public:
    // Largest side the encoder accepts, and the largest picture we decode.
    static constexpr unsigned MAX_SIDE = 65500;
    static constexpr std::uint64_t MAX_PIXELS = 128ull * 1000 * 1000;

    // `path` is an 8-bit file name as the file system spells it
    // (QFile::encodeName of the user's choice).
    explicit Image(const std::string& path);

    // Decodes a JPEG that the encoder has just written into memory. It is
    // decoded by the JPEG library straight into the 32-bit layout, with the
    // decoder settings of the general loader, so the pixels are the same;
    // the 24-bit copy, which nothing needs for a decoded picture, is only
    // made if somebody asks for it. Anything the fast way cannot decode goes
    // through the limited decoder of JPEG sources (JpegDecoder), which gives
    // the general loader's bitmap and its warnings. getImageSize() is
    // the number of bytes; the file path is empty. Never null: a stream that
    // does not decode gives a picture without pixels and a load message.
    static Image* loadEncodedJpeg(const QByteArray& jpeg);
    // The same for a JPEG file: its bytes are read and decoded as above.
    static Image* loadEncodedJpeg(const std::string& path);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    unsigned char* getRGB24Buffer() const;
    unsigned char* getRGB32Buffer() const;
    // Bytes per stored row of the 24-bit copy: 3 * width rounded up to 4.
    unsigned getRGB24Pitch() const;
    unsigned getWidth() const;
    unsigned getHeight() const;
    unsigned getChannels() const { return 3; }
    unsigned long getImageSize() const { return imageSize; }
    std::string getFilePath() const { return filePath; }
    // Whether the picture was read from a JPEG file (getFilePath()).
    bool isFromJpegFile() const { return fromJpegFile; }

    // Why the picture did not load, or a warning the decoder gave while
    // loading it; empty when there is nothing to say.
    QString getLoadMessage() const { return loadMessage; }

    // SSIMULACRA 2's half of the comparisons with this picture as the
    // original, kept with the picture. It is made at the second request,
    // once the picture turns out to be compared again (a sweep's settings, a
    // live recompression), so that a picture compared once costs no more
    // than before. Null at the first request, and for a picture without
    // pixels, one that with its reference and a compression would not fit
    // the memory budget, or one whose reference could not be had. Any number
    // of threads may ask at once; the pixels must not change afterwards.
    const Ssimulacra2::Reference* ssimulacra2Reference() const;

    // Sets up FreeImage (plug-ins are not loaded) and routes its messages to
    // the images being loaded. Call once per program; repeated calls are
    // harmless, and the constructor calls it if nobody did.
    //
    // Threads: once initImage() has run, pictures may be loaded, decoded
    // with loadEncodedJpeg() and read on several threads at once, each
    // Image belonging to one thread at a time (reading a finished picture
    // from several threads is fine, except that the first getRGB24Buffer()
    // of a decoded picture makes its 24-bit copy). FreeImage's messages go to
    // the load running on the thread that raised them. initImage() and
    // deinitImage() themselves must not race with loads.
    static void initImage();
    static void deinitImage();
    // Whether the image libraries' own warnings (the TIFF library's) go to
    // standard error; off by default, for a program's verbose mode.
    static void setLibraryChatter(bool shown);
    static bool libraryChatter();

private:
    friend class LoaderAccess;
    Image() = default;
    void load(const std::string& path);
    // The picture's format from its signature or name, after checking that
    // it is a readable regular file and noting its size; FIF_UNKNOWN (as an
    // int) with the reason in the load message.
    int identify(const char* path);
    bool decodeJpeg(const unsigned char* data, unsigned long size);
    void loadJpegFromMemory(const unsigned char* data, unsigned long size);
    // Keeps a loaded bitmap as the picture's two copies (takes ownership).
    void adopt(FIBITMAP* loaded);
    // Makes dib32 a header over `pixels` (malloc'd, top row first, 4 * width
    // bytes a row), which it then owns; frees them and returns false when
    // the header cannot be had.
    bool wrap32(unsigned char* pixels, unsigned width, unsigned height);
    // Makes dib32 the 32-bit copy of a plain 24-bit bitmap; false when
    // there is no memory for it.
    bool flippedTo32(FIBITMAP* bitmap24);
    // Drops both copies and the pixels under the 32-bit one.
    void dropPixels();
    // Whether a picture of this size, handed back by its loader with
    // `decodedBits` per pixel (see decodedBitsOf) by a decoder that holds
    // `workingBytesPerPixel` more, is within the size limits and the memory
    // budget; if not, says why in the load message.
    bool fits(std::uint64_t width, std::uint64_t height, std::uint64_t decodedBits,
              std::uint64_t workingBytesPerPixel);
    static std::uint64_t decodedBitsOf(FIBITMAP* bitmap);
    FIBITMAP* GenericLoader(const char* path, int format, int flags);
    // The loader's steps. Our own decoders of plain PPM and PNG files, from
    // the file read whole: false when the picture is refused (the reason in
    // the load message), else true with `bitmap` null when they decline.
    bool decodeOwn(int format, const PictureHeaders::WholeFile* whole,
                   const PictureHeaders::HeaderClaim& claim, FIBITMAP*& bitmap);
    // The general decoders, after the header's size has been checked; null
    // with the reason in the load message.
    FIBITMAP* decodeGeneral(int format, const char* path, int flags,
                            const PictureHeaders::WholeFile* whole,
                            const PictureHeaders::HeaderClaim& claim);
    // `bitmap` when it holds pixels that fit, else null (unloading it) with
    // the reason in the load message.
    FIBITMAP* checkedBitmap(FIBITMAP* bitmap);
    // A JPEG file held in memory, through the JPEG library with limits (see
    // JpegDecoder); null with the reason in the load message.
    FIBITMAP* loadJpeg(const unsigned char* data, std::size_t size);

    // Made from the 32-bit copy on first use when the picture was decoded
    // straight to 32 bits.
    mutable FIBITMAP* dib24 = nullptr;
    FIBITMAP* dib32 = nullptr;
    // The pixels under dib32 when it was decoded straight to 32 bits; the
    // bitmap only points at them.
    unsigned char* pixels32 = nullptr;
    unsigned long imageSize = 0;
    mutable std::mutex referenceMutex; // guards the three below
    mutable std::unique_ptr<const Ssimulacra2::Reference> reference;
    mutable int referenceRequests = 0;
    mutable bool referenceRefused = false;
    std::string filePath;
    QString loadMessage;
    bool fromJpegFile = false;
};
