// The few file operations the key configuration store needs, as a table of functions. The
// table starts out with the operating system's own; the tests swap single entries to make one
// step fail, and the fuzz target swaps them all for files held in memory.
#pragma once

#include <cstddef>
#include <cstdio>

struct ConfigFileOps {
    // Opens an existing file for binary reading. On failure *missing tells whether the file does
    // not exist at all, as against existing but refusing to open (locked, no permission, ...).
    std::FILE* (*openRead)(const char* path, bool* missing);
    // Creates or truncates a file for binary writing.
    std::FILE* (*openWrite)(const char* path);
    // Reads up to size bytes; *count gets how many came. False on a read error.
    bool (*read)(std::FILE* file, void* buffer, std::size_t size, std::size_t* count);
    // Writes all size bytes; false when not all of them went out.
    bool (*write)(std::FILE* file, const void* data, std::size_t size);
    // Pushes what was written through the library's and the system's caches to the disk.
    bool (*flush)(std::FILE* file);
    bool (*close)(std::FILE* file);
    // Puts the file from in the place of the file to, in one step: a reader sees either the
    // old file or the new one, never a mixture or nothing.
    bool (*replace)(const char* from, const char* to);
    bool (*remove)(const char* path);
};

// The operations in use.
extern ConfigFileOps g_configFileOps;

// The operating system's operations, which g_configFileOps holds at start.
ConfigFileOps SystemConfigFileOps();
