#include "store/config_file_system.h"

#include "platform/win.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace {

// The program saves on one thread, one step at a time: the long buffers of the steps are shared.
WCHAR g_wide[kWidePathSize];
WCHAR g_wideTo[kWidePathSize];
WCHAR g_scratch[kWidePathSize];
char g_finalPath[kPathSize];
char g_folderPath[kPathSize];

// The temporary file of the save under way, held open, shared for deleting and renaming, until
// it is moved into place or removed: another copy of the program finds it open and leaves it
// alone, also between closing it and renaming it.
HANDLE g_tempHold = INVALID_HANDLE_VALUE;

void ReleaseTempHold() {
    if (g_tempHold != INVALID_HANDLE_VALUE) {
        CloseHandle(g_tempHold);
        g_tempHold = INVALID_HANDLE_VALUE;
    }
}

// Converts a UTF-8 path to UTF-16; false when it is not valid UTF-8 or does not fit.
bool WidePath(const char* path, WCHAR* out) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, out, kWidePathSize) != 0;
}

// The absolute form of a path. MoveFileExW is given absolute paths so that the outcome does not
// hang on how the system resolves a relative one; a relative path whose absolute form is too long
// for a path without "\\?\" stays relative, and a "\\?\" path stays as it is.
bool AbsolutePath(const char* path, WCHAR* out) {
    if (!WidePath(path, g_scratch)) {
        return false;
    }
    const DWORD length = GetFullPathNameW(g_scratch, kWidePathSize, out, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        lstrcpynW(out, g_scratch, kWidePathSize);
    }
    return true;
}

// A path that is no valid UTF-8 names no file the program uses.
FileStatus BadPath() {
    return {FileFailure::kOther, ERROR_PATH_NOT_FOUND};
}

// Why an open of path failed with openError. The attributes, which can be read while another
// program holds the file, tell a locked file from a folder.
FileStatus OpenFailure(const WCHAR* path, bool creating, DWORD openError) {
    const DWORD attributes = GetFileAttributesW(path);
    const DWORD attributesError = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
    return DecideOpenFailure(creating, openError, attributes, attributesError);
}

bool Move(const char* from, const char* to, DWORD flags, FileStatus* status) {
    if (!AbsolutePath(from, g_wide) || !AbsolutePath(to, g_wideTo)) {
        *status = BadPath();
        return false;
    }
    // Windows refuses to replace a read-only file, but Wine replaces it and drops the flag.
    const DWORD attributes = GetFileAttributesW(g_wideTo);
    if ((flags & MOVEFILE_REPLACE_EXISTING) != 0 && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        *status = {FileFailure::kReadOnly, ERROR_ACCESS_DENIED};
        return false;
    }
    if (MoveFileExW(g_wide, g_wideTo, flags | MOVEFILE_WRITE_THROUGH)) {
        ReleaseTempHold();
        *status = {};
        return true;
    }
    *status = DecideSystemFailure(GetLastError());
    return false;
}

// The final path of an open file or folder as the system gives it ("\\?\C:\..." or
// "\\?\UNC\..."), in out (kPathSize bytes); null when it cannot tell.
const char* FinalPath(HANDLE file, char* out) {
    const DWORD length = GetFinalPathNameByHandleW(file, g_scratch, kWidePathSize, 0);
    return length != 0 && length < kWidePathSize &&
                   WideCharToMultiByte(CP_UTF8, 0, g_scratch, -1, out, kPathSize, nullptr,
                                       nullptr) != 0
               ? out
               : nullptr;
}

// The final path of the folder that holds path (a wide path in g_wide), in g_folderPath.
const char* FolderFinalPath() {
    lstrcpynW(g_scratch, g_wide, kWidePathSize);
    WCHAR* cut = nullptr;
    for (WCHAR* c = g_scratch; *c != 0; ++c) {
        if (*c == L'\\' || *c == L'/') {
            cut = c;
        }
    }
    if (cut == nullptr) {
        g_scratch[0] = L'.';
        g_scratch[1] = L'\0';
    } else {
        cut[cut > g_scratch && cut[-1] == L':' ? 1 : 0] = L'\0'; // "C:\" stays the root
    }
    const HANDLE folder = CreateFileW(g_scratch, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const char* final = FinalPath(folder, g_folderPath);
    CloseHandle(folder);
    return final;
}

// Seconds from a file time to now; negative for a time ahead of the clock. FILETIME counts
// 100 ns. In floating point: a 64-bit division would bring in the runtime's, which the 32-bit
// program has no room for.
long long SecondsSince(const FILETIME& time) {
    constexpr double kTicksPerSecond = 1e7;
    FILETIME clock;
    GetSystemTimeAsFileTime(&clock);
    const ULARGE_INTEGER now = {{clock.dwLowDateTime, clock.dwHighDateTime}};
    const ULARGE_INTEGER then = {{time.dwLowDateTime, time.dwHighDateTime}};
    return static_cast<long long>(static_cast<long long>(now.QuadPart - then.QuadPart) /
                                  kTicksPerSecond);
}

// What the file layer tells of an open name: where it leads and its folder's final path.
void AddFinalPaths(HANDLE file, NameFacts* facts) {
    facts->finalPath = FinalPath(file, g_finalPath);
    facts->folderPath = FolderFinalPath();
}

} // namespace

