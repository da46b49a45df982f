// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoaderProcess.h"

#include "Image.h"
#include "MemoryBudget.h"
#include "PictureHeaders.h"

#include <FreeImage.h>

#include <QByteArray>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

std::atomic<bool> inProcess{false};
std::atomic<int> timeLimitMs{60000};

// Opens every reply: a helper left from another build is noticed at once.
constexpr std::uint32_t PROTOCOL = 0x544c0002;
constexpr std::uint32_t MAX_PATH_BYTES = 1 << 16;
constexpr std::uint32_t MAX_MESSAGE_BYTES = 1 << 20;
// Seconds after which a helper ends a decode by itself (the program stops
// it at its own, shorter, time limit).
constexpr unsigned BACKSTOP_SECONDS = 600;
constexpr const char* LOADER_NAME = "tessera-loader";

using Clock = std::chrono::steady_clock;

// Writes all of `size` bytes; false when the other end is gone.
bool writeAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= std::size_t(written);
    }
    return true;
}

enum class ReadResult { Done, Closed, TimedOut };

// Reads exactly `size` bytes, waiting until `deadline` at most (none when
// `deadline` is empty).
ReadResult readAll(int fd, void* data, std::size_t size, const Clock::time_point* deadline)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        if (deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0)
                return ReadResult::TimedOut;
            pollfd wait{fd, POLLIN, 0};
            const int ready = ::poll(&wait, 1, int(std::min<long long>(left.count(), INT_MAX)));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0)
                continue; // the deadline is checked again above
            if (ready < 0)
                return ReadResult::Closed;
        }
        const ssize_t got = ::recv(fd, bytes, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return ReadResult::Closed;
        bytes += got;
        size -= std::size_t(got);
    }
    return ReadResult::Done;
}

bool writeU32(int fd, std::uint32_t value)
{
    return writeAll(fd, &value, sizeof value);
}

// Where tessera-loader is: beside this program, in the build's run folder,
// in the installed programs' folder; empty when none is there.
std::string findLoader()
{
    std::string candidates[3];
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        const QByteArray dir = QFileInfo(QString::fromLocal8Bit(self)).absolutePath().toLocal8Bit();
        candidates[0] = dir.toStdString() + "/" + LOADER_NAME;
    }
    candidates[1] = std::string(TESSERA_BUILD_RUN_DIR) + "/" + LOADER_NAME;
    candidates[2] = std::string(TESSERA_INSTALLED_BINDIR) + "/" + LOADER_NAME;
    for (const std::string& candidate : candidates) {
        if (!candidate.empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// One thread's helper process and the socket to it.
class Helper
{
public:
    Helper() = default;
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;
    ~Helper() { stop(false); }

    // Starts the helper unless it runs; false with the reason in `why`.
    bool ensureRunning(QString& why);
    // Ends the helper: killed when `kill`, else asked to leave by closing
    // its socket. Returns how it ended, for messages.
    QString stop(bool kill);
    int socket() const { return fd; }

private:
    pid_t pid = -1;
    int fd = -1;
};

bool Helper::ensureRunning(QString& why)
{
    if (pid > 0)
        return true;
    static const std::string program = findLoader();
    if (program.empty()) {
        why = QStringLiteral("the loader program %1 is not installed.")
                  .arg(QLatin1String(LOADER_NAME));
        return false;
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        why = QStringLiteral("no socket for the loader program.");
        return false;
    }
    // The helper keeps its budget to what this process would allow itself,
    // so that it refuses exactly the pictures a load here would refuse.
    const std::string budget = std::to_string(MemoryBudget::bytes());
    const char* arguments[] = {program.c_str(), "--serve", budget.c_str(),
                               Image::libraryChatter() ? "--verbose" : nullptr, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
    pid_t child = -1;
    const int failed = ::posix_spawn(&child, program.c_str(), &actions, nullptr,
                                     const_cast<char* const*>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (failed != 0) {
        ::close(ends[0]);
        why = QStringLiteral("the loader program cannot be started (%1).")
                  .arg(QString::fromLocal8Bit(std::strerror(failed)));
        return false;
    }
    pid = child;
    fd = ends[0];
    return true;
}

QString Helper::stop(bool kill)
{
    if (pid <= 0)
        return {};
    if (kill)
        ::kill(pid, SIGKILL);
    ::close(fd);
    int status = 0;
    pid_t ended = -1;
    do {
        ended = ::waitpid(pid, &status, 0);
    } while (ended < 0 && errno == EINTR);
    pid = -1;
    fd = -1;
    if (ended < 0 || kill)
        return {};
    if (WIFSIGNALED(status))
        return QStringLiteral("its decoder crashed (signal %1).").arg(WTERMSIG(status));
    return QStringLiteral("its decoder ended unexpectedly (status %1).").arg(WEXITSTATUS(status));
}

// The helpers not in use: a load takes one and gives it back, so that the
// new worker threads of a batch's next run find the helpers of the last.
class HelperPool
{
public:
    std::unique_ptr<Helper> take()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (idle.empty())
            return std::make_unique<Helper>();
        std::unique_ptr<Helper> helper = std::move(idle.back());
        idle.pop_back();
        return helper;
    }
    void giveBack(std::unique_ptr<Helper> helper)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        idle.push_back(std::move(helper));
    }
    void stopIdle()
    {
        std::vector<std::unique_ptr<Helper>> leaving;
        const std::lock_guard<std::mutex> lock(mutex);
        leaving.swap(idle);
    }

private:
    std::mutex mutex;
    std::vector<std::unique_ptr<Helper>> idle;
};

HelperPool& pool()
{
    static HelperPool helpers;
    return helpers;
}

// The reply header as it travels.
struct ReplyHeader
{
    std::uint32_t protocol = PROTOCOL;
    std::uint32_t loaded = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t has32 = 0;
    std::uint32_t messageBytes = 0;
};

} // namespace

// Access to the picture's copies for both ends of the protocol.
class LoaderAccess
{
public:
    static void receive(Helper& helper, const std::string& path, Image& image);
    static bool send(int fd, const Image& image);
    // Whether the 32-bit copy is what Image makes from a 24-bit picture.
    static bool derivable32(const Image& image);

private:
    static QString exchange(Helper& helper, const std::string& path, Image& image);
    static ReadResult readPixels(int fd, const ReplyHeader& header, Image& image,
                                 const Clock::time_point& deadline);
};

bool LoaderAccess::derivable32(const Image& image)
{
    const unsigned width = image.getWidth(), height = image.getHeight();
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* in = FreeImage_GetScanLine(image.dib24, int(height - 1 - y));
        const unsigned char* out = FreeImage_GetScanLine(image.dib32, int(y));
        for (unsigned x = 0; x < width; ++x, in += 3, out += 4) {
            if (out[0] != in[0] || out[1] != in[1] || out[2] != in[2] || out[3] != 255)
                return false;
        }
    }
    return true;
}

