// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownsamplingPairs.h"

#include "MemoryBudget.h"
#include "RegularFile.h"

#include <QFile>

#include <algorithm>
#include <istream>
#include <sstream>
#include <string>

namespace DownsamplingPairs {

std::vector<BatchSettings::DownsamplingPair> read(std::istream& in, bool* capped)
{
    std::vector<BatchSettings::DownsamplingPair> pairs;
    if (capped)
        *capped = false;
    for (;;) {
        if (pairs.size() == MemoryBudget::MAX_FILE_ENTRIES) {
            in >> std::ws;
            if (capped)
                *capped = !in.eof();
            break;
        }
        int values[4] = {0, 0, 0, 0};
        for (int& value : values) {
            in >> value;
            value = std::clamp(value, 1, 4);
        }
        if (in.fail())
            break;
        JPEGSettings::Downsampling first;
        first.vertical = values[0];
        first.horizontal = values[1];
        JPEGSettings::Downsampling second;
        second.vertical = values[2];
        second.horizontal = values[3];
        if (first.vertical * first.horizontal + 2 * second.vertical * second.horizontal <=
            MAX_BLOCKS)
            pairs.emplace_back(first, second);
    }
    return pairs;
}

std::vector<BatchSettings::DownsamplingPair> read(const QByteArray& bytes)
{
    std::istringstream in(std::string(bytes.constData(), std::size_t(bytes.size())));
    return read(in);
}

bool load(const QString& path, std::vector<BatchSettings::DownsamplingPair>& pairs, bool* capped)
{
    // Regular files only: a directory would read as empty, a FIFO would wait
    // for a writer and a device might never end.
    RegularFileStream in(QFile::encodeName(path).toStdString());
    if (!in.isOpen())
        return false;
    pairs = read(in, capped);
    return true;
}

} // namespace DownsamplingPairs
