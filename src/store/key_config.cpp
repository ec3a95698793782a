#include "store/key_config.h"

#include "capture/binding.h"
#include "capture/binding_name.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "store/config_file.h"

#include <cstddef>
#include <cstdint>

namespace {

// A save writes a new file first and then puts it in the place of the real one, so that the game
// never finds a half-written file. The new file sits beside it, since a rename within one
// directory is one step, and is named "config.ini.N.tmp" with the first number N from 0 up that
// no file or folder has: a file left over by a crash, or the one a second copy of the program is
// writing at the same moment, is never opened, mixed into or blocking. Leftovers that no save is
// writing any more are removed first, so that they never use up the names.
constexpr const char kTempNameInfix[] = ".";
constexpr const char kTempNameSuffix[] = ".tmp";
constexpr int kTempNameCount = 100;
constexpr std::size_t kTempNameSize = kPathSize;
// The longest path a temporary name is made from: room for ".99.tmp".
constexpr std::size_t kTempBaseMax =
    kTempNameSize - sizeof kTempNameInfix - 2 - sizeof kTempNameSuffix;

// The file image: the number of sets (1), the Bindings per set (8), then the set's Bindings,
// device then code. The game reads exactly this.
constexpr uint8_t kSetCount = 1;
constexpr uint8_t kBindingsPerSet = kBindingCount;
constexpr std::size_t kSetCountOffset = 0;
constexpr std::size_t kBindingsPerSetOffset = 1;
constexpr std::size_t kFirstBindingOffset = 2;
constexpr std::size_t kBytesPerBinding = 2;
static_assert(kFirstBindingOffset + kSetCount * kBindingsPerSet * kBytesPerBinding ==
                  kConfigFileSize,
              "the image is the header and one set of Bindings");

// Working storage for one image. Reads stop at its end, however long the file is.
constexpr std::size_t kBufferSize = 100;

constexpr const char kCaption[] = "DirectInput";
constexpr const char kCreatingText[] = "コンフィグファイルを作成します";
constexpr const char kBrokenText[] = "コンフィグファイルが壊れています";
constexpr const char kUnreadableText[] = "コンフィグファイルを読み込めませんでした";
constexpr const char kSaveFailedText[] = "コンフィグファイルを保存できませんでした";
// Room for the save-failure message and its second line.
constexpr std::size_t kMessageSize = 160;

void ShowError(HWND owner, const char* text) {
    MessageBoxUtf8(owner, text, kCaption, MB_OK | MB_ICONERROR);
}

// Builds the image of one set of Bindings in buffer.
void BuildImage(const Binding (&set)[kBindingsPerSet], uint8_t (&buffer)[kBufferSize]) {
    buffer[kSetCountOffset] = kSetCount;
    buffer[kBindingsPerSetOffset] = kBindingsPerSet;
    for (std::size_t i = 0; i < kBindingsPerSet; ++i) {
        buffer[kFirstBindingOffset + kBytesPerBinding * i] = set[i].device;
        buffer[kFirstBindingOffset + kBytesPerBinding * i + 1] = set[i].code;
    }
}

// Whether the first length bytes of buffer hold a whole image with the header the game expects.
bool IsValidImage(const uint8_t (&buffer)[kBufferSize], std::size_t length) {
    return length >= kConfigFileSize && buffer[kSetCountOffset] == kSetCount &&
           buffer[kBindingsPerSetOffset] == kBindingsPerSet;
}

// Runs step, and again while it answers that another program holds the file: kBusyAttempts tries
// in all, kBusyRetryDelayMs apart. step(FileStatus*) returns whether it succeeded.
template <typename Step> bool RetryWhileBusy(FileStatus* status, Step step) {
    for (int attempt = 1;; ++attempt) {
        const bool done = step(status);
        if (done || status->failure != FileFailure::kBusy || attempt == kBusyAttempts) {
            return done;
        }
        g_configFileOps.pause(kBusyRetryDelayMs);
    }
}

// The file a load or save reads and replaces (DecideEditedFile), and what stands in the way of
// both when the link there leads nowhere.
struct ConfigPath {
    char text[kTempBaseMax];
    FileStatus problem;
};

void FindConfigPath(ConfigPath& path) {
    path.problem = FindEditedFile(path.text, sizeof path.text);
}

struct TempName {
    char text[kTempNameSize];
};

void MakeTempName(const ConfigPath& path, int number, TempName& name) {
    char* end = AppendText(AppendText(name.text, path.text), kTempNameInfix);
    end = AppendDecimal(end, static_cast<unsigned>(number));
    AppendText(end, kTempNameSuffix);
}

// Creates the new file of a save beside path under the first free name, after removing the
// leftovers that no save is writing; null when none could be created.
std::FILE* CreateTempFile(const ConfigPath& path, TempName& name, FileStatus* status) {
    for (int number = 0; number < kTempNameCount; ++number) {
        MakeTempName(path, number, name);
        g_configFileOps.removeStale(name.text);
    }
    for (int number = 0; number < kTempNameCount; ++number) {
        MakeTempName(path, number, name);
        std::FILE* file = g_configFileOps.createNew(name.text, status);
        if (file != nullptr || status->failure != FileFailure::kTaken) {
            return file;
        }
    }
    // Every name taken is no news about the configuration file itself.
    status->failure = FileFailure::kNoTempName;
    return nullptr;
}

// How the new file takes the configuration file's name.
enum class Placing { kReplace, kOnlyIfFree };

// Writes the image to a new file beside the configuration file, pushes it to the disk and then
// puts it in the configuration file's place. On any failure the old file stays as it was, the
// new one is removed and *status says why (kTaken: placing found a file there).
bool WriteImage(const ConfigPath& path, const uint8_t (&buffer)[kBufferSize], Placing placing,
                FileStatus* status) {
    const ConfigFileOps& ops = g_configFileOps;
    TempName temp;
    std::FILE* file = CreateTempFile(path, temp, status);
    if (file == nullptr) {
        return false;
    }
    bool written = ops.write(file, buffer, kConfigFileSize, status) && ops.flush(file, status);
    FileStatus closing;
    if (!ops.close(file, &closing) && written) {
        *status = closing;
        written = false;
    }
    written = written && RetryWhileBusy(status, [&](FileStatus* step) {
                  return placing == Placing::kReplace ? ops.replace(temp.text, path.text, step)
                                                      : ops.place(temp.text, path.text, step);
              });
    if (!written) {
        ops.remove(temp.text);
    }
    return written;
}

enum class ReadOutcome { kRead, kMissing, kUnreadable };

// One try at reading the configuration file into buffer; *length gets how many bytes came.
ReadOutcome ReadConfigFileOnce(const ConfigPath& path, uint8_t (&buffer)[kBufferSize],
                               std::size_t* length, FileStatus* status) {
    const ConfigFileOps& ops = g_configFileOps;
    std::FILE* file = ops.openRead(path.text, status);
    if (file == nullptr) {
        return status->failure == FileFailure::kMissing ? ReadOutcome::kMissing
                                                        : ReadOutcome::kUnreadable;
    }
    const bool read = ops.read(file, buffer, sizeof buffer, length, status);
    // Closed before any message box, so that the file is not held open while it waits.
    FileStatus closing;
    ops.close(file, &closing);
    if (!read) {
        // A range of the file that another program has locked fails the read, not the open.
        status->failure = FileFailure::kBusy;
        return ReadOutcome::kUnreadable;
    }
    return ReadOutcome::kRead;
}

// Reads the configuration file, trying again while another program holds it; a missing file, or
// one that is no readable file, is decided at once.
ReadOutcome ReadConfigFile(const ConfigPath& path, uint8_t (&buffer)[kBufferSize],
                           std::size_t* length, FileStatus* status) {
    ReadOutcome outcome = ReadOutcome::kUnreadable;
    RetryWhileBusy(status, [&](FileStatus* step) {
        outcome = ReadConfigFileOnce(path, buffer, length, step);
        return outcome != ReadOutcome::kUnreadable;
    });
    return outcome;
}

Binding BindingAt(const uint8_t (&buffer)[kBufferSize], int index) {
    const std::size_t at = kFirstBindingOffset + kBytesPerBinding * index;
    return Binding{buffer[at], buffer[at + 1]};
}

bool IsBoundInRun(int index) {
    return (g_boundInRun & (1u << index)) != 0;
}

void SetAndShow(HWND dialog, int index, Binding binding) {
    g_bindingTable[index] = binding;
    ShowBindingName(binding, GetDlgItem(dialog, IDC_BINDING_UP + index));
}

// The configuration file does not exist yet: create it with the default Binding for every
// action and show those. The file is put in place only if the name is still free after the
// message, which waits for the player: a file copied in meanwhile, or created by a second copy of
// the program, is left as it is, and false asks the caller to load it instead. On the last try a
// name that is taken by something that still reads as missing (a link to nothing) is a failure.
bool CreateDefaultConfig(HWND dialog, const ConfigPath& path, bool lastTry) {
    if (!lastTry) {
        ShowError(nullptr, kCreatingText);
    }

    Binding Key[kSetCount][kBindingsPerSet];
    for (Binding& binding : Key[0]) {
        binding = kDefaultBinding;
    }
    uint8_t buffer[kBufferSize] = {};
    BuildImage(Key[0], buffer);
    FileStatus status;
    const bool created = WriteImage(path, buffer, Placing::kOnlyIfFree, &status);
    if (!created && status.failure == FileFailure::kTaken && !lastTry) {
        return false;
    }
    for (int i = 0; i < kBindingsPerSet; ++i) {
        SetAndShow(dialog, i, Key[0][i]);
    }
    if (!created) {
        ReportSaveFailure(nullptr, status);
    }
    return true;
}

// The second line of a load's or save's failure message, what stood in the way, one text per
// FileFailure in its order, each ended by its NUL: one text with a single address, so that the
// 32-bit program needs no relocation per text. Empty where only the system's error number can
// tell.
constexpr char kCauses[] = "\0"                                         // kNone
                           "\0"                                         // kMissing
                           "ほかのプログラムがファイルを使っています\0" // kBusy
                           "\0"                                         // kTaken
                           "ファイルが読み取り専用です\0"               // kReadOnly
                           "フォルダーに書き込む権限がありません\0"     // kFolderDenied
                           "フォルダーが見つかりません\0"               // kFolderMissing
                           "ディスクの空きが足りません\0"               // kDiskFull
                           "一時ファイルの名前がすべて使われています\0" // kNoTempName
                           "ファイルを読み取る権限がありません\0"       // kReadDenied
                           "ファイルではなくフォルダーです\0"           // kFolder
                           "リンクが循環しています\0"                   // kLinkLoop
                           "リンク先が見つかりません\0"                 // kLinkBroken
                           "";                                          // kOther

constexpr int CountTexts(const char* texts, std::size_t size) {
    int count = 0;
    for (std::size_t i = 0; i < size; ++i) {
        count += texts[i] == '\0';
    }
    return count;
}
static_assert(CountTexts(kCauses, sizeof kCauses) == static_cast<int>(FileFailure::kOther) + 1,
              "one cause for every failure");

const char* FailureCause(FileFailure failure) {
    const char* cause = kCauses;
    for (int i = 0; i < static_cast<int>(failure); ++i) {
        while (*cause++ != '\0') {
        }
    }
    return *cause != '\0' ? cause : nullptr;
}

// Tells the player what failed (text) and, on a second line, why.
void ReportFailure(HWND owner, const char* text, const FileStatus& why) {
    char message[kMessageSize];
    char* end = AppendText(AppendText(message, text), "\n");
    const char* cause = FailureCause(why.failure);
    if (cause != nullptr) {
        AppendText(end, cause);
    } else {
        AppendDecimal(AppendText(end, "エラー番号 "), static_cast<unsigned>(why.error));
    }
    ShowError(owner, message);
}

} // namespace

