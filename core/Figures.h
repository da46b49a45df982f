// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// Every figure a compression result can carry, in one list: its key (for
// command lines and settings), the name people read, the column name of
// comma-separated exports, how it is written, and its definition for tool
// tips. Everything that shows or writes figures takes them from here, so the
// programs and exports stay in step.
//
// A value is a double; NaN means "not available" (not asked for, or the
// picture is too small for it), +inf is a legitimate value (PSNR of
// identical pictures). For most figures higher is better; for the mean
// square error and the two Butteraugli distances lower is.
enum class Figure {
    CompressionRate,
    CompressionPercentage,
    BitRate,
    MSE,
    PSNR,
    PSNR_Y,
    PSNR_Cb,
    PSNR_Cr,
    SSIM,
    MS_SSIM,
    SSIMULACRA2,
    Butteraugli,
    Butteraugli3Norm,
};
constexpr int FIGURE_COUNT = int(Figure::Butteraugli3Norm) + 1;

struct FigureInfo
{
    Figure figure;
    const char* key;        // "psnr_y"
    const char* name;       // "PSNR-Y"
    const char* column;     // "psnr_y"
    const char* unit;       // shown after the value on screen, may be empty
    int decimals;           // on screen; -1 for six significant digits
    const char* definition; // rich text for tool tips
    bool lowerIsBetter;     // an error or a distance rather than a quality
};

namespace Figures {

// All of them, in the order of the enumeration.
const FigureInfo* all();
const FigureInfo& info(Figure figure);
// The figure of `key`; false when there is none.
bool fromKey(const QString& key, Figure& figure);

// "∞", "n/a", or the value with the figure's decimals and its unit.
QString screenText(Figure figure, double value, bool withUnit = true);
// "inf", "-inf", "" for n/a, otherwise six decimals in the C locale, like
// the batch report's "%lf".
QString csvText(double value);

} // namespace Figures

// A choice of figures, for runs that need only some of them.
class FigureSet
{
public:
    constexpr FigureSet() = default;
    static constexpr FigureSet everything() { return FigureSet((1u << FIGURE_COUNT) - 1); }
    // Everything that costs no more than about a compression: all but
    // SSIMULACRA 2 (about one and a half compressions' time on a 600 x 400
    // picture compared again and again, two for one comparison) and the two
    // Butteraugli distances (one measurement of some fifty), which are
    // measured in batches only when named.
    static constexpr FigureSet standard()
    {
        return FigureSet(everything().bits & ~(bit(Figure::SSIMULACRA2) | bit(Figure::Butteraugli) |
                                               bit(Figure::Butteraugli3Norm)));
    }
    // SSIM, MS-SSIM and SSIMULACRA 2: the figures that take passes of their
    // own over the pictures and that an interactive compression measures in
    // the background (SSIMULACRA 2 the longest, still a fraction of a
    // second on large pictures); the others come with every result, and the
    // Butteraugli distances are left to be asked for.
    static constexpr FigureSet similarity()
    {
        return FigureSet(bit(Figure::SSIM) | bit(Figure::MS_SSIM) | bit(Figure::SSIMULACRA2));
    }
    // Keys separated by commas ("psnr,ssim"); false and `set` untouched when
    // a key is unknown.
    static bool parse(const QString& keys, FigureSet& set);

    constexpr bool contains(Figure f) const { return bits & bit(f); }
    constexpr bool isEmpty() const { return bits == 0; }
    FigureSet& insert(Figure f)
    {
        bits |= bit(f);
        return *this;
    }
    FigureSet& remove(Figure f)
    {
        bits &= ~bit(f);
        return *this;
    }
    constexpr bool operator==(FigureSet other) const { return bits == other.bits; }
    QStringList keys() const;

private:
    constexpr explicit FigureSet(std::uint32_t bits) : bits(bits) {}
    static constexpr std::uint32_t bit(Figure f) { return 1u << int(f); }
    std::uint32_t bits = 0;
};
