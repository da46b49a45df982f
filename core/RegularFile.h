// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <istream>
#include <optional>
#include <streambuf>
#include <string>

// Side files (quantization tables, sampling pairs) are read from regular files
// only. Opening a FIFO for reading waits for a writer, and a device may never
// end; such a file is opened without waiting, found out and closed.

// A descriptor open for reading on the regular file `path` (the file system's
// 8-bit name), or -1 for anything else and for files that cannot be opened.
int openRegularFile(const std::string& path);

// The whole of the regular file `path` when it holds at most `limit` bytes;
// else nothing, and `reason` says why ("not a regular file", "larger than
// N MB", the system's error).
std::optional<QByteArray> readRegularFile(const QString& path, qint64 limit, QString& reason);

// Limits for the text files a user names.
constexpr qint64 SETTINGS_FILE_LIMIT = qint64(1) << 20; // sweep files
constexpr qint64 TABLE_FILE_LIMIT = qint64(1) << 30;    // result tables (CSV)

// An input stream over a regular file; anything else leaves it failed and
// not open.
class RegularFileStream : public std::istream
{
public:
    explicit RegularFileStream(const std::string& path);
    ~RegularFileStream() override;
    RegularFileStream(const RegularFileStream&) = delete;
    RegularFileStream& operator=(const RegularFileStream&) = delete;

    bool isOpen() const { return buffer.descriptor >= 0; }

private:
    struct Buffer : std::streambuf
    {
        int_type underflow() override;
        int descriptor = -1;
        char bytes[64 * 1024];
    };
    Buffer buffer;
};
