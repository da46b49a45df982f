// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// What the encoder wrote into a JPEG, read back from its bytes.
namespace JpegFrame {

// The sampling factors of the frame header, horizontal by vertical for each
// component in order: "2x2,1x1,1x1", "1x1" for a grey-scale file. Empty when
// the bytes hold no frame header before the first scan.
QString sampling(const QByteArray& jpeg);

} // namespace JpegFrame
