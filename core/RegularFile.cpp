// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int openRegularFile(const std::string& path)
{
    // O_NONBLOCK keeps the open of a FIFO without a writer from waiting; the
    // type is then checked on what was opened, not on the name.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    struct stat status;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return -1;
    }
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0)
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    return descriptor;
}

RegularFileStream::RegularFileStream(const std::string& path) : std::istream(nullptr)
{
    buffer.descriptor = openRegularFile(path);
    if (buffer.descriptor >= 0)
        rdbuf(&buffer);
    else
        setstate(std::ios::failbit);
}

RegularFileStream::~RegularFileStream()
{
    if (buffer.descriptor >= 0)
        ::close(buffer.descriptor);
}

RegularFileStream::Buffer::int_type RegularFileStream::Buffer::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    ssize_t got = 0;
    do {
        got = ::read(descriptor, bytes, sizeof bytes);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return traits_type::eof();
    setg(bytes, bytes, bytes + got);
    return traits_type::to_int_type(*gptr());
}
