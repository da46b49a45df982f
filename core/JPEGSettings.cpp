// SPDX-License-Identifier: GPL-3.0-or-later
#include "JPEGSettings.h"

#include <sstream>

// Preset 0 is the default intra quantiser matrix of MPEG-1/2 video, preset 9
// the luminance table of JPEG Annex K (K.1); the others are tuned variants.
// clang-format off
const unsigned int JPEGSettings::presets[JPEGSettings::PRESET_COUNT][QuantizationTable::SIZE] = {
    // 0: Luminance standard
    {
        8, 16, 19, 22, 26, 27, 29, 34,
        16, 16, 22, 24, 27, 29, 34, 37,
        19, 22, 26, 27, 29, 34, 34, 38,
        22, 22, 26, 27, 29, 34, 37, 40,
        22, 26, 27, 29, 32, 35, 40, 48,
        26, 27, 29, 32, 35, 40, 48, 58,
        26, 27, 29, 34, 38, 46, 56, 69,
        27, 29, 35, 38, 46, 56, 69, 83,
    },
    // 1: Luminance 1
    {
        1, 1, 1, 1, 1, 1, 2, 2,
        1, 1, 1, 1, 1, 2, 4, 4,
        1, 1, 1, 1, 1, 3, 3, 5,
        1, 1, 1, 2, 3, 3, 5, 5,
        1, 1, 3, 3, 4, 4, 5, 5,
        1, 3, 3, 3, 4, 5, 6, 6,
        2, 3, 3, 5, 3, 6, 5, 5,
        3, 3, 4, 3, 6, 4, 5, 5,
    },
    // 2: Luminance 2
    {
        2, 2, 2, 3, 4, 5, 7, 8,
        2, 3, 4, 3, 6, 7, 11, 11,
        2, 2, 4, 5, 7, 9, 11, 11,
        2, 5, 5, 7, 9, 11, 12, 12,
        4, 5, 7, 9, 11, 12, 12, 12,
        5, 8, 9, 11, 12, 12, 12, 12,
        6, 9, 11, 12, 12, 12, 12, 12,
        9, 11, 12, 12, 12, 12, 12, 12,
    },
    // 3: Luminance 3
    {
        1, 1, 1, 1, 2, 3, 4, 4,
        1, 1, 2, 2, 3, 4, 5, 5,
        1, 1, 2, 3, 4, 4, 5, 6,
        1, 3, 3, 4, 4, 5, 7, 8,
        2, 3, 4, 4, 5, 7, 8, 8,
        3, 4, 4, 5, 7, 8, 8, 8,
        3, 4, 6, 7, 8, 8, 8, 8,
        4, 5, 7, 7, 8, 8, 8, 8,
    },
    // 4: Luminance 4
    {
        1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 2, 2,
        1, 1, 1, 1, 1, 1, 2, 2,
        1, 1, 1, 1, 2, 2, 3, 3,
        1, 1, 1, 2, 2, 3, 3, 3,
        1, 1, 2, 2, 3, 3, 3, 3,
        1, 2, 2, 2, 3, 3, 3, 3,
        1, 2, 2, 2, 3, 3, 3, 3,
    },
    // 5: Luminance 5
    {
        2, 3, 2, 2, 4, 5, 12, 10,
        2, 3, 3, 3, 8, 8, 12, 14,
        2, 3, 3, 5, 6, 12, 17, 11,
        3, 4, 5, 7, 11, 14, 11, 21,
        3, 4, 7, 10, 13, 16, 21, 12,
        4, 10, 11, 16, 22, 21, 15, 24,
        5, 11, 18, 16, 20, 23, 20, 18,
        13, 14, 17, 19, 24, 22, 20, 21,
    },
    // 6: Luminance 6
    {
        1, 2, 1, 1, 2, 2, 6, 5,
        1, 1, 2, 2, 4, 4, 6, 7,
        1, 1, 2, 3, 3, 6, 9, 6,
        1, 2, 2, 4, 6, 7, 6, 10,
        1, 2, 4, 5, 6, 8, 10, 6,
        2, 5, 6, 8, 11, 10, 8, 12,
        2, 6, 9, 8, 10, 11, 10, 9,
        6, 7, 9, 10, 12, 11, 10, 10,
    },
    // 7: Luminance 7
    {
        1, 1, 1, 1, 1, 1, 3, 3,
        1, 1, 1, 1, 2, 2, 4, 4,
        1, 1, 1, 2, 2, 4, 5, 3,
        1, 1, 1, 2, 3, 4, 3, 6,
        1, 1, 2, 3, 4, 5, 6, 4,
        1, 3, 3, 5, 7, 6, 5, 7,
        1, 3, 6, 5, 6, 7, 6, 6,
        4, 4, 5, 6, 7, 7, 6, 6,
    },
    // 8: Luminance 8
    {
        1, 1, 1, 1, 1, 1, 2, 2,
        1, 1, 1, 1, 2, 2, 2, 3,
        1, 1, 1, 1, 1, 2, 3, 2,
        1, 1, 1, 1, 2, 3, 2, 4,
        1, 1, 1, 2, 3, 3, 4, 2,
        1, 2, 2, 3, 4, 4, 3, 5,
        1, 2, 4, 3, 4, 5, 4, 4,
        3, 3, 3, 4, 5, 4, 4, 4,
    },
    // 9: Chrominance standard
    {
        16, 11, 10, 16, 24, 40, 51, 61,
        12, 12, 14, 19, 26, 58, 60, 55,
        14, 13, 16, 24, 40, 57, 69, 56,
        14, 17, 22, 29, 51, 87, 80, 62,
        18, 22, 37, 56, 68, 109, 103, 77,
        24, 35, 55, 64, 81, 104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101,
        72, 92, 95, 98, 112, 100, 103, 99,
    },
    // 10: Chrominance 1
    {
        1, 1, 1, 1, 3, 5, 5, 5,
        1, 1, 2, 3, 5, 5, 5, 5,
        1, 1, 3, 5, 5, 5, 5, 5,
        1, 5, 5, 5, 5, 5, 5, 5,
        2, 5, 5, 5, 5, 5, 5, 5,
        5, 5, 5, 5, 5, 5, 5, 5,
        5, 5, 5, 5, 5, 5, 5, 5,
        5, 5, 5, 5, 5, 5, 5, 5,
    },
    // 11: Chrominance 2
    {
        3, 3, 4, 7, 13, 15, 12, 15,
        3, 7, 13, 13, 15, 12, 15, 12,
        3, 7, 13, 14, 12, 12, 12, 12,
        7, 15, 14, 12, 12, 12, 12, 12,
        13, 14, 12, 12, 12, 12, 12, 12,
        14, 15, 12, 12, 12, 12, 12, 12,
        15, 12, 12, 12, 12, 12, 12, 12,
        12, 15, 12, 12, 12, 12, 12, 12,
    },
    // 12: Chrominance 3
    {
        2, 1, 2, 4, 7, 8, 8, 8,
        2, 4, 7, 7, 8, 8, 8, 8,
        2, 4, 7, 8, 8, 8, 8, 8,
        4, 8, 8, 8, 8, 8, 8, 8,
        7, 8, 8, 8, 8, 8, 8, 8,
        8, 8, 8, 8, 8, 8, 8, 8,
        8, 8, 8, 8, 8, 8, 8, 8,
        8, 8, 8, 8, 8, 8, 8, 8,
    },
    // 13: Chrominance 4
    {
        1, 1, 1, 1, 2, 3, 3, 3,
        1, 1, 2, 2, 3, 3, 3, 3,
        1, 1, 2, 3, 3, 3, 3, 3,
        1, 3, 3, 3, 3, 3, 3, 3,
        2, 3, 3, 3, 3, 3, 3, 3,
        3, 3, 3, 3, 3, 3, 3, 3,
        3, 3, 3, 3, 3, 3, 3, 3,
        3, 3, 3, 3, 3, 3, 3, 3,
    },
    // 14: Chrominance 5
    {
        4, 3, 4, 5, 13, 20, 20, 20,
        4, 5, 9, 11, 20, 20, 20, 20,
        4, 5, 13, 20, 20, 20, 20, 20,
        5, 20, 20, 20, 20, 20, 20, 20,
        9, 20, 20, 20, 20, 20, 20, 20,
        20, 20, 20, 20, 20, 20, 20, 20,
        20, 20, 20, 20, 20, 20, 20, 20,
        20, 20, 20, 20, 20, 20, 20, 20,
    },
    // 15: Chrominance 6
    {
        2, 2, 2, 2, 7, 10, 10, 10,
        2, 2, 5, 6, 10, 10, 10, 10,
        2, 3, 7, 10, 10, 10, 10, 10,
        3, 10, 10, 10, 10, 10, 10, 10,
        5, 10, 10, 10, 10, 10, 10, 10,
        10, 10, 10, 10, 10, 10, 10, 10,
        10, 10, 10, 10, 10, 10, 10, 10,
        10, 10, 10, 10, 10, 10, 10, 10,
    },
    // 16: Chrominance 7
    {
        1, 1, 1, 1, 4, 6, 6, 6,
        1, 1, 3, 3, 6, 6, 6, 6,
        1, 2, 4, 6, 6, 6, 6, 6,
        2, 6, 6, 6, 6, 6, 6, 6,
        3, 6, 6, 6, 6, 6, 6, 6,
        6, 6, 6, 6, 6, 6, 6, 6,
        6, 6, 6, 6, 6, 6, 6, 6,
        6, 6, 6, 6, 6, 6, 6, 6,
    },
    // 17: Chrominance 8
    {
        1, 1, 1, 1, 3, 4, 4, 4,
        1, 1, 2, 2, 4, 4, 4, 4,
        1, 1, 3, 4, 4, 4, 4, 4,
        1, 4, 4, 4, 4, 4, 4, 4,
        2, 4, 4, 4, 4, 4, 4, 4,
        4, 4, 4, 4, 4, 4, 4, 4,
        4, 4, 4, 4, 4, 4, 4, 4,
        4, 4, 4, 4, 4, 4, 4, 4,
    },
};
// clang-format on

