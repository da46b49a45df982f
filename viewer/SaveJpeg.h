#pragma once

#include <QString>

class QWidget;

// The name a "Save as" answer is saved under: the answer itself when it ends
// in ".jpg" or ".jpeg" in any case, otherwise the answer with ".jpg" appended
// ("out.png" becomes "out.png.jpg").
QString jpegFileName(const QString& chosen);

// Saves the JPEG that the last compression wrote (the compressor's scratch
// file in the working directory) under jpegFileName(chosen), replacing an
// existing file. A failed copy is reported in a critical "Error" box over
// `parent` that names the target; returns whether the copy succeeded.
bool saveCompressedJpegAs(QWidget* parent, const QString& chosen);
