#include "store/key_config.h"

#include "capture/binding.h"
#include "capture/binding_name.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "store/config_file.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr const char kConfigFileName[] = "config.ini";

// A save writes a new file first and then puts it in the place of the real one, so that the game
// never finds a half-written file. The new file sits beside it, since a rename within one
// directory is one step, and is named "config.ini.N.tmp" with the first number N from 0 up that
// no file or folder has: a file left over by a crash, or the one a second copy of the program is
// writing at the same moment, is never opened, mixed into or blocking.
constexpr const char kTempNamePrefix[] = "config.ini.";
constexpr const char kTempNameSuffix[] = ".tmp";
constexpr int kTempNameCount = 100;
constexpr std::size_t kTempNameSize = sizeof kTempNamePrefix + 2 + sizeof kTempNameSuffix;

// The file image: the number of sets (1), the Bindings per set (8), then the set's Bindings,
// device then code. The game reads exactly this.
constexpr uint8_t kSetCount = 1;
constexpr uint8_t kBindingsPerSet = kBindingCount;
constexpr std::size_t kSetCountOffset = 0;
constexpr std::size_t kBindingsPerSetOffset = 1;
constexpr std::size_t kFirstBindingOffset = 2;
constexpr std::size_t kBytesPerBinding = 2;
// Entries 6 and 7 belong to fields the dialog keeps hidden: no capture changes them.
constexpr int kFirstHiddenBinding = IDC_BINDING_BUTTON3 - IDC_BINDING_UP;
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
// in all, kBusyRetryDelayMs apart. step(bool* busy) returns its result.
template <typename Step> auto RetryWhileBusy(Step step) {
    for (int attempt = 1;; ++attempt) {
        bool busy = false;
        const auto result = step(&busy);
        if (!busy || attempt == kBusyAttempts) {
            return result;
        }
        g_configFileOps.pause(kBusyRetryDelayMs);
    }
}

struct TempName {
    char text[kTempNameSize];
};

TempName MakeTempName(int number) {
    TempName name;
    char* end = AppendText(name.text, kTempNamePrefix);
    end = AppendDecimal(end, static_cast<unsigned>(number));
    AppendText(end, kTempNameSuffix);
    return name;
}

// Creates the new file of a save under the first free name; null when none could be created.
std::FILE* CreateTempFile(TempName& name) {
    for (int number = 0; number < kTempNameCount; ++number) {
        name = MakeTempName(number);
        bool taken = false;
        std::FILE* file = g_configFileOps.createNew(name.text, &taken);
        if (file != nullptr || !taken) {
            return file;
        }
    }
    return nullptr;
}

// Writes the image to a new file beside the configuration file, pushes it to the disk and then
// puts it in the configuration file's place. On any failure the old file stays as it was and the
// new one is removed.
bool WriteImage(const uint8_t (&buffer)[kBufferSize]) {
    const ConfigFileOps& ops = g_configFileOps;
    TempName temp;
    std::FILE* file = CreateTempFile(temp);
    if (file == nullptr) {
        return false;
    }
    bool written = ops.write(file, buffer, kConfigFileSize) && ops.flush(file);
    written = ops.close(file) && written;
    written = written && RetryWhileBusy([&](bool* busy) {
                  return ops.replace(temp.text, kConfigFileName, busy);
              });
    if (!written) {
        ops.remove(temp.text);
    }
    return written;
}

enum class ReadOutcome { kRead, kMissing, kUnreadable };

// One try at reading the configuration file into buffer; *length gets how many bytes came, and
// *busy says whether another program held the file.
ReadOutcome ReadConfigFileOnce(uint8_t (&buffer)[kBufferSize], std::size_t* length, bool* busy) {
    const ConfigFileOps& ops = g_configFileOps;
    OpenFailure failure = OpenFailure::kNone;
    std::FILE* file = ops.openRead(kConfigFileName, &failure);
    if (file == nullptr) {
        *busy = failure == OpenFailure::kBusy;
        return failure == OpenFailure::kMissing ? ReadOutcome::kMissing : ReadOutcome::kUnreadable;
    }
    const bool read = ops.read(file, buffer, sizeof buffer, length);
    // Closed before any message box, so that the file is not held open while it waits.
    ops.close(file);
    // A range of the file that another program has locked fails the read, not the open.
    *busy = !read;
    return read ? ReadOutcome::kRead : ReadOutcome::kUnreadable;
}

