// SPDX-License-Identifier: GPL-3.0-or-later
#include "CsvEntry.h"

#include "FileNames.h"
#include "QuantizationTableFiles.h"
#include "TableNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace CsvEntry {

namespace {

// A failure to read a row's setting: the text of Entry::problem.
struct Refusal
{
    QString reason;
};

class RowReader
{
public:
    RowReader(const SweepRows& rows, int row) : rows(rows), row(row) {}

    QString text(const char* name) const
    {
        const int column = rows.column(QLatin1String(name));
        if (column < 0)
            throw Refusal{QStringLiteral("the CSV has no \"%1\" column").arg(QLatin1String(name))};
        return FileNames::textOfCell(rows.text(row, column));
    }

    int whole(const char* name, int low, int high) const
    {
        bool ok = false;
        const int value = text(name).toInt(&ok);
        if (!ok || value < low || value > high)
            throw Refusal{QStringLiteral("its %1 \"%2\" is not a whole number from %3 to %4")
                              .arg(QLatin1String(name), text(name))
                              .arg(low)
                              .arg(high)};
        return value;
    }

    bool flag(const char* name) const { return whole(name, 0, 1) == 1; }

private:
    const SweepRows& rows;
    const int row;
};

JPEGSettings::DCTMethod dctMethod(const QString& text)
{
    if (text == QLatin1String("int"))
        return JPEGSettings::INT;
    if (text == QLatin1String("fast"))
        return JPEGSettings::FAST;
    if (text == QLatin1String("float"))
        return JPEGSettings::FLOAT;
    throw Refusal{QStringLiteral("its DCT \"%1\" is none of int, fast, float").arg(text)};
}

// "2x1,1x1,1x1" (horizontal x vertical per component) into the entry; one
// component for grey-scale output.
void readSampling(const QString& text, JPEGSettings& s)
{
    const QStringList parts = text.split(QLatin1Char(','));
    const int expected = s.getGrayscaleOutput() ? 1 : 3;
    bool ok = parts.size() == expected;
    for (int c = 0; ok && c < expected; ++c) {
        const QStringList hv = parts[c].split(QLatin1Char('x'));
        bool h = false, v = false;
        if (hv.size() == 2) {
            s.downsampling[c].horizontal = hv[0].toInt(&h);
            s.downsampling[c].vertical = hv[1].toInt(&v);
        }
        ok = h && v && s.downsampling[c].horizontal >= 1 && s.downsampling[c].horizontal <= 4 &&
             s.downsampling[c].vertical >= 1 && s.downsampling[c].vertical <= 4;
    }
    if (!ok)
        throw Refusal{
            QStringLiteral("its sampling \"%1\" is not of the form 2x2,1x1,1x1").arg(text)};
}

// The preset or Annex K table of that name.
std::optional<QuantizationTable> namedTable(const QString& name)
{
    const QString current = TableNames::current(name);
    for (const unsigned int* values : {annexKLuminance, annexKChrominance}) {
        const QuantizationTable table(values);
        if (TableNames::name(table) == current)
            return table;
    }
    for (int i = 0; i < JPEGSettings::PRESET_COUNT; ++i) {
        const QuantizationTable table(JPEGSettings::presets[i]);
        if (TableNames::name(table) == current)
            return table;
    }
    return std::nullopt;
}

// The table a run's lists name so, in either slot.
std::optional<QuantizationTable> knownTable(const QString& name, const SweepCsv::TableNames* known)
{
    if (!known)
        return std::nullopt;
    for (int slot = 0; slot < 2; ++slot) {
        const int i = int(known->names[slot].indexOf(name));
        if (i >= 0 && std::size_t(i) < known->tables[slot].size())
            return known->tables[slot][std::size_t(i)];
    }
    return std::nullopt;
}

// Table `index` of the first file named `file` in `folders`, else the table
// of that name in the run's lists.
QuantizationTable fileTable(const QString& name, const QString& file, int index,
                            const QStringList& folders, const SweepCsv::TableNames* known)
{
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(file);
        if (!QFileInfo(path).isFile())
            continue;
        const std::vector<QuantizationTable> tables =
            readQTables(QFile::encodeName(path).toStdString());
        if (index >= int(tables.size()))
            throw Refusal{QStringLiteral("%1 holds %2 tables, not a table %3")
                              .arg(QDir::toNativeSeparators(path))
                              .arg(tables.size())
                              .arg(index)};
        return tables[std::size_t(index)];
    }
    if (std::optional<QuantizationTable> table = knownTable(name, known))
        return *table;
    QStringList shown;
    for (const QString& folder : folders)
        shown.append(QDir::toNativeSeparators(folder));
    throw Refusal{QStringLiteral("its table file %1 is in none of the folders %2: put it beside "
                                 "the CSV")
                      .arg(file, shown.join(QStringLiteral(", ")))};
}

