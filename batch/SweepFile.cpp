// SPDX-License-Identifier: GPL-3.0-or-later
#include "SweepFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <utility>

namespace SweepFile {

namespace {

// The options a sweep file may set, by the long name of the command-line
// option that overrides it.
const char* const sweepKeys[] = {
    "mode",
    "progressive",
    "output",
    "huffman",
    "dct",
    "smoothing",
    "auto-quality",
    "manual-quality",
    "table-quality",
    "luminance-tables",
    "chrominance-tables",
    "sampling-pairs",
    "figures",
};

struct Choice
{
    const char* word;
    bool BatchForm::*flag;
};

// False with a message for a list with nothing in it, or with an empty item
// ("baseline," or "int,,float"), which is a slip rather than a choice.
bool emptyItemsIn(const QString& option, const QString& value, QString& error)
{
    const QStringList words = value.split(QLatin1Char(','));
    const auto blank = [](const QString& word) { return word.trimmed().isEmpty(); };
    if (std::all_of(words.begin(), words.end(), blank)) {
        error = QStringLiteral("--%1: no value given").arg(option);
        return false;
    }
    if (std::any_of(words.begin(), words.end(), blank)) {
        error = QStringLiteral("--%1: an empty item in \"%2\"").arg(option, value);
        return false;
    }
    return true;
}

// Sets the form's flags from a list like "int,float": every named choice is
// checked, the others of the group unchecked, as the form's boxes would be.
bool readChoices(const QString& option, const QString& value, const Choice* choices, int count,
                 BatchForm& form, QString& error)
{
    const QStringList words = value.split(QLatin1Char(','));
    bool chosen[8] = {};
    if (!emptyItemsIn(option, value, error))
        return false;
    for (const QString& raw : words) {
        const QString word = raw.trimmed().toLower();
        bool known = false;
        for (int i = 0; i < count; ++i) {
            if (word == QLatin1String(choices[i].word)) {
                chosen[i] = true;
                known = true;
            }
        }
        if (!known) {
            QStringList allowed;
            for (int i = 0; i < count; ++i)
                allowed << QLatin1String(choices[i].word);
            allowed.removeDuplicates();
            error = QStringLiteral("--%1: unknown value \"%2\" (one or more of %3)")
                        .arg(option, raw.trimmed(), allowed.join(QStringLiteral(", ")));
            return false;
        }
    }
    for (int i = 0; i < count; ++i)
        form.*(choices[i].flag) = false;
    for (int i = 0; i < count; ++i)
        if (chosen[i])
            form.*(choices[i].flag) = true;
    return true;
}

// MIN:MAX:STEP into the form's three texts; each part must be an integer.
bool readTriple(const QString& option, const QString& value, QString& minimum, QString& maximum,
                QString& step, QString& error)
{
    const QStringList parts = value.trimmed().split(QLatin1Char(':'));
    bool ok = parts.size() == 3;
    for (const QString& part : parts) {
        bool number = false;
        part.toInt(&number, 10);
        ok = ok && number;
    }
    if (!ok) {
        error = QStringLiteral("--%1: expected MIN:MAX:STEP in whole numbers, not \"%2\"")
                    .arg(option, value);
        return false;
    }
    // A step beyond the range sweeps the minimum alone: surely not what was
    // meant.
    const int range = std::abs(parts[1].toInt() - parts[0].toInt());
    if (range > 0 && std::abs(parts[2].toInt()) > range) {
        error = QStringLiteral("--%1: the step %2 is larger than the range %3 to %4")
                    .arg(option, parts[2], parts[0], parts[1]);
        return false;
    }
    minimum = parts[0];
    maximum = parts[1];
    step = parts[2];
    return true;
}

bool readYesNo(const QString& option, const QString& value, bool& flag, QString& error)
{
    const QString word = value.trimmed().toLower();
    if (word == QLatin1String("yes") || word == QLatin1String("1") ||
        word == QLatin1String("true")) {
        flag = true;
        return true;
    }
    if (word == QLatin1String("no") || word == QLatin1String("0") ||
        word == QLatin1String("false")) {
        flag = false;
        return true;
    }
    error = QStringLiteral("%1: expected yes or no, not \"%2\"").arg(option, value);
    return false;
}

bool applyTo(const QString& key, const QString& value, SweepRequest& request, QString& error)
{
    static const Choice modes[] = {{"baseline", &BatchForm::baseline},
                                   {"extended", &BatchForm::extended}};
    static const Choice progressive[] = {{"yes", &BatchForm::progressive},
                                         {"no", &BatchForm::nonProgressive}};
    static const Choice outputs[] = {{"colour", &BatchForm::colorOutput},
                                     {"color", &BatchForm::colorOutput},
                                     {"grayscale", &BatchForm::grayscaleOutput},
                                     {"greyscale", &BatchForm::grayscaleOutput}};
    static const Choice huffman[] = {{"no", &BatchForm::dontOptimizeHuffman},
                                     {"yes", &BatchForm::optimizeHuffman}};
    static const Choice dct[] = {{"int", &BatchForm::dctInt},
                                 {"fast", &BatchForm::dctFast},
                                 {"float", &BatchForm::dctFloat}};
    BatchForm& form = request.form;
    if (key == QLatin1String("mode"))
        return readChoices(key, value, modes, 2, form, error);
    if (key == QLatin1String("progressive"))
        return readChoices(key, value, progressive, 2, form, error);
    if (key == QLatin1String("output"))
        return readChoices(key, value, outputs, 4, form, error);
    if (key == QLatin1String("huffman"))
        return readChoices(key, value, huffman, 2, form, error);
    if (key == QLatin1String("dct"))
        return readChoices(key, value, dct, 3, form, error);
    if (key == QLatin1String("smoothing"))
        return readTriple(key, value, form.minSmoothing, form.maxSmoothing, form.smoothingStep,
                          error);
    if (key == QLatin1String("auto-quality")) {
        if (value.trimmed().toLower() == QLatin1String("off")) {
            form.autoQuality = false;
            return true;
        }
        form.autoQuality = true;
        return readTriple(key, value, form.minQuality, form.maxQuality, form.qualityStep, error);
    }
    if (key == QLatin1String("table-quality")) {
        if (value.trimmed().toLower() == QLatin1String("off")) {
            form.minTableQuality.clear();
            form.maxTableQuality.clear();
            form.tableQualityStep.clear();
            return true;
        }
        return readTriple(key, value, form.minTableQuality, form.maxTableQuality,
                          form.tableQualityStep, error);
    }
    if (key == QLatin1String("manual-quality"))
        return readYesNo(key, value, form.manualQuality, error);
    if (key == QLatin1String("luminance-tables"))
        request.luminanceTables = value;
    else if (key == QLatin1String("chrominance-tables"))
        request.chrominanceTables = value;
    else if (key == QLatin1String("sampling-pairs"))
        request.samplingPairs = value;
    else if (key == QLatin1String("figures"))
        request.figures = value;
    return true;
}

// Paths in a sweep file are taken from the file's folder.
QString besideFile(const QString& sweepFile, const QString& path)
{
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    return QFileInfo(sweepFile).dir().filePath(path);
}

QString triple(const QString& minimum, const QString& maximum, const QString& step)
{
    return QStringLiteral("%1:%2:%3")
        .arg(BatchForm::readField(minimum))
        .arg(BatchForm::readField(maximum))
        .arg(BatchForm::readField(step));
}

} // namespace

const QStringList& keys()
{
    static const QStringList names = [] {
        QStringList list;
        for (const char* key : sweepKeys)
            list << QLatin1String(key);
        return list;
    }();
    return names;
}

bool noEmptyItems(const QString& option, const QString& value, QString& error)
{
    return emptyItemsIn(option, value, error);
}

bool apply(const QString& key, const QString& value, SweepRequest& request, QString& error)
{
    return applyTo(key, value, request, error);
}

bool parse(const QByteArray& text, QList<QPair<QString, QString>>& settings, QString& error)
{
    settings.clear();
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QString line = QString::fromUtf8(lines[i]);
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        const qsizetype comment = line.indexOf(QLatin1Char('#'));
        if (comment >= 0 && (comment == 0 || line[comment - 1].isSpace()))
            line.truncate(comment);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        bool known = false;
        known = keys().contains(key);
        if (equals < 0 || !known || value.isEmpty()) {
            error = equals < 0 || value.isEmpty()
                        ? QStringLiteral("line %1: expected \"option = value\"").arg(i + 1)
                        : QStringLiteral("line %1: unknown option \"%2\"").arg(i + 1).arg(key);
            return false;
        }
        settings.append({key, value});
    }
    return true;
}

