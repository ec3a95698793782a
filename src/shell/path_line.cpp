#include "shell/path_line.h"

#include "resources/resource.h"
#include "store/key_config.h"

namespace {

// The path line: its prefix, a path as long as Windows allows one, a backslash and the file name.
constexpr DWORD kFileNameRoom = 1 + sizeof kConfigFileName;
constexpr DWORD kPathLineSize = 16 + 32768 + kFileNameRoom;

// Whether the working directory is the Windows folder or a temporary one: the path line warns.
bool g_pathWarns = false;

// The final path of a folder ("\\?\C:\..."), in which short names, SUBST drives and links
// are resolved: the form in which folders are compared. Empty when it cannot be opened.
void FindFinalFolder(const WCHAR* folder, WCHAR (&out)[kWidePathSize]) {
    out[0] = L'\0';
    const HANDLE handle = CreateFileW(folder, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        GetFinalPathNameByHandleW(handle, out, kWidePathSize, 0); // any path fits
        CloseHandle(handle);
    }
}

// Which warning the path line gives for the working directory (DecideFolderWarning). A program
// started without a working directory of its own runs in the Windows folder: from a shortcut
// whose "Start in" is empty, or under Wine from a game folder whose path is too long to be one.
// One started from inside its ZIP runs in a temporary folder: the user's (GetTempPathW), or under
// Wine the Unix one, /tmp, where file managers unpack, which "\\?\unix\" names there (and
// nothing on Windows).
FolderWarning WarningFor() {
    static WCHAR folders[4][kWidePathSize]; // the working directory, Windows's, the temporary ones
    static WCHAR name[MAX_PATH + 1];
    FindFinalFolder(L".", folders[0]);
    GetWindowsDirectoryW(name, MAX_PATH + 1); // never longer than MAX_PATH
    FindFinalFolder(name, folders[1]);
    if (GetTempPathW(MAX_PATH + 1, name) <= MAX_PATH) {
        FindFinalFolder(name, folders[2]);
    }
    FindFinalFolder(L"\\\\?\\unix\\tmp", folders[3]);
    const WCHAR* const temporary[] = {folders[2], folders[3]};
    return DecideFolderWarning(folders[0], folders[1], temporary, 2);
}

} // namespace

void ShowConfigPath(HWND dialog) {
    static WCHAR text[kPathLineSize];
    static WCHAR path[kPathLineSize];
    static char edited[kPathSize];
    const DWORD room = kPathLineSize - kFileNameRoom;
    const DWORD length = GetCurrentDirectoryW(room, path);
    if (length == 0 || length >= room) {
        return; // no line rather than a wrong one
    }
    const FolderWarning warning = WarningFor();
    g_pathWarns = warning != FolderWarning::kNone;
    // A file elsewhere has a final path ("\\?\..."); config.ini itself is in the folder.
    FindEditedFile(edited, sizeof edited);
    if (edited[0] == '\\') {
        MultiByteToWideChar(CP_UTF8, 0, ShownPath(edited), -1, path, kPathLineSize);
    } else {
        WCHAR* end = path + length;
        if (end[-1] != L'\\') {
            *end++ = L'\\';
        }
        MultiByteToWideChar(CP_UTF8, 0, kConfigFileName, -1, end, kFileNameRoom);
    }
    const char* prefix =
        warning == FolderWarning::kWindowsFolder     ? "保存先がWindowsフォルダーです: "
        : warning == FolderWarning::kTemporaryFolder ? "保存先が一時フォルダーです: "
                                                     : "保存先: ";
    const int written = MultiByteToWideChar(CP_UTF8, 0, prefix, -1, text, kPathLineSize) - 1;
    if (written < 0) {
        return;
    }
    lstrcpynW(text + written, path, kPathLineSize - written);
    SetWindowTextW(GetDlgItem(dialog, IDC_CONFIG_PATH), text);
}

bool PathLineWarns() {
    return g_pathWarns;
}
