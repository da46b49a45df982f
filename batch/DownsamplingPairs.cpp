#include "DownsamplingPairs.h"

#include <QFile>

#include <algorithm>
#include <istream>
#include <sstream>
#include <string>

namespace DownsamplingPairs {

std::vector<BatchSettings::DownsamplingPair> read(std::istream& in)
{
    std::vector<BatchSettings::DownsamplingPair> pairs;
    for (;;) {
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

bool load(const QString& path, std::vector<BatchSettings::DownsamplingPair>& pairs)
{
    // QFile refuses directories, which a plain file stream would open and
    // then read as empty.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    pairs = read(file.readAll());
    return true;
}

} // namespace DownsamplingPairs
