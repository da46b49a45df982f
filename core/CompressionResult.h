// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Figures.h"
#include "JPEGSettings.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <memory>

class Image;
namespace QualityMetrics {
class Workspace;
}

// What one compression produced: the source, the decoded JPEG, the settings,
// four figures and five derived pictures (the Y, Cb and Cr components as grey
// pictures, a map of changed pixels and a colour-difference map), each a
// 32-bit buffer of the source's size, top row first.
//
// The figures are computed by the constructor. The derived pictures are made
// the first time something asks for them, so a batch that only keeps the
// figures never pays for them; their contents do not depend on when they are
// made.
class CompressionResult
{
public:
    // Takes ownership of `compressed` (may be null); `source` stays the
    // caller's and must outlive the result. `jpeg` is the compressed stream
    // that `compressed` was decoded from.
    //
    // Threads: a result belongs to one thread at a time; results share no
    // mutable state with each other (two results may share a source picture,
    // which they only read).
    CompressionResult(Image* source, Image* compressed, JPEGSettings settings,
                      QByteArray jpeg = QByteArray());
    ~CompressionResult();
    CompressionResult(const CompressionResult&) = delete;
    CompressionResult& operator=(const CompressionResult&) = delete;

    Image* getSourceImage() const { return sourceImage; }
    Image* getCompressedImage() const { return compressedImage; }

    // Null when there is no decoded picture.
    unsigned char* getY_RGB32() const;
    unsigned char* getCB_RGB32() const;
    unsigned char* getCR_RGB32() const;
    // Null unless both pictures exist with the same dimensions.
    unsigned char* getErrors() const;
    unsigned char* getColorDifference() const;

    // The JPEG exactly as the encoder wrote it: what "Save as" writes.
    const QByteArray& getCompressedBytes() const { return compressedBytes; }
    // Its size in bytes, the size the figures are computed from.
    qint64 getCompressedSize() const { return compressedSize; }

    double getMSE() const { return mse; }
    double getCompressionPercentage() const { return compressionPercentage; }
    double getCompressionRate() const { return compressionRate; }
    double getBitRate() const { return bitRate; }
    QString getFileName() const { return fileName; }
    const JPEGSettings& getSettings() const { return settings; }
    int getChannels() const { return nchannels; }

    // Whether the component pictures and the two maps can be made, without
    // making them (they may not fit into memory; their getters then throw
    // std::bad_alloc and keep nothing half made).
    bool hasComponents() const { return nchannels > 0; }
    bool hasMaps() const;

    // The quality figures (Figures.h); NaN when not available: no decoded
    // picture of the source's size, or a picture too small for the figure.
    // PSNR comes with the mean square error. The channel variants, SSIM and
    // MS-SSIM take a pass of their own, made by measure() or else on first
    // request.
    double getPSNR() const { return psnr; }
    double getPSNR_Y() const;
    double getPSNR_Cb() const;
    double getPSNR_Cr() const;
    double getSSIM() const;
    double getMSSSIM() const;
    // SSIMULACRA 2 (Ssimulacra2.h) and the two Butteraugli distances
    // (Butteraugli.h), each measured on first request or by measure(); the
    // two distances come from one measurement, which takes much longer
    // than a compression.
    double getSSIMULACRA2() const;
    double getButteraugli() const;
    double getButteraugli3Norm() const;
    // Whether the Butteraugli distances were measured already (getting them
    // then costs nothing), failed measurements included.
    bool hasButteraugli() const { return butteraugliMeasured; }
    // Any figure by name.
    double figure(Figure which) const;
    // Measures now those of `wanted` that take a measurement of their own,
    // with the caller's buffers. A failed allocation leaves them n/a.
    void measure(FigureSet wanted, QualityMetrics::Workspace& workspace) const;

    // Two more views, 32-bit pictures of the source's size, null unless both
    // pictures exist with the same dimensions. The SSIM map draws the local
    // SSIM of luma as a heat colour (QualityMetrics::heatColour), neutral
    // grey where the window does not fit. The amplified difference is
    // |source - decoded| per channel times `gain`, limited to 255; the
    // buffer is remade when the gain changes.
    unsigned char* getSSIMMap() const;
    unsigned char* getAmplifiedDifference(int gain) const;
    // The Butteraugli distance at every pixel as a heat colour
    // (Butteraugli::heatColour); null when there is no distance (no maps,
    // a picture below eight pixels a side, a failure of the library). Made
    // on first request, which also measures the two distances.
    unsigned char* getButteraugliMap() const;

