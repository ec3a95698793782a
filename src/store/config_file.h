// The few file operations the key configuration store needs, as a table of functions. The
// table starts out with the operating system's own; the tests swap single entries to make one
// step fail, and the fuzz target swaps them all for files held in memory.
#pragma once

#include "platform/win.h"

#include <cstddef>
#include <cstdio>

// Why a file operation failed, as far as it tells the player what to do.
enum class FileFailure {
    kNone,
    kMissing,       // nothing of that name exists
    kBusy,          // another program holds it for the moment (sharing or lock violation, denied)
    kTaken,         // creating: something of that name exists already
    kReadOnly,      // the file is marked read-only and is not replaced
    kFolderDenied,  // the folder cannot be written in
    kFolderMissing, // the folder is gone: renamed or removed while the program ran
    kDiskFull,
    kNoTempName, // every name a save can write its new file under is taken
    kOther,      // anything else: a directory of that name, no permission to read, ...
};

struct FileStatus {
    FileFailure failure = FileFailure::kNone;
    unsigned long error = 0; // the system's error number (GetLastError, errno), 0 when none
};

// A file that another program holds is tried this many times, this far apart, before it counts
// as unreadable or unwritable: a virus scanner, the search indexer or the game itself may hold it
// for a moment.
constexpr int kBusyAttempts = 5;
constexpr unsigned kBusyRetryDelayMs = 40;

// Room for a path as UTF-8, terminating NUL included: every Windows path of MAX_PATH characters
// fits, with the suffix of a temporary name.
constexpr std::size_t kPathSize = 1024;

// Where the system cannot tell whether a program has a file open (POSIX), a save's temporary
// file that nothing has written for this long was left by one that never ended (the program
// killed or the machine stopped during a save); a save takes milliseconds.
constexpr unsigned kStaleTempSeconds = 60;

// Every operation that can fail says why in *status (kNone on success).
struct ConfigFileOps {
    // Opens an existing file for binary reading.
    std::FILE* (*openRead)(const char* path, FileStatus* status);
    // Creates a new file for binary writing; kTaken when anything of that name exists already.
    std::FILE* (*createNew)(const char* path, FileStatus* status);
    // Reads up to size bytes; *count gets how many came. False on a read error.
    bool (*read)(std::FILE* file, void* buffer, std::size_t size, std::size_t* count,
                 FileStatus* status);
    // Writes all size bytes; false when not all of them went out.
    bool (*write)(std::FILE* file, const void* data, std::size_t size, FileStatus* status);
    // Pushes what was written through the library's and the system's caches to the disk.
    bool (*flush)(std::FILE* file, FileStatus* status);
    bool (*close)(std::FILE* file, FileStatus* status);
    // Puts the file from in the place of the file to, in one step: a reader sees either the
    // old file or the new one, never a mixture or nothing. A read-only file to is not replaced.
    bool (*replace)(const char* from, const char* to, FileStatus* status);
    // Puts the file from at the name to only if nothing has that name (kTaken otherwise), in one
    // step: a file that arrived meanwhile is never replaced.
    bool (*place)(const char* from, const char* to, FileStatus* status);
    bool (*remove)(const char* path);
    // When path is a link to a file elsewhere (a symbolic link, or a folder on the way that is
    // one), writes to out (size bytes) the path of the file it finally names, so that a save
    // replaces that file and keeps the link, and returns true. False, with out left alone, when
    // it is no such link, names nothing, or the final path does not fit.
    bool (*resolve)(const char* path, char* out, std::size_t size);
    // Removes path when it is a file that no save is writing: one that no program has open
    // (Windows), or that nothing has written for kStaleTempSeconds (POSIX, which cannot tell).
    // Folders and read-only files are left alone. Returns whether it was removed.
    bool (*removeStale)(const char* path);
    // Waits before the next try at a busy file.
    void (*pause)(unsigned milliseconds);
};

// The operations in use.
extern ConfigFileOps g_configFileOps;

// The operating system's operations, which g_configFileOps holds at start.
ConfigFileOps SystemConfigFileOps();

// What a failed open means on Windows, decided from the open's error and what
// GetFileAttributesW answered for the name afterwards: its attributes, or
// INVALID_FILE_ATTRIBUTES and then attributesError. creating: the open was an exclusive create.
// A file whose deletion is pending (a save's temporary file still held by a scanner, say) has no
// attributes and answers ERROR_ACCESS_DENIED: busy when reading, a taken name when creating.
FileStatus DecideOpenFailure(bool creating, DWORD openError, DWORD attributes,
                             DWORD attributesError);

// What a failed write, flush or MoveFileExW means on Windows, from the system's error: busy while
// another program holds a file (retried), kTaken when placing without replacing found a file
// there, a full disk, a folder that is gone.
FileStatus DecideSystemFailure(DWORD error);
