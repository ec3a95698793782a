#include "store/config_file_system.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes a finished rename durable by syncing the directory that holds the new name. Best
// effort: the file has been replaced either way, so a failure here is not reported.
void SyncDirectoryOf(const char* path) {
    char directory[PATH_MAX];
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        std::strcpy(directory, ".");
    } else {
        const std::size_t length = slash == path ? 1 : static_cast<std::size_t>(slash - path);
        if (length >= sizeof directory) {
            return;
        }
        std::memcpy(directory, path, length);
        directory[length] = '\0';
    }
    const int descriptor = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        fsync(descriptor);
        close(descriptor);
    }
}

} // namespace

// POSIX locks are advisory: nothing another program does makes a file busy for us, so a failure
// here is final.
std::FILE* SystemOpenRead(const char* path, OpenFailure* failure) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        *failure = errno == ENOENT ? OpenFailure::kMissing : OpenFailure::kRefused;
        return nullptr;
    }
    // A directory opens for reading here; it is not a file to load.
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(file);
        *failure = OpenFailure::kRefused;
        return nullptr;
    }
    *failure = OpenFailure::kNone;
    return file;
}

std::FILE* SystemCreateNew(const char* path, bool* taken) {
    constexpr mode_t kReadWriteForAll = 0666; // narrowed by the umask, as fopen's are
    const int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kReadWriteForAll);
    if (descriptor < 0) {
        *taken = errno == EEXIST;
        return nullptr;
    }
    *taken = false;
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        close(descriptor);
        unlink(path);
    }
    return file;
}

bool SystemFlush(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool SystemReplace(const char* from, const char* to, bool* busy) {
    *busy = false; // nothing holds a file here (see SystemOpenRead)
    if (std::rename(from, to) != 0) {
        return false;
    }
    SyncDirectoryOf(to);
    return true;
}

// unlink, not remove: remove would also take away an empty directory of that name.
bool SystemRemove(const char* path) {
    return unlink(path) == 0;
}

void SystemPause(unsigned milliseconds) {
    constexpr unsigned kMillisecondsPerSecond = 1000;
    constexpr long kNanosecondsPerMillisecond = 1000000;
    timespec delay = {static_cast<time_t>(milliseconds / kMillisecondsPerSecond),
                      static_cast<long>(milliseconds % kMillisecondsPerSecond) *
                          kNanosecondsPerMillisecond};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}