void LoadKeyConfig(HWND dialog) {
    g_boundInRun = 0;
    ConfigPath path;
    FindConfigPath(path);
    if (path.problem.failure != FileFailure::kNone) {
        // Nothing takes a link's place: it may lead to the player's file again once found.
        ReportFailure(nullptr, kUnreadableText, path.problem);
        return;
    }
    for (bool lastTry = false;; lastTry = true) {
        uint8_t buffer[kBufferSize] = {};
        std::size_t length = 0;
        FileStatus status;
        switch (ReadConfigFile(path, buffer, &length, &status)) {
        case ReadOutcome::kMissing:
            if (CreateDefaultConfig(dialog, path, lastTry)) {
                return;
            }
            continue; // a file arrived while the message waited: it is loaded like any other
        case ReadOutcome::kUnreadable:
            // Only a file that is not there is created; one that is there but cannot be read
            // (locked, no permission, a directory) may hold the player's Bindings and is left
            // alone.
            ReportFailure(nullptr, kUnreadableText, status);
            return;
        case ReadOutcome::kRead:
            break;
        }
        // A broken file is neither loaded nor repaired: the table keeps its zeros, and the file
        // is replaced only when the player saves.
        if (!IsValidImage(buffer, length)) {
            ShowError(nullptr, kBrokenText);
            return;
        }
        // Bytes past the image are the game's business, not ours; only the image is read.
        for (int i = 0; i < kBindingsPerSet; ++i) {
            SetAndShow(dialog, i, BindingAt(buffer, i));
        }
        return;
    }
}

