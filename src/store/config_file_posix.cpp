#include "store/config_file_system.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
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

std::FILE* SystemOpenRead(const char* path, bool* missing) {
    std::FILE* file = std::fopen(path, "rb");
    *missing = file == nullptr && errno == ENOENT;
    return file;
}

std::FILE* SystemOpenWrite(const char* path) {
    return std::fopen(path, "wb");
}

bool SystemFlush(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool SystemReplace(const char* from, const char* to) {
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
