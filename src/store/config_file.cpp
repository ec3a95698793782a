#include "store/config_file.h"

#include "store/config_file_system.h"

#include <cstring>

namespace {

// Sets *status to success, or to the C library's failure when ok is false; returns ok.
bool Report(bool ok, FileStatus* status) {
    *status = ok ? FileStatus{} : SystemStreamFailure();
    return ok;
}

bool StreamRead(std::FILE* file, void* buffer, std::size_t size, std::size_t* count,
                FileStatus* status) {
    *count = std::fread(buffer, 1, size, file);
    return Report(std::ferror(file) == 0, status);
}

bool StreamWrite(std::FILE* file, const void* data, std::size_t size, FileStatus* status) {
    return Report(std::fwrite(data, 1, size, file) == size, status);
}

bool StreamClose(std::FILE* file, FileStatus* status) {
    return Report(std::fclose(file) == 0, status);
}

constexpr ConfigFileOps kSystemOps = {
    SystemOpenRead, SystemCreateNew, StreamRead,   StreamWrite,   SystemFlush,       StreamClose,
    SystemReplace,  SystemPlace,     SystemRemove, SystemExamine, SystemRemoveStale, SystemPause,
};

bool IsHeldError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Windows compares names ignoring the case of their letters.
template <typename Char> Char Folded(Char c) {
    return c >= 'a' && c <= 'z' ? static_cast<Char>(c - 'a' + 'A') : c;
}

template <typename Char> bool IsSeparator(Char c) {
    return c == '\\' || c == '/';
}

// Whether path starts with folder, ignoring case; *rest gets what follows it.
template <typename Char> bool StartsWith(const Char* path, const Char* folder, const Char** rest) {
    for (; *folder != 0; ++path, ++folder) {
        if (Folded(*path) != Folded(*folder)) {
            return false;
        }
    }
    *rest = path;
    return true;
}

// Whether path is folder or lies inside it, both final paths: "C:\Windows2" is not inside
// "C:\Windows", and a root ("\\?\C:\") ends with its separator.
bool IsInside(const WCHAR* path, const WCHAR* folder) {
    const WCHAR* rest = nullptr;
    return *folder != 0 && StartsWith(path, folder, &rest) &&
           (*rest == 0 || IsSeparator(*rest) || IsSeparator(rest[-1]));
}

// The last part of a path: the name in its folder.
const char* LastPart(const char* path) {
    const char* name = path;
    for (const char* c = path; *c != 0; ++c) {
        if (IsSeparator(*c)) {
            name = c + 1;
        }
    }
    return name;
}

// Whether the name leads to another file than the one of that name in its folder: it is a link,
// or where the system tells no link (Wine), the file it opened lies elsewhere. Both final paths
// are the system's own, so short names, SUBST drives and case differences in the name the
// program was started with never make a plain file look like a link.
bool LeadsElsewhere(const char* path, const NameFacts& facts) {
    if (facts.isLink) {
        return true;
    }
    if (facts.finalPath == nullptr || facts.folderPath == nullptr) {
        return false;
    }
    const char* rest = nullptr;
    if (!StartsWith(facts.finalPath, facts.folderPath, &rest)) {
        return true;
    }
    rest += IsSeparator(*rest) ? 1 : 0; // a root ("\\?\C:\") ends with its separator already
    return !StartsWith(rest, LastPart(path), &rest) || *rest != 0;
}

} // namespace

ConfigFileOps g_configFileOps = kSystemOps;

ConfigFileOps SystemConfigFileOps() {
    return kSystemOps;
}

