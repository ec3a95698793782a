// The few file operations the key configuration store needs, as a table of functions. The
// table starts out with the operating system's own; the tests swap single entries to make one
// step fail, and the fuzz target swaps them all for files held in memory.
#pragma once

#include <cstddef>
#include <cstdio>

// Why a file did not open for reading.
enum class OpenFailure {
    kNone,
    kMissing, // nothing of that name exists
    kBusy,    // another program holds it for the moment (sharing or lock violation, denied)
    kRefused, // it is there but is not a file that can be read (a directory, no permission, ...)
};

// A file that another program holds is tried this many times, this far apart, before it counts
// as unreadable or unwritable: a virus scanner, the search indexer or the game itself may hold it
// for a moment.
constexpr int kBusyAttempts = 5;
constexpr unsigned kBusyRetryDelayMs = 40;

struct ConfigFileOps {
    // Opens an existing file for binary reading; on failure *failure tells why.
    std::FILE* (*openRead)(const char* path, OpenFailure* failure);
    // Creates a new file for binary writing. Fails when anything of that name exists already,
    // and *taken then says so.
    std::FILE* (*createNew)(const char* path, bool* taken);
    // Reads up to size bytes; *count gets how many came. False on a read error.
    bool (*read)(std::FILE* file, void* buffer, std::size_t size, std::size_t* count);
    // Writes all size bytes; false when not all of them went out.
    bool (*write)(std::FILE* file, const void* data, std::size_t size);
    // Pushes what was written through the library's and the system's caches to the disk.
    bool (*flush)(std::FILE* file);
    bool (*close)(std::FILE* file);
    // Puts the file from in the place of the file to, in one step: a reader sees either the
    // old file or the new one, never a mixture or nothing. On failure *busy says whether another
    // program held one of them.
    bool (*replace)(const char* from, const char* to, bool* busy);
    bool (*remove)(const char* path);
    // Waits before the next try at a busy file.
    void (*pause)(unsigned milliseconds);
};

// The operations in use.
extern ConfigFileOps g_configFileOps;

// The operating system's operations, which g_configFileOps holds at start.
ConfigFileOps SystemConfigFileOps();