bool LoaderAccess::send(int fd, const Image& image)
{
    ReplyHeader header;
    const bool loaded = image.dib32 && image.dib24;
    const QByteArray message = image.getLoadMessage().toUtf8().left(int(MAX_MESSAGE_BYTES));
    header.loaded = loaded ? 1 : 0;
    header.width = loaded ? image.getWidth() : 0;
    header.height = loaded ? image.getHeight() : 0;
    header.has32 = loaded && !derivable32(image) ? 1 : 0;
    header.messageBytes = std::uint32_t(message.size());
    if (!writeAll(fd, &header, sizeof header) || !writeAll(fd, message.constData(), message.size()))
        return false;
    if (!loaded)
        return true;
    if (!writeAll(fd, FreeImage_GetBits(image.dib24),
                  std::size_t(FreeImage_GetPitch(image.dib24)) * header.height))
        return false;
    if (header.has32)
        return writeAll(fd, FreeImage_GetBits(image.dib32),
                        std::size_t(header.width) * 4 * header.height);
    return true;
}

ReadResult LoaderAccess::readPixels(int fd, const ReplyHeader& header, Image& image,
                                    const Clock::time_point& deadline)
{
    image.dib24 = FreeImage_Allocate(int(header.width), int(header.height), 24);
    if (!image.dib24)
        throw std::bad_alloc();
    ReadResult result =
        readAll(fd, FreeImage_GetBits(image.dib24),
                std::size_t(FreeImage_GetPitch(image.dib24)) * header.height, &deadline);
    if (result != ReadResult::Done)
        return result;
    if (!header.has32) {
        // As a load here makes the 32-bit copy of a plain 24-bit picture.
        if (!image.flippedTo32(image.dib24))
            throw std::bad_alloc();
        return ReadResult::Done;
    }
    const std::size_t bytes32 = std::size_t(header.width) * 4 * header.height;
    auto* pixels = static_cast<unsigned char*>(std::malloc(bytes32));
    if (!pixels)
        throw std::bad_alloc();
    result = readAll(fd, pixels, bytes32, &deadline);
    if (result != ReadResult::Done) {
        std::free(pixels);
        return result;
    }
    if (!image.wrap32(pixels, header.width, header.height))
        throw std::bad_alloc();
    return ReadResult::Done;
}

