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
    kReadDenied, // the file is there, but the player may not read it
    kFolder,     // a folder, or a link to one, where the file should be
    kLinkLoop,   // links that lead round to each other and never to a file
    kLinkBroken, // a link whose file is missing (a shared drive not mounted, the file moved)
    kOther,      // anything else
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

// The longest path Windows takes, in UTF-16 units with its terminating NUL ("\\?\" paths,
// "Maximum Path Length Limitation" in the Windows documentation).
constexpr std::size_t kWidePathSize = 32768;
// Room for any such path as UTF-8 (at most three bytes a unit), terminating NUL included.
constexpr std::size_t kPathSize = 3 * kWidePathSize;

// A save's temporary file that nothing has written for this long was left by one that never
// ended (the program killed or the machine stopped during a save); a save takes milliseconds.
constexpr long long kStaleTempSeconds = 60;

// What opening a name finds when links are followed.
enum class Followed { kFile, kFolder, kMissing, kLoop, kOther };

// What the system tells of a name and of what it leads to, gathered by the file layer for the
// decisions below.
struct NameFacts {
    bool exists = false; // something has the name, even a link that leads nowhere
    bool isLink = false; // the name is a symbolic link (Windows: IO_REPARSE_TAG_SYMLINK)
    Followed followed = Followed::kOther;
    // Where the system tells a link only by where the name leads (Wine), the final path of
    // what it opened and of the folder that holds the name, both as the system gives them
    // (GetFinalPathNameByHandleW: "\\?\C:\..." or "\\?\UNC\server\..."); null when
    // isLink tells already (POSIX).
    const char* finalPath = nullptr;
    const char* folderPath = nullptr;
};

// A leftover temporary file as the file layer finds it, opened without following links.
struct LeftoverFacts {
    NameFacts name;
    bool reparsePoint = false;  // any reparse point (Windows), a link or not
    unsigned long links = 0;    // names of the file (hard links)
    bool readOnly = false;      // FILE_ATTRIBUTE_READONLY, or no write bit in the mode
    bool openElsewhere = false; // another program has it open (Windows tells, POSIX cannot)
    long long secondsSinceWrite = 0;
};

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
    // Gathers what the system tells of path and of what it leads to.
    void (*examine)(const char* path, NameFacts* facts);
    // Removes path when DecideLeftoverRemoval says that it is a leftover of ours, through the
    // handle it was examined by. Returns whether it was removed.
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

// Which file a load or save of path edits, written to out (size bytes): path itself, or the
// file a symbolic link there finally leads to, so that a save replaces that file and the link
// stays. A link that leads nowhere or round in a loop is kept and reported: the result says why.
FileStatus DecideEditedFile(const char* path, const NameFacts& facts, char* out, std::size_t size);

// Whether a leftover temporary file is ours to remove: a file of one name, no link nor other
// reparse point, not read-only, that no save is writing (open in no other program and not
// written for kStaleTempSeconds).
bool DecideLeftoverRemoval(const char* path, const LeftoverFacts& facts);

// A final path as the player reads it, made in the path's own text: without the "\\?\" that
// lets Windows take any length, a share's "\\?\UNC\server" as "\\server".
const char* ShownPath(char* path);

// Which warning the path line gives for the working directory folder: in the Windows folder
// (where a program without a working directory of its own starts) or in one of the temporary
// folders (where a ZIP is unpacked to run a program from it, and the game never looks). All are
// final paths (GetFinalPathNameByHandleW), empty when unknown; Windows compares names ignoring
// case.
enum class FolderWarning { kNone, kWindowsFolder, kTemporaryFolder };
FolderWarning DecideFolderWarning(const WCHAR* folder, const WCHAR* windowsFolder,
                                  const WCHAR* const* temporaryFolders, int count);

// What a failed write, flush or MoveFileExW means on Windows, from the system's error: busy while
// another program holds a file (retried), kTaken when placing without replacing found a file
// there, a full disk, a folder that is gone.
FileStatus DecideSystemFailure(DWORD error);
