// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>
#include <utility>

#include "BatchForm.h"
#include "BatchSettings.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// A sweep as a sweep file states it: the batch form, and the files and
// figures the form does not hold. Both tessera-sweep and the batch window
// read and write sweep files through SweepFile alone.
struct SweepRequest
{
    BatchForm form = BatchForm::from(BatchSettings());
    // Paths of the table files and the sampling-pair file; empty for the
    // defaults (the standard luminance table, Luminance 1, the pair 1 1 1 1).
    QString luminanceTables;
    QString chrominanceTables;
    QString samplingPairs;
    // The figures list as written ("all", "none", "psnr,ssim").
    QString figures = QStringLiteral("all");
};

// The sweep file: "option = value" lines, '#' starting a comment (at the
// start of a line or after a space), blank lines ignored. The options are
// the long names of tessera-sweep's options that the file may set; a later
// line overrides an earlier one. Paths are taken from the file's folder.
namespace SweepFile {

// The options a sweep file may set, in the order write() gives them.
const QStringList& keys();

// The settings lines of `text` in their order. False with a message that
// starts "line N:" for anything else.
bool parse(const QByteArray& text, QList<QPair<QString, QString>>& settings, QString& error);

// Applies one setting, as the option of that name on the command line would.
// False with a message starting "--option:" or "option:" for a bad value.
bool apply(const QString& key, const QString& value, SweepRequest& request, QString& error);

// parse() and apply() for the whole text of the file at `path` (which names
// the folder relative paths are taken from), starting from `request` as it
// stands. False with the message, the file's name in front.
bool read(const QByteArray& text, const QString& path, SweepRequest& request, QString& error);

// `request` as the text of a sweep file that read() turns back into the same
// request, from the defaults. The form must pass BatchForm::check(); a range
// that is switched off (automatic quality) is written as "off" and its
// fields are not kept.
QString write(const SweepRequest& request);

// False with a message for an empty list or one with an empty item
// ("int,,float"); `option` names the option in the message.
bool noEmptyItems(const QString& option, const QString& value, QString& error);

// The words of the checked flags joined by commas ("int,float"): how the
// format writes a group of check boxes.
QString flagList(std::initializer_list<std::pair<bool, const char*>> flags);

} // namespace SweepFile