JPEGSettings::JPEGSettings()
{
    qtables[0] = QuantizationTable(presets[0]);
    qtables[1] = QuantizationTable(presets[9]);
    qtables[2] = QuantizationTable(presets[9]);
    qtables[3] = QuantizationTable(presets[3]);
}

void JPEGSettings::useAnnexKTables()
{
    qtables[0] = QuantizationTable(annexKLuminance);
    for (int slot = 1; slot < 4; ++slot)
        qtables[slot] = QuantizationTable(annexKChrominance);
}

namespace {

const char* yesNo(bool value)
{
    return value ? "Yes\t" : "No\t";
}

void writeTable(std::ostringstream& out, const QuantizationTable& table)
{
    for (unsigned k = 0; k < QuantizationTable::SIZE; ++k) {
        if (k > 0)
            out << ',';
        out << table[k];
    }
    out << '\t';
}

} // namespace

std::string JPEGSettings::toString() const
{
    std::ostringstream out;
    switch (compressionMode) {
    case LOSSLESS:
        out << "Losless\t";
        break;
    case BASELINE:
        out << "Baseline\t";
        break;
    case EXTENDED:
        out << (progressive ? "Progessive\t" : "Extended\t");
        break;
    }
    switch (dctMethod) {
    case INT:
        out << "int\t";
        break;
    case FAST:
        out << "fast\t";
        break;
    case FLOAT:
        out << "float\t";
        break;
    }
    out << smoothing << '\t';
    out << downsampling[0].vertical << '\t' << downsampling[0].horizontal << '\t';
    out << downsampling[1].vertical << '\t' << downsampling[1].horizontal << '\t';
    out << yesNo(autoQuality);
    out << quality << '\t';
    out << yesNo(optimizeHuffman);
    out << yesNo(grayscaleOutput);
    writeTable(out, qtables[LUMINANCE]);
    writeTable(out, qtables[CHROMINANCE]);
    return out.str();
}