bool read(const QByteArray& text, const QString& path, SweepRequest& request, QString& error)
{
    QList<QPair<QString, QString>> settings;
    if (!parse(text, settings, error)) {
        error = QStringLiteral("%1: %2").arg(path, error);
        return false;
    }
    for (const auto& setting : settings) {
        const bool isPath = setting.first.endsWith(QLatin1String("-tables")) ||
                            setting.first == QLatin1String("sampling-pairs");
        const QString value = isPath ? besideFile(path, setting.second) : setting.second;
        if (!applyTo(setting.first, value, request, error)) {
            error = QStringLiteral("%1: %2").arg(path, error);
            return false;
        }
    }
    return true;
}

QString write(const SweepRequest& request)
{
    const BatchForm& f = request.form;
    QString text;
    const auto line = [&text](const char* key, const QString& value) {
        text += QStringLiteral("%1 = %2\n").arg(QLatin1String(key), value);
    };
    line("mode", flagList({{f.baseline, "baseline"}, {f.extended, "extended"}}));
    line("progressive", flagList({{f.progressive, "yes"}, {f.nonProgressive, "no"}}));
    line("output", flagList({{f.colorOutput, "colour"}, {f.grayscaleOutput, "grayscale"}}));
    line("huffman", flagList({{f.dontOptimizeHuffman, "no"}, {f.optimizeHuffman, "yes"}}));
    line("dct", flagList({{f.dctInt, "int"}, {f.dctFast, "fast"}, {f.dctFloat, "float"}}));
    line("smoothing", triple(f.minSmoothing, f.maxSmoothing, f.smoothingStep));
    line("auto-quality",
         f.autoQuality ? triple(f.minQuality, f.maxQuality, f.qualityStep) : QStringLiteral("off"));
    line("manual-quality", f.manualQuality ? QStringLiteral("yes") : QStringLiteral("no"));
    const bool tableQuality = !f.minTableQuality.isEmpty() || !f.maxTableQuality.isEmpty() ||
                              !f.tableQualityStep.isEmpty();
    line("table-quality", tableQuality
                              ? triple(f.minTableQuality, f.maxTableQuality, f.tableQualityStep)
                              : QStringLiteral("off"));
    const auto file = [&](const char* key, const QString& path, const char* fallback) {
        if (path.isEmpty())
            text += QStringLiteral("# %1: %2\n").arg(QLatin1String(key), QLatin1String(fallback));
        else
            line(key, QFileInfo(path).absoluteFilePath());
    };
    file("luminance-tables", request.luminanceTables, "Luminance standard");
    file("chrominance-tables", request.chrominanceTables, "Luminance 1");
    file("sampling-pairs", request.samplingPairs, "1 1 1 1");
    line("figures", request.figures);
    return text;
}

QString flagList(std::initializer_list<std::pair<bool, const char*>> flags)
{
    QStringList words;
    for (const auto& flag : flags)
        if (flag.first)
            words << QLatin1String(flag.second);
    return words.join(QLatin1Char(','));
}

} // namespace SweepFile