// Reads the configuration file, trying again while another program holds it; a missing file, or
// one that is no readable file, is decided at once.
ReadOutcome ReadConfigFile(uint8_t (&buffer)[kBufferSize], std::size_t* length) {
    return RetryWhileBusy([&](bool* busy) { return ReadConfigFileOnce(buffer, length, busy); });
}

Binding BindingAt(const uint8_t (&buffer)[kBufferSize], int index) {
    const std::size_t at = kFirstBindingOffset + kBytesPerBinding * index;
    return Binding{buffer[at], buffer[at + 1]};
}

// Set when the file was there at start-up but could not be read: what it holds is unknown, so
// a save reads it again before replacing it.
bool g_unreadAtStart = false;

// Reads the file that could not be read at start-up before a save replaces it, and takes from it
// the Bindings that no field can change. False when it still cannot be read: it may hold the
// player's Bindings and must not be replaced. A file that has gone since, or holds no valid image,
// has none to keep.
bool RereadBeforeReplacing() {
    uint8_t buffer[kBufferSize] = {};
    std::size_t length = 0;
    const ReadOutcome outcome = ReadConfigFile(buffer, &length);
    if (outcome == ReadOutcome::kUnreadable) {
        return false;
    }
    if (outcome == ReadOutcome::kRead && IsValidImage(buffer, length)) {
        for (int i = kFirstHiddenBinding; i < kBindingsPerSet; ++i) {
            g_bindingTable[i] = BindingAt(buffer, i);
        }
    }
    g_unreadAtStart = false;
    return true;
}

void SetAndShow(HWND dialog, int index, Binding binding) {
    g_bindingTable[index] = binding;
    ShowBindingName(binding, GetDlgItem(dialog, IDC_BINDING_UP + index));
}

// The configuration file does not exist yet: create it with the default Binding for every
// action and show those.
void CreateDefaultConfig(HWND dialog) {
    ShowError(nullptr, kCreatingText);

    Binding Key[kSetCount][kBindingsPerSet];
    for (Binding& binding : Key[0]) {
        binding = kDefaultBinding;
    }
    uint8_t buffer[kBufferSize] = {};
    BuildImage(Key[0], buffer);
    const bool created = WriteImage(buffer);

    for (int i = 0; i < kBindingsPerSet; ++i) {
        SetAndShow(dialog, i, Key[0][i]);
    }
    if (!created) {
        ReportSaveFailure(nullptr);
    }
}

} // namespace

void LoadKeyConfig(HWND dialog) {
    g_unreadAtStart = false;
    uint8_t buffer[kBufferSize] = {};
    std::size_t length = 0;
    switch (ReadConfigFile(buffer, &length)) {
    case ReadOutcome::kMissing:
        CreateDefaultConfig(dialog);
        return;
    case ReadOutcome::kUnreadable:
        // Only a file that is not there is created; one that is there but cannot be read
        // (locked, no permission, a directory) may hold the player's Bindings and is left alone.
        g_unreadAtStart = true;
        ShowError(nullptr, kUnreadableText);
        return;
    case ReadOutcome::kRead:
        break;
    }
    // A broken file is neither loaded nor repaired: the table keeps its zeros, and the file is
    // replaced only when the player saves.
    if (!IsValidImage(buffer, length)) {
        ShowError(nullptr, kBrokenText);
        return;
    }
    // Bytes past the image are the game's business, not ours; only the image is read.
    for (int i = 0; i < kBindingsPerSet; ++i) {
        SetAndShow(dialog, i, BindingAt(buffer, i));
    }
}

bool SaveKeyConfig() {
    if (g_unreadAtStart && !RereadBeforeReplacing()) {
        return false;
    }
    uint8_t buffer[kBufferSize] = {};
    BuildImage(g_bindingTable, buffer);
    return WriteImage(buffer);
}

void ReportSaveFailure(HWND owner) {
    ShowError(owner, kSaveFailedText);
}
