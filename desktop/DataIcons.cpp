// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataIcons.h"

#include "DataFiles.h"

namespace DataFiles {

QIcon icon(const char* name)
{
    return QIcon(find(QStringLiteral("img/%1.png").arg(QLatin1String(name))));
}

} // namespace DataFiles