// One request and its reply; the reason when the helper failed.
QString LoaderAccess::exchange(Helper& helper, const std::string& path, Image& image)
{
    const int fd = helper.socket();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeLimitMs.load());
    if (!writeU32(fd, std::uint32_t(path.size())) || !writeAll(fd, path.data(), path.size())) {
        const QString why = helper.stop(false);
        return why.isEmpty() ? QStringLiteral("its loader stopped answering.") : why;
    }
    ReplyHeader header;
    ReadResult result = readAll(fd, &header, sizeof header, &deadline);
    const bool sane = header.protocol == PROTOCOL && header.messageBytes <= MAX_MESSAGE_BYTES &&
                      header.width <= Image::MAX_SIDE && header.height <= Image::MAX_SIDE &&
                      std::uint64_t(header.width) * header.height <= Image::MAX_PIXELS;
    if (result == ReadResult::Done && !sane) {
        helper.stop(true);
        return QStringLiteral("its loader answered nonsense.");
    }
    QByteArray message;
    if (result == ReadResult::Done) {
        message.resize(int(header.messageBytes));
        result = readAll(fd, message.data(), message.size(), &deadline);
    }
    if (result == ReadResult::Done && header.loaded)
        result = readPixels(fd, header, image, deadline);
    if (result != ReadResult::Done)
        image.dropPixels();
    if (result == ReadResult::TimedOut) {
        helper.stop(true);
        return QStringLiteral("its decoder did not finish within %1 seconds.")
            .arg(timeLimitMs.load() / 1000.0);
    }
    if (result == ReadResult::Closed) {
        const QString why = helper.stop(false);
        return why.isEmpty() ? QStringLiteral("its loader stopped answering.") : why;
    }
    image.loadMessage = QString::fromUtf8(message);
    return {};
}

void LoaderAccess::receive(Helper& helper, const std::string& path, Image& image)
{
    QString why;
    if (path.size() <= MAX_PATH_BYTES && helper.ensureRunning(why)) {
        // A helper that ended while idle (killed from outside) is started
        // again rather than failing a picture it never saw.
        pollfd idle{helper.socket(), POLLIN, 0};
        if (::poll(&idle, 1, 0) > 0) {
            helper.stop(false);
            helper.ensureRunning(why);
        }
        if (why.isEmpty())
            why = exchange(helper, path, image);
    } else if (why.isEmpty())
        why = QStringLiteral("the file name is too long.");
    if (!why.isEmpty()) {
        image.dropPixels();
        image.loadMessage = QStringLiteral("The picture could not be decoded: %1").arg(why);
    }
}

namespace LoaderProcess {

bool isolates(int freeImageFormat)
{
    const auto format = FREE_IMAGE_FORMAT(freeImageFormat);
    if (inProcess.load(std::memory_order_relaxed))
        return false;
    return format != FIF_PNG && format != FIF_JPEG && !PictureHeaders::anymapFormat(format);
}

void load(const std::string& path, Image& image)
{
    std::unique_ptr<Helper> helper = pool().take();
    try {
        LoaderAccess::receive(*helper, path, image);
    } catch (const std::bad_alloc&) {
        // The reply is left half read: that helper cannot serve again.
        helper->stop(true);
        pool().giveBack(std::move(helper));
        throw;
    }
    pool().giveBack(std::move(helper));
}

void stopIdleHelpers()
{
    pool().stopIdle();
}

void setTimeLimit(double seconds)
{
    timeLimitMs.store(int(std::max(1.0, seconds * 1000.0)));
}

void setInProcess(bool decodesItself)
{
    inProcess.store(decodesItself);
}

int serve(int socket, std::uint64_t budgetBytes)
{
    setInProcess(true);
    MemoryBudget::setFixed(budgetBytes);
    // Room for the program and its libraries, and the decoders' working
    // memory, above the pictures' budget.
    // AddressSanitizer reserves terabytes of shadow address space and cannot
    // run under such a limit; its builds keep the memory budget alone.
#if defined(__SANITIZE_ADDRESS__)
    const std::uint64_t addressSpaceBytes = 0;
#else
    const std::uint64_t addressSpaceBytes = budgetBytes == 0 ? 0 : budgetBytes + (1ull << 30);
#endif
    // No core files of crashes.
    rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    if (addressSpaceBytes != 0) {
        rlimit limit{};
        ::getrlimit(RLIMIT_AS, &limit);
        if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > addressSpaceBytes)
            limit.rlim_max = addressSpaceBytes;
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_AS, &limit);
    }
    Image::initImage();
    for (;;) {
        std::uint32_t length = 0;
        if (readAll(socket, &length, sizeof length, nullptr) != ReadResult::Done ||
            length > MAX_PATH_BYTES)
            return 0;
        std::string path(length, '\0');
        if (readAll(socket, path.data(), length, nullptr) != ReadResult::Done)
            return 0;
        // Test hooks: a helper that never answers, one whose decoder crashes.
        if (const char* stall = std::getenv("TESSERA_LOADER_TEST_STALL"); stall && *stall == '1')
            ::pause();
        if (const char* crash = std::getenv("TESSERA_LOADER_TEST_CRASH"); crash && *crash == '1')
            std::abort();
        // Should the program that waits for this picture be gone, a decode
        // that never ends is stopped here too.
        ::alarm(BACKSTOP_SECONDS);
        const Image image(path);
        ::alarm(0);
        if (!LoaderAccess::send(socket, image))
            return 0;
    }
}

} // namespace LoaderProcess
