// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QuantizationTables.h"

#include <string>

// The complete description of one JPEG compression. A plain value: copies
// carry every field, the four custom tables included.
class JPEGSettings
{
public:
    enum CompressionMode { LOSSLESS = 0, BASELINE = 1, EXTENDED = 2 };
    enum DCTMethod { INT = 0, FAST = 1, FLOAT = 2 };
    // Table slots used by the luminance and the chrominance components.
    enum LC_INDEXES { LUMINANCE = 0, CHROMINANCE = 1 };

    // Sampling factors of one component; legal values are 1 to 4.
    struct Downsampling
    {
        int vertical = 1;
        int horizontal = 1;

        bool operator==(const Downsampling& o) const
        {
            return vertical == o.vertical && horizontal == o.horizontal;
        }
        bool operator!=(const Downsampling& o) const { return !(*this == o); }
    };

    static constexpr int PRESET_COUNT = 18;
    // 0..8 luminance presets ("Luminance standard", "Luminance 1".."8"),
    // 9..17 chrominance presets ("Chrominance standard", "Chrominance 1".."8").
    static const unsigned int presets[PRESET_COUNT][QuantizationTable::SIZE];

    JPEGSettings();

    CompressionMode getCompressionMode() const { return compressionMode; }
    void setCompressionMode(CompressionMode mode) { compressionMode = mode; }
    DCTMethod getDCTMethod() const { return dctMethod; }
    void setDCTMethod(DCTMethod method) { dctMethod = method; }
    int getSmoothing() const { return smoothing; }
    void setSmoothing(int value) { smoothing = value; }
    int getQuality() const { return quality; }
    void setQuality(int value) { quality = value; }
    bool isProgressive() const { return progressive; }
    void setProgressiveMode(bool on) { progressive = on; }
    bool isInterleaved() const { return interleaved; }
    void setInterleavedMode(bool on) { interleaved = on; }
    bool getOptimizeHuffman() const { return optimizeHuffman; }
    void setOptimizeHuffman(bool on) { optimizeHuffman = on; }
    bool getGrayscaleOutput() const { return grayscaleOutput; }
    void setGrayscaleOutput(bool on) { grayscaleOutput = on; }
    bool isAutoQualityEnabled() const { return autoQuality; }
    void setAutoQualityEnabled(bool on) { autoQuality = on; }
    int getMaxQuantizationTables() const { return maxQuantizationTables; }
    bool* getCurrentQuantizationTables() { return currentQuantizationTables; }
    const bool* getCurrentQuantizationTables() const { return currentQuantizationTables; }

    // Puts the JPEG standard's Annex K tables into the four slots: K.1 in
    // slot 0, K.2 in slots 1 to 3. The interactive tool starts with these.
    void useAnnexKTables();

    // One report line: tab-separated fields, each followed by a tab, no line end.
    std::string toString() const;

private:
    bool currentQuantizationTables[4] = {false, false, false, false};
    int maxQuantizationTables = 3;

public:
    QuantizationTable qtables[4];
    Downsampling downsampling[4];

private:
    CompressionMode compressionMode = EXTENDED;
    DCTMethod dctMethod = INT;
    int smoothing = 0;
    int quality = 95;
    bool progressive = false;
    bool interleaved = false;
    bool optimizeHuffman = false;
    bool autoQuality = false;
    bool grayscaleOutput = false;
};