bool SaveKeyConfig(FileStatus* why) {
    // What the file holds now, not what it held at start-up: another copy of the program, a
    // restored backup or the player may have changed it since, or it could not be read then.
    ConfigPath path;
    FindConfigPath(path);
    if (path.problem.failure != FileFailure::kNone) {
        *why = path.problem;
        return false;
    }
    uint8_t file[kBufferSize] = {};
    std::size_t length = 0;
    const ReadOutcome outcome = ReadConfigFile(path, file, &length, why);
    if (outcome == ReadOutcome::kUnreadable) {
        return false; // it may hold Bindings that nobody has seen
    }
    const bool keepFromFile = outcome == ReadOutcome::kRead && IsValidImage(file, length);
    Binding set[kBindingsPerSet];
    for (int i = 0; i < kBindingsPerSet; ++i) {
        set[i] = keepFromFile && !IsBoundInRun(i) ? BindingAt(file, i) : g_bindingTable[i];
    }
    uint8_t image[kBufferSize] = {};
    BuildImage(set, image);
    return WriteImage(path, image, Placing::kReplace, why);
}

void ReportSaveFailure(HWND owner, const FileStatus& why) {
    ReportFailure(owner, kSaveFailedText, why);
}

FileStatus FindEditedFile(char* out, std::size_t size) {
    NameFacts facts;
    g_configFileOps.examine(kConfigFileName, &facts);
    return DecideEditedFile(kConfigFileName, facts, out, size);
}