QuantizationTable resolveTable(const QString& name, const char* what, const QStringList& folders,
                               const SweepCsv::TableNames* known)
{
    if (name.isEmpty() || name == QLatin1String("library standard"))
        throw Refusal{QStringLiteral("its %1 table is not named").arg(QLatin1String(what))};
    if (std::optional<QuantizationTable> table = namedTable(name))
        return *table;
    if (name == QLatin1String("custom"))
        throw Refusal{QStringLiteral("its %1 table is a custom one (edited in a panel, or none of "
                                     "the run's table files), which the CSV names but does not "
                                     "hold")
                          .arg(QLatin1String(what))};
    const int colon = int(name.lastIndexOf(QLatin1Char(':')));
    bool ok = false;
    const int index = colon > 0 ? name.mid(colon + 1).toInt(&ok) : -1;
    if (!ok || index < 0)
        throw Refusal{QStringLiteral("its %1 table \"%2\" is no table name Tessera writes")
                          .arg(QLatin1String(what), name)};
    return fileTable(name, name.left(colon), index, folders, known);
}

// The tables, the DCT and the sampling: what automatic quality leaves to
// the library.
void readTableQuality(const RowReader& r, JPEGSettings& s, const QStringList& folders,
                      const SweepCsv::TableNames* known)
{
    s.setDCTMethod(dctMethod(r.text("dct")));
    readSampling(r.text("sampling"), s);
    bool* inUse = s.getCurrentQuantizationTables();
    inUse[0] = inUse[1] = true;
    inUse[2] = inUse[3] = false;
    s.qtables[JPEGSettings::LUMINANCE] =
        resolveTable(r.text("luminance_table"), "luminance", folders, known);
    if (!s.getGrayscaleOutput())
        s.qtables[JPEGSettings::CHROMINANCE] =
            resolveTable(r.text("chrominance_table"), "chrominance", folders, known);
}

void readEntry(const RowReader& r, Entry& entry, const Sources& sources)
{
    if (r.text("status") != QLatin1String("ok"))
        throw Refusal{
            QStringLiteral("its compression failed in the run: %1").arg(r.text("message"))};
    entry.picture = r.text("picture");
    bool sized = false;
    entry.jpegBytes = r.text("jpeg_bytes").toLongLong(&sized);
    if (!sized)
        entry.jpegBytes = -1;
    JPEGSettings& s = entry.settings;
    const QString mode = r.text("mode");
    if (mode != QLatin1String("Baseline") && mode != QLatin1String("Extended"))
        throw Refusal{QStringLiteral("its mode \"%1\" is neither Baseline nor Extended").arg(mode)};
    s.setCompressionMode(mode == QLatin1String("Baseline") ? JPEGSettings::BASELINE
                                                           : JPEGSettings::EXTENDED);
    s.setProgressiveMode(r.flag("progressive"));
    s.setGrayscaleOutput(r.flag("grayscale"));
    s.setOptimizeHuffman(r.flag("optimize_huffman"));
    s.setSmoothing(r.whole("smoothing", 0, 100));
    s.setAutoQualityEnabled(r.flag("auto_quality"));
    s.setQuality(r.whole("quality", 1, 100));
    if (!QFileInfo(entry.picture).isFile())
        throw Refusal{QStringLiteral("its picture %1 is not there")
                          .arg(QDir::toNativeSeparators(entry.picture))};
    if (s.isAutoQualityEnabled())
        return;
    QStringList folders = sources.folders;
    folders.append(QFileInfo(entry.picture).absolutePath());
    folders.removeDuplicates();
    readTableQuality(r, s, folders, sources.known);
}

} // namespace

Entry read(const SweepRows& rows, int row, const Sources& sources)
{
    Entry entry;
    try {
        readEntry(RowReader(rows, row), entry, sources);
    } catch (const Refusal& refusal) {
        entry.problem = refusal.reason;
    }
    return entry;
}

} // namespace CsvEntry
