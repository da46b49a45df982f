// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class CompressionResult;
class QWidget;

// The name a "Save as" answer is saved under: the answer itself when it ends
// in ".jpg" or ".jpeg" in any case, otherwise the answer with ".jpg" appended
// ("out.png" becomes "out.png.jpg").
QString jpegFileName(const QString& chosen);

// Asks for a name in the "Save as" file dialog over `parent`, then, when a
// file of the final name (jpegFileName() of the answer) exists, whether to
// replace it. The dialog itself asks nothing: it only knows the typed name.
// Returns the final name, or an empty string when the user cancelled either.
// `title` names the dialog ("Save as" when empty), e.g. with what it saves.
QString askJpegSaveName(QWidget* parent, const QString& title = QString());

// Saves the JPEG of `result` exactly as the encoder wrote it under
// jpegFileName(chosen), replacing an existing file only once the new one is
// complete. A failure (or no result) is reported in a critical "Error" box
// over `parent` that names the target and gives the system's reason; an
// existing file of that name then stays as it was. Returns whether the JPEG
// was saved.
bool saveCompressedJpegAs(QWidget* parent, const CompressionResult* result, const QString& chosen);