    // The Y, Cb and Cr of a pixel of red, green and blue exactly as the
    // encoder converts it (fixed point, 16 fraction bits). The component
    // pictures, the pixel readout and the block inspector all use it.
    struct YCbCr
    {
        unsigned char y, cb, cr;
    };
    static YCbCr toYCbCr(unsigned char red, unsigned char green, unsigned char blue);

private:
    void measureSimilarity(bool ssimWanted, bool msSsimWanted,
                           QualityMetrics::Workspace& workspace) const;
    void prepareComponentTables() const;
    void prepareErrors() const;
    void computeMSE();
    void measureChannels() const;
    void measureSsimulacra2(QualityMetrics::Workspace& workspace) const;
    void measureButteraugli(bool withMap) const;

    mutable std::unique_ptr<unsigned char[]> components[3];
    mutable std::unique_ptr<unsigned char[]> errors;
    mutable std::unique_ptr<unsigned char[]> colorDifference;
    mutable std::unique_ptr<unsigned char[]> ssimMap;
    mutable std::unique_ptr<unsigned char[]> butteraugliMap;
    mutable std::unique_ptr<unsigned char[]> amplified;
    mutable int amplifiedGain = 0;
    int nchannels = 0;
    Image* compressedImage = nullptr;
    Image* sourceImage = nullptr;
    double mse = 0;
    double compressionPercentage = 0;
    double compressionRate = 0;
    double bitRate = 0;
    double psnr = std::nan("");
    mutable double psnrY = std::nan("");
    mutable double psnrCb = std::nan("");
    mutable double psnrCr = std::nan("");
    mutable bool channelsMeasured = false;
    mutable double ssim = std::nan("");
    mutable double msSsim = std::nan("");
    mutable bool ssimMeasured = false;
    mutable bool msSsimMeasured = false;
    mutable double ssimulacra2 = std::nan("");
    mutable bool ssimulacra2Measured = false;
    mutable double butteraugli = std::nan("");
    mutable double butteraugli3Norm = std::nan("");
    mutable bool butteraugliMeasured = false;
    mutable bool butteraugliMapTried = false;
    QString fileName;
    JPEGSettings settings;
    QByteArray compressedBytes;
    qint64 compressedSize = 0;
};

// The figures of one batch compression, kept after its result is deleted.
// The quality figures are NaN unless asked for and available.
struct ResultStat
{
    double mse = 0;
    double compressionPercentage = 0;
    double compressionRate = 0;
    double bitRate = 0;
    double psnr = std::nan("");
    double psnrY = std::nan("");
    double psnrCb = std::nan("");
    double psnrCr = std::nan("");
    double ssim = std::nan("");
    double msSsim = std::nan("");
    double ssimulacra2 = std::nan("");
    double butteraugli = std::nan("");
    double butteraugli3Norm = std::nan("");
    QString fileName;

    // Where the compression stands in its run and what it was made of, for
    // the sweep table's rows: -1, 0 or NaN (and empty) while unknown. The
    // constructor below fills the sizes; the run fills the rest.
    int pictureIndex = -1; // in the run's picture list
    int entryIndex = -1;   // in the run's expanded settings list
    unsigned width = 0;
    unsigned height = 0;
    unsigned long long sourceBytes = 0;
    unsigned long long jpegBytes = 0;
    // The factors of the JPEG's frame header, "2x2,1x1,1x1".
    QString sampling;
    double encodeMs = std::nan("");
    double decodeMs = std::nan("");
    // Where the JPEG's bits went (JpegBitCost::Summary), when asked for.
    double dcBitsY = std::nan("");
    double acBitsY = std::nan("");
    double dcBitsC = std::nan("");
    double acBitsC = std::nan("");
    double headerBytes = std::nan("");

    ResultStat() = default;
    // Copies the figures of `wanted` that the result has; the four of the
    // report always.
    explicit ResultStat(const CompressionResult& result, FigureSet wanted = FigureSet::standard());
    double figure(Figure which) const;

private:
    double* slot(Figure which);
};
