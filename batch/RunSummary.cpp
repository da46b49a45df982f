// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunSummary.h"

namespace {

const QChar times(0x00D7);

QString sampling(const JPEGSettings::Downsampling& d)
{
    return QString::number(d.horizontal) + times + QString::number(d.vertical);
}

QString namePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// "a, b, c and 4 more"
QString listing(const QStringList& listed, std::int64_t others, const QString& separator)
{
    QString out = listed.join(separator);
    if (others > 0)
        out += QStringLiteral(" and %1 more").arg(others);
    return out;
}

QString plural(std::int64_t count, const char* one, const char* many = nullptr)
{
    if (count == 1)
        return QLatin1String(one);
    return many ? QLatin1String(many) : QLatin1String(one) + QLatin1Char('s');
}

} // namespace

void RunSummary::start(std::int64_t fileCount, std::int64_t entryCount)
{
    *this = RunSummary();
    files = fileCount;
    entries = entryCount;
}

RunSummary::Reason& RunSummary::reasonFor(Cause cause, const QString& message)
{
    for (Reason& reason : reasons) {
        if (reason.cause == cause && reason.message == message)
            return reason;
    }
    Reason reason;
    reason.cause = cause;
    reason.message = message;
    reasons.push_back(reason);
    return reasons.back();
}

void RunSummary::noteFile(Reason& reason, const QString& file)
{
    // The run goes file by file, so a file hit again follows itself.
    if (file == reason.lastFile)
        return;
    reason.lastFile = file;
    if (reason.files.size() < LISTED)
        reason.files << file;
    else
        ++reason.otherFiles;
}

void RunSummary::addLoadFailure(const QString& file, const QString& message)
{
    Reason& reason =
        reasonFor(Cause::PictureNotLoaded,
                  message.isEmpty() ? QStringLiteral("The picture could not be read.") : message);
    reason.compressions += entries;
    failed += entries;
    noteFile(reason, file);
}

void RunSummary::addLoadWarning(const QString& file, const QString& warning)
{
    Reason& reason = reasonFor(Cause::PictureDamaged, warning);
    ++reason.compressions;
    noteFile(reason, file);
}

void RunSummary::addFailure(const QString& file, std::int64_t entry, const JPEGSettings& settings,
                            const QString& message)
{
    Reason& reason =
        reasonFor(Cause::CompressionFailed,
                  message.isEmpty() ? QStringLiteral("The compression failed.") : message);
    ++reason.compressions;
    ++failed;
    noteFile(reason, file);
    if (entry < 0 || entry >= entries)
        return;
    if (reason.refusedEntries.empty())
        reason.refusedEntries.resize(std::size_t(entries), false);
    if (reason.refusedEntries[std::size_t(entry)])
        return;
    reason.refusedEntries[std::size_t(entry)] = true;
    if (reason.settings.size() < LISTED)
        reason.settings << describe(settings);
    else
        ++reason.otherSettings;
}

QString RunSummary::describe(const JPEGSettings& s)
{
    QString mode;
    switch (s.getCompressionMode()) {
    case JPEGSettings::LOSSLESS:
        mode = QStringLiteral("lossless");
        break;
    case JPEGSettings::BASELINE:
        mode = QStringLiteral("baseline");
        break;
    case JPEGSettings::EXTENDED:
        mode = s.isProgressive() ? QStringLiteral("progressive") : QStringLiteral("extended");
        break;
    }
    static const char* const dct[] = {"int", "fast", "float"};
    const int method = int(s.getDCTMethod());
    QStringList parts;
    parts << QStringLiteral("sampling Y %1, Cb %2")
                 .arg(sampling(s.downsampling[0]), sampling(s.downsampling[1]))
          << mode
          << (s.isAutoQualityEnabled() ? QStringLiteral("auto quality %1")
                                       : QStringLiteral("quality %1"))
                 .arg(s.getQuality())
          << QStringLiteral("DCT %1").arg(
                 QLatin1String(method >= 0 && method < 3 ? dct[method] : "?"))
          << QStringLiteral("smoothing %1").arg(s.getSmoothing());
    if (s.getOptimizeHuffman())
        parts << QStringLiteral("optimized Huffman");
    if (s.getGrayscaleOutput())
        parts << QStringLiteral("grayscale");
    return parts.join(QStringLiteral(", "));
}

QString RunSummary::text() const
{
    QStringList lines;
    QString head = QStringLiteral("%1 %2 asked for (%3 %4 %5 %6 %7): ")
                       .arg(getAsked())
                       .arg(plural(getAsked(), "compression"))
                       .arg(files)
                       .arg(plural(files, "picture"))
                       .arg(times)
                       .arg(entries)
                       .arg(plural(entries, "settings entry", "settings entries"));
    if (getAsked() > 0 && succeeded == getAsked())
        head += QStringLiteral("all succeeded.");
    else
        head += QStringLiteral("%1 succeeded, %2 failed").arg(succeeded).arg(failed);
    if (getNotDone() > 0)
        head += QStringLiteral(", %1 not done (cancelled)").arg(getNotDone());
    if (!head.endsWith(QLatin1Char('.')))
        head += QLatin1Char('.');
    lines << head;

    for (const Reason& reason : reasons) {
        QStringList names;
        for (const QString& file : reason.files)
            names << namePart(file);
        if (reason.cause == Cause::PictureNotLoaded) {
            lines << QStringLiteral("%1 failed: the picture could not be loaded: %2 (%3)")
                         .arg(reason.compressions)
                         .arg(reason.message,
                              listing(names, reason.otherFiles, QStringLiteral(", ")));
        } else if (reason.cause == Cause::PictureDamaged) {
            lines << QStringLiteral("%1 succeeded on damaged pictures, with a warning: %2 (%3)")
                         .arg(reason.compressions)
                         .arg(reason.message,
                              listing(names, reason.otherFiles, QStringLiteral(", ")));
        } else {
            lines << QStringLiteral("%1 failed: the compression failed: %2 (%3; files %4)")
                         .arg(reason.compressions)
                         .arg(reason.message,
                              listing(reason.settings, reason.otherSettings, QStringLiteral("; ")),
                              listing(names, reason.otherFiles, QStringLiteral(", ")));
        }
    }
    return lines.join(QLatin1Char('\n'));
}
