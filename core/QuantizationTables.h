// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

// One 8x8 quantization table: 64 values in natural (row-major) order, row r
// and column c at position 8 * r + c. Values are kept verbatim; the encoder
// limits them to its own range.
class QuantizationTable
{
public:
    static constexpr unsigned SIZE = 64;

    QuantizationTable() = default;
    explicit QuantizationTable(const unsigned int* values);

    unsigned int* getTable() { return values.data(); }
    const unsigned int* getTable() const { return values.data(); }

    unsigned int operator[](unsigned k) const { return values[k]; }
    unsigned int& operator[](unsigned k) { return values[k]; }

    bool operator==(const QuantizationTable& other) const { return values == other.values; }
    bool operator!=(const QuantizationTable& other) const { return values != other.values; }

private:
    std::array<unsigned int, SIZE> values{};
};

// The two example tables of the JPEG standard (ITU-T T.81, Annex K):
// K.1 for luminance and K.2 for chrominance, natural order.
extern const unsigned int annexKLuminance[QuantizationTable::SIZE];
extern const unsigned int annexKChrominance[QuantizationTable::SIZE];
