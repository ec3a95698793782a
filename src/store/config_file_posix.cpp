#include "store/config_file_system.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
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

// Why a call that set errno failed. Writing, a missing name can only be the folder.
FileStatus FailureOf(int error) {
    switch (error) {
    case ENOENT:
        return {FileFailure::kFolderMissing, static_cast<unsigned long>(error)};
    case EEXIST:
        return {FileFailure::kTaken, static_cast<unsigned long>(error)};
    case EACCES:
    case EPERM:
    case EROFS:
        return {FileFailure::kFolderDenied, static_cast<unsigned long>(error)};
    case ENOSPC:
    case EDQUOT:
        return {FileFailure::kDiskFull, static_cast<unsigned long>(error)};
    default:
        return {FileFailure::kOther, static_cast<unsigned long>(error)};
    }
}

} // namespace

// POSIX locks are advisory: nothing another program does makes a file busy for us, so a failure
// here is final.
std::FILE* SystemOpenRead(const char* path, FileStatus* status) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        // A file that is there but will not open says nothing about writing in the folder.
        const int error = errno;
        const FileFailure failure = error == ENOENT   ? FileFailure::kMissing
                                    : error == EACCES ? FileFailure::kReadDenied
                                    : error == ELOOP  ? FileFailure::kLinkLoop
                                                      : FileFailure::kOther;
        *status = {failure, static_cast<unsigned long>(error)};
        return nullptr;
    }
    // A directory opens for reading here; it is not a file to load.
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(file);
        *status = {FileFailure::kFolder, EISDIR};
        return nullptr;
    }
    *status = {};
    return file;
}

std::FILE* SystemCreateNew(const char* path, FileStatus* status) {
    constexpr mode_t kReadWriteForAll = 0666; // narrowed by the umask, as fopen's are
    const int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kReadWriteForAll);
    if (descriptor < 0) {
        *status = FailureOf(errno);
        return nullptr;
    }
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        *status = FailureOf(errno);
        close(descriptor);
        unlink(path);
        return nullptr;
    }
    *status = {};
    return file;
}

bool SystemFlush(std::FILE* file, FileStatus* status) {
    const bool flushed = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    *status = flushed ? FileStatus{} : FailureOf(errno);
    return flushed;
}

// A file without any write bit is read-only. Its mode tells, not access(), which root passes
// whatever the bits say.
bool SystemReplace(const char* from, const char* to, FileStatus* status) {
    struct stat info;
    if (stat(to, &info) == 0 && !S_ISDIR(info.st_mode) &&
        (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        *status = {FileFailure::kReadOnly, EACCES};
        return false;
    }
    if (std::rename(from, to) != 0) {
        *status = FailureOf(errno);
        return false;
    }
    SyncDirectoryOf(to);
    *status = {};
    return true;
}

// A new link fails when the name is taken; then the temporary name goes.
bool SystemPlace(const char* from, const char* to, FileStatus* status) {
    if (link(from, to) != 0) {
        *status = FailureOf(errno);
        return false;
    }
    unlink(from);
    SyncDirectoryOf(to);
    *status = {};
    return true;
}

// unlink, not remove: remove would also take away an empty directory of that name.
bool SystemRemove(const char* path) {
    return unlink(path) == 0;
}

// lstat tells a symbolic link, so no final paths are compared. Only a symbolic link is followed:
// a hard link is one file under two names, which a rename over one of them cannot keep.
void SystemExamine(const char* path, NameFacts* facts) {
    static char target[PATH_MAX];
    struct stat info;
    facts->exists = lstat(path, &info) == 0;
    facts->isLink = facts->exists && S_ISLNK(info.st_mode);
    if (stat(path, &info) != 0) {
        facts->followed = errno == ENOENT  ? Followed::kMissing
                          : errno == ELOOP ? Followed::kLoop
                                           : Followed::kOther;
        return;
    }
    facts->followed = S_ISDIR(info.st_mode) ? Followed::kFolder : Followed::kFile;
    if (facts->isLink && realpath(path, target) != nullptr) {
        facts->finalPath = target;
    }
}

// Opened without following a link (O_NOFOLLOW answers ELOOP for one). POSIX cannot tell whether
// another program has the file open, nor remove an open file: the name goes only while it still
// names the file that was examined.
bool SystemRemoveStale(const char* path) {
    LeftoverFacts facts;
    struct stat info = {};
    const int descriptor = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        facts.name.exists = facts.name.isLink = errno == ELOOP;
    } else if (fstat(descriptor, &info) == 0) {
        facts.name.exists = true;
        facts.name.followed = S_ISREG(info.st_mode)   ? Followed::kFile
                              : S_ISDIR(info.st_mode) ? Followed::kFolder
                                                      : Followed::kOther;
        facts.links = info.st_nlink;
        facts.readOnly = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        facts.secondsSinceWrite = std::time(nullptr) - info.st_mtime;
    }
    struct stat now;
    const bool removed = DecideLeftoverRemoval(path, facts) && lstat(path, &now) == 0 &&
                         now.st_dev == info.st_dev && now.st_ino == info.st_ino &&
                         unlink(path) == 0;
    if (descriptor >= 0) {
        close(descriptor);
    }
    return removed;
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

FileStatus SystemStreamFailure() {
    return FailureOf(errno);
}