std::FILE* SystemOpenRead(const char* path, FileStatus* status) {
    if (!WidePath(path, g_wide)) {
        *status = BadPath();
        return nullptr;
    }
    std::FILE* file = _wfopen(g_wide, L"rb");
    *status = file != nullptr ? FileStatus{} : OpenFailure(g_wide, false, _doserrno);
    return file;
}

// Created shared for deleting, so that the hold (g_tempHold) can be taken at once.
std::FILE* SystemCreateNew(const char* path, FileStatus* status) {
    if (!WidePath(path, g_wide)) {
        *status = BadPath();
        return nullptr;
    }
    const HANDLE file = CreateFileW(g_wide, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *status = OpenFailure(g_wide, true, GetLastError());
        return nullptr;
    }
    ReleaseTempHold();
    g_tempHold = CreateFileW(g_wide, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    std::FILE* stream = descriptor == -1 ? nullptr : _wfdopen(descriptor, L"wb");
    if (stream == nullptr) {
        *status = SystemStreamFailure();
        if (descriptor == -1) {
            CloseHandle(file);
        } else {
            _close(descriptor);
        }
        DeleteFileW(g_wide);
        ReleaseTempHold();
        return nullptr;
    }
    *status = {};
    return stream;
}

// _commit runs FlushFileBuffers on the stream's handle.
bool SystemFlush(std::FILE* file, FileStatus* status) {
    const bool flushed = std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
    *status = flushed ? FileStatus{} : SystemStreamFailure();
    return flushed;
}

// MoveFileExW with MOVEFILE_REPLACE_EXISTING swaps the names in one step. ReplaceFileW would keep
// the old file's attributes, but under Wine it is a copy and delete, not one step.
bool SystemReplace(const char* from, const char* to, FileStatus* status) {
    return Move(from, to, MOVEFILE_REPLACE_EXISTING, status);
}

// Without MOVEFILE_REPLACE_EXISTING, MoveFileExW fails when the name is taken.
bool SystemPlace(const char* from, const char* to, FileStatus* status) {
    return Move(from, to, 0, status);
}

// Removes a save's temporary file; a file that is held goes when the hold is let go.
bool SystemRemove(const char* path) {
    const bool removed = WidePath(path, g_wide) && DeleteFileW(g_wide) != 0;
    ReleaseTempHold();
    return removed;
}

// The name's own entry tells a symbolic link (its reparse tag; other reparse points, such as a
// cloud file's, are plain files). Wine tells no link so, only by where opening the name leads.
void SystemExamine(const char* path, NameFacts* facts) {
    if (!WidePath(path, g_wide)) {
        return;
    }
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(g_wide, &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        facts->exists = true;
        facts->isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                        found.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
    } else {
        // Wine answers so for a link that leads nowhere or round in a loop, which it lists
        // under no name; a name that nothing has is ERROR_FILE_NOT_FOUND.
        facts->exists = GetLastError() == ERROR_NO_MORE_FILES;
    }
    const HANDLE file = CreateFileW(g_wide, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        facts->followed = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                              ? Followed::kMissing
                          : error == ERROR_CANT_RESOLVE_FILENAME ? Followed::kLoop
                                                                 : Followed::kOther;
        return;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool folder = GetFileInformationByHandle(file, &info) &&
                        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts->followed = folder ? Followed::kFolder : Followed::kFile;
    AddFinalPaths(file, facts);
    CloseHandle(file);
}

// Opened without sharing, so that it opens only while no other program has it open, and
// without following a link (FILE_FLAG_OPEN_REPARSE_POINT; Wine follows all the same, and the
// final path tells). Removed through that same handle.
bool SystemRemoveStale(const char* path) {
    if (!WidePath(path, g_wide)) {
        return false;
    }
    LeftoverFacts facts;
    BY_HANDLE_FILE_INFORMATION info;
    const HANDLE file =
        CreateFileW(g_wide, DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        facts.name.exists = facts.openElsewhere = GetLastError() == ERROR_SHARING_VIOLATION;
    } else if (GetFileInformationByHandle(file, &info)) {
        facts.name.exists = true;
        facts.name.followed = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                                  ? Followed::kFolder
                                  : Followed::kFile;
        AddFinalPaths(file, &facts.name);
        facts.reparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        facts.links = info.nNumberOfLinks;
        facts.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        facts.secondsSinceWrite = SecondsSince(info.ftLastWriteTime);
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    const bool removed = DecideLeftoverRemoval(path, facts) &&
                         SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                                    sizeof disposition) != 0;
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return removed;
}

void SystemPause(unsigned milliseconds) {
    Sleep(milliseconds);
}

// The C runtime keeps the system's error of its latest failed call in _doserrno, except for a
// write cut short by a full disk, which it reports as ENOSPC alone.
FileStatus SystemStreamFailure() {
    if (errno == ENOSPC) {
        return {FileFailure::kDiskFull, ERROR_DISK_FULL};
    }
    return DecideSystemFailure(_doserrno);
}
