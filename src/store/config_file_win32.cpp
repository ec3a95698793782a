#include "store/config_file_system.h"

#include "platform/win.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace {

// Converts a UTF-8 path to UTF-16; false when it is not valid UTF-8 or does not fit.
bool WidePath(const char* path, WCHAR (&out)[MAX_PATH]) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, out, MAX_PATH) != 0;
}

// The absolute form of a path. MoveFileExW is given absolute paths so that the outcome does not
// hang on how the system resolves a relative one; a path too long for that stays relative.
bool AbsolutePath(const char* path, WCHAR (&out)[MAX_PATH]) {
    WCHAR wide[MAX_PATH];
    if (!WidePath(path, wide)) {
        return false;
    }
    const DWORD length = GetFullPathNameW(wide, MAX_PATH, out, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        for (int i = 0; i < MAX_PATH; ++i) {
            out[i] = wide[i];
        }
    }
    return true;
}

// What Windows answers while another program holds a file: opened without sharing, a range
// locked, or a delete pending.
bool IsBusyError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

} // namespace

std::FILE* SystemOpenRead(const char* path, OpenFailure* failure) {
    *failure = OpenFailure::kRefused;
    WCHAR wide[MAX_PATH];
    if (!WidePath(path, wide)) {
        return nullptr;
    }
    std::FILE* file = _wfopen(wide, L"rb");
    if (file != nullptr) {
        *failure = OpenFailure::kNone;
        return file;
    }
    // errno folds a locked file and a directory into EACCES. The system's own error, kept in
    // _doserrno, and the attributes, which can be read while another program holds the file,
    // tell them apart.
    const DWORD error = _doserrno;
    const DWORD attributes = GetFileAttributesW(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD attributesError = GetLastError();
        if (attributesError == ERROR_FILE_NOT_FOUND || attributesError == ERROR_PATH_NOT_FOUND) {
            *failure = OpenFailure::kMissing;
        }
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsBusyError(error)) {
        *failure = OpenFailure::kBusy;
    }
    return nullptr;
}

std::FILE* SystemCreateNew(const char* path, bool* taken) {
    *taken = false;
    WCHAR wide[MAX_PATH];
    if (!WidePath(path, wide)) {
        return nullptr;
    }
    const int descriptor =
        _wopen(wide, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor == -1) {
        // Anything of that name takes it: a file, read-only or not, or a folder.
        *taken = GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
        return nullptr;
    }
    std::FILE* file = _wfdopen(descriptor, L"wb");
    if (file == nullptr) {
        _close(descriptor);
        DeleteFileW(wide);
    }
    return file;
}

// _commit runs FlushFileBuffers on the stream's handle.
bool SystemFlush(std::FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

// MoveFileExW with MOVEFILE_REPLACE_EXISTING swaps the names in one step. ReplaceFileW would keep
// the old file's attributes, but under Wine it is a copy and delete, not one step.
bool SystemReplace(const char* from, const char* to, bool* busy) {
    *busy = false;
    WCHAR wideFrom[MAX_PATH];
    WCHAR wideTo[MAX_PATH];
    if (!AbsolutePath(from, wideFrom) || !AbsolutePath(to, wideTo)) {
        return false;
    }
    if (MoveFileExW(wideFrom, wideTo, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    *busy = IsBusyError(GetLastError());
    return false;
}

bool SystemRemove(const char* path) {
    WCHAR wide[MAX_PATH];
    return WidePath(path, wide) && DeleteFileW(wide) != 0;
}

void SystemPause(unsigned milliseconds) {
    Sleep(milliseconds);
}