FileStatus DecideOpenFailure(bool creating, DWORD openError, DWORD attributes,
                             DWORD attributesError) {
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    const bool deletePending = !exists && attributesError == ERROR_ACCESS_DENIED;
    if (creating) {
        // Anything of that name takes it: a file, read-only or not, a folder, or a file on its
        // way out.
        if (exists || deletePending || openError == ERROR_FILE_EXISTS ||
            openError == ERROR_ALREADY_EXISTS) {
            return {FileFailure::kTaken, openError};
        }
        if (openError == ERROR_ACCESS_DENIED) {
            return {FileFailure::kFolderDenied, openError};
        }
        return DecideSystemFailure(openError);
    }
    if (!exists) {
        if (attributesError == ERROR_FILE_NOT_FOUND || attributesError == ERROR_PATH_NOT_FOUND) {
            return {FileFailure::kMissing, attributesError};
        }
        return {deletePending ? FileFailure::kBusy : FileFailure::kOther, attributesError};
    }
    // A folder of that name is no file to read, whatever the open said. Another program's hold
    // is a sharing or lock violation; access denied on a file that is there is the player's
    // permissions.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {FileFailure::kFolder, openError};
    }
    if (IsHeldError(openError)) {
        return {FileFailure::kBusy, openError};
    }
    return {openError == ERROR_ACCESS_DENIED ? FileFailure::kReadDenied : FileFailure::kOther,
            openError};
}

FileStatus DecideEditedFile(const char* path, const NameFacts& facts, char* out, std::size_t size) {
    const char* edited = path;
    FileStatus status;
    if (facts.exists && facts.followed == Followed::kMissing) {
        status = {FileFailure::kLinkBroken, ERROR_FILE_NOT_FOUND};
    } else if (facts.exists && facts.followed == Followed::kLoop) {
        status = {FileFailure::kLinkLoop, ERROR_CANT_RESOLVE_FILENAME};
    } else if (facts.exists &&
               (facts.followed == Followed::kFile || facts.followed == Followed::kFolder) &&
               LeadsElsewhere(path, facts)) {
        edited = facts.finalPath;
    }
    // A link is never replaced by a file: one whose final path the system does not give (a
    // redirector that does not support it) or that does not fit is not edited at all.
    if (edited == nullptr || std::strlen(edited) >= size) {
        status.failure = FileFailure::kOther;
        status.error = edited == nullptr ? ERROR_NOT_SUPPORTED : ERROR_FILENAME_EXCED_RANGE;
        edited = path;
    }
    std::memcpy(out, edited, std::strlen(edited) + 1);
    return status;
}

bool DecideLeftoverRemoval(const char* path, const LeftoverFacts& facts) {
    return facts.name.exists && facts.name.followed == Followed::kFile &&
           !LeadsElsewhere(path, facts.name) && !facts.reparsePoint && facts.links == 1 &&
           !facts.readOnly && !facts.openElsewhere && facts.secondsSinceWrite >= kStaleTempSeconds;
}

const char* ShownPath(char* path) {
    const char* rest = nullptr;
    if (StartsWith(path, "\\\\?\\UNC\\", &rest)) {
        path[6] = '\\'; // its "C\" becomes "\\": "\\?\UNC\server" reads "\\server"
        return path + 6;
    }
    return StartsWith(path, "\\\\?\\", &rest) ? rest : path;
}

FolderWarning DecideFolderWarning(const WCHAR* folder, const WCHAR* windowsFolder,
                                  const WCHAR* const* temporaryFolders, int count) {
    if (IsInside(folder, windowsFolder)) {
        return FolderWarning::kWindowsFolder;
    }
    for (int i = 0; i < count; ++i) {
        if (IsInside(folder, temporaryFolders[i])) {
            return FolderWarning::kTemporaryFolder;
        }
    }
    return FolderWarning::kNone;
}

FileStatus DecideSystemFailure(DWORD error) {
    if (IsHeldError(error) || error == ERROR_ACCESS_DENIED) {
        return {FileFailure::kBusy, error};
    }
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
        return {FileFailure::kTaken, error};
    }
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
        return {FileFailure::kDiskFull, error};
    }
    if (error == ERROR_PATH_NOT_FOUND) {
        return {FileFailure::kFolderMissing, error};
    }
    return {FileFailure::kOther, error};
}
