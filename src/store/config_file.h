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
    kMissing,      // nothing of that name exists
    kBusy,         // another program holds it for the moment (sharing or lock violation, denied)
    kTaken,        // creating: something of that name exists already
    kReadOnly,     // the file is marked read-only and is not replaced
    kFolderDenied, // the folder cannot be written in
    kDiskFull,
    kOther, // anything else: a directory of that name, no permission to read, ...
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
// there, a full disk.
FileStatus DecideSystemFailure(DWORD error);
