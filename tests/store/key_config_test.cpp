#include "store/key_config.h"

#include "capture/binding.h"
#include "capture/binding_name.h"
#include "capture/capture.h"
#include "fake_windows.h"
#include "resources/resource.h"
#include "store/config_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr char kFile[] = "config.ini";
constexpr char kCaption[] = "DirectInput";
constexpr char kCreating[] = "コンフィグファイルを作成します";
constexpr char kBroken[] = "コンフィグファイルが壊れています";
constexpr char kUnreadable[] = "コンフィグファイルを読み込めませんでした";
constexpr char kSaveFailed[] = "コンフィグファイルを保存できませんでした";

// The image of a created file: the header, then (99, 255) eight times.
const Bytes kDefaultImage = {1,   8,  99,  255, 99,  255, 99,  255, 99,
                             255, 99, 255, 99,  255, 99,  255, 99,  255};

Bytes ImageOf(const Binding (&table)[kBindingCount]) {
    Bytes image = {1, 8};
    for (const Binding& binding : table) {
        image.push_back(binding.device);
        image.push_back(binding.code);
    }
    return image;
}

void WriteBytes(const char* path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

Bytes ReadBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names in the working directory, sorted: shows both the configuration file and any leftover.
std::vector<std::string> DirectoryEntries() {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(".")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::string> kOnlyTheFile = {kFile};

// The message of a file that cannot be read, and why.
constexpr char kBusyCause[] = "ほかのプログラムがファイルを使っています";
std::vector<std::string> Unreadable(const char* cause) {
    return {std::string(kUnreadable) + "\n" + cause};
}

// Recorded file operations, for checking their order and that every opened file is closed.
std::vector<std::string> g_calls;
int g_openFiles = 0;

// Each step runs the system's operation and records it, so that single steps can be swapped
// for failing ones while the rest really happen.
std::FILE* LoggedOpenRead(const char* path, FileStatus* status) {
    g_calls.push_back(std::string("openRead ") + path);
    std::FILE* file = SystemConfigFileOps().openRead(path, status);
    g_openFiles += file != nullptr;
    return file;
}
std::FILE* LoggedCreateNew(const char* path, FileStatus* status) {
    g_calls.push_back(std::string("createNew ") + path);
    std::FILE* file = SystemConfigFileOps().createNew(path, status);
    g_openFiles += file != nullptr;
    return file;
}
bool LoggedRead(std::FILE* file, void* buffer, std::size_t size, std::size_t* count,
                FileStatus* status) {
    g_calls.push_back("read " + std::to_string(size));
    return SystemConfigFileOps().read(file, buffer, size, count, status);
}
bool LoggedWrite(std::FILE* file, const void* data, std::size_t size, FileStatus* status) {
    g_calls.push_back("write " + std::to_string(size));
    return SystemConfigFileOps().write(file, data, size, status);
}
bool LoggedFlush(std::FILE* file, FileStatus* status) {
    g_calls.push_back("flush");
    return SystemConfigFileOps().flush(file, status);
}
bool LoggedClose(std::FILE* file, FileStatus* status) {
    g_calls.push_back("close");
    --g_openFiles;
    return SystemConfigFileOps().close(file, status);
}
// Replacing and placing fail with g_moveFailure while g_failingMoves lasts, then happen for real.
FileStatus g_moveFailure;
int g_failingMoves = 0;
bool LoggedMove(const char* how, bool (*move)(const char*, const char*, FileStatus*),
                const char* from, const char* to, FileStatus* status) {
    g_calls.push_back(std::string(how) + " " + from + " " + to);
    if (g_failingMoves > 0) {
        --g_failingMoves;
        *status = g_moveFailure;
        return false;
    }
    return move(from, to, status);
}
bool LoggedReplace(const char* from, const char* to, FileStatus* status) {
    return LoggedMove("replace", SystemConfigFileOps().replace, from, to, status);
}
bool LoggedPlace(const char* from, const char* to, FileStatus* status) {
    return LoggedMove("place", SystemConfigFileOps().place, from, to, status);
}
bool LoggedRemove(const char* path) {
    g_calls.push_back(std::string("remove ") + path);
    return SystemConfigFileOps().remove(path);
}
// A save looks at every temporary name; only a leftover it removes is recorded.
bool LoggedRemoveStale(const char* path) {
    const bool removed = SystemConfigFileOps().removeStale(path);
    if (removed) {
        g_calls.push_back(std::string("removeStale ") + path);
    }
    return removed;
}
// Recorded, not waited for.
void LoggedPause(unsigned milliseconds) {
    g_calls.push_back("pause " + std::to_string(milliseconds));
}

const ConfigFileOps kLoggedOps = {
    LoggedOpenRead,    LoggedCreateNew, LoggedRead,  LoggedWrite,  LoggedFlush,
    LoggedClose,       LoggedReplace,   LoggedPlace, LoggedRemove, SystemConfigFileOps().examine,
    LoggedRemoveStale, LoggedPause};

// Failing steps. Those that get a file still do what a real failure leaves behind (half the
// bytes written, the file closed), so the test sees what the program must clean up.
// Opening for reading fails with g_openFailure while g_failingOpens lasts, then opens for real.
FileFailure g_openFailure;
int g_failingOpens = 0;
std::FILE* OpenReadFailing(const char* path, FileStatus* status) {
    if (g_failingOpens == 0) {
        return LoggedOpenRead(path, status);
    }
    --g_failingOpens;
    g_calls.push_back(std::string("openRead ") + path);
    *status = {g_openFailure, 13};
    return nullptr;
}
std::FILE* CreateNewFails(const char* path, FileStatus* status) {
    g_calls.push_back(std::string("createNew ") + path);
    *status = {FileFailure::kFolderDenied, 13};
    return nullptr;
}
std::FILE* CreateNewFindsNoFolder(const char* path, FileStatus* status) {
    g_calls.push_back(std::string("createNew ") + path);
    *status = DecideOpenFailure(true, ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES,
                                ERROR_PATH_NOT_FOUND);
    return nullptr;
}
bool ReadFails(std::FILE* file, void* buffer, std::size_t size, std::size_t* count,
               FileStatus* status) {
    LoggedRead(file, buffer, size, count, status);
    return false;
}
bool WriteFailsHalfway(std::FILE* file, const void* data, std::size_t size, FileStatus* status) {
    LoggedWrite(file, data, size / 2, status);
    *status = {FileFailure::kDiskFull, 28};
    return false;
}
bool FlushFails(std::FILE* file, FileStatus* status) {
    LoggedFlush(file, status);
    *status = {FileFailure::kOther, 5};
    return false;
}
bool CloseFails(std::FILE* file, FileStatus* status) {
    LoggedClose(file, status);
    *status = {FileFailure::kOther, 9};
    return false;
}

struct WriteFailure {
    const char* step;
    void (*inject)(ConfigFileOps& ops);
    // The steps taken: none after the failure but closing and removing the temp file.
    std::vector<std::string> calls;
    // The second line of the message that reports it.
    const char* cause;
};

const WriteFailure kWriteFailures[] = {
    {"open",
     [](ConfigFileOps& ops) { ops.createNew = CreateNewFails; },
     {"createNew config.ini.0.tmp"},
     "フォルダーに書き込む権限がありません"},
    {"write",
     [](ConfigFileOps& ops) { ops.write = WriteFailsHalfway; },
     {"createNew config.ini.0.tmp", "write 9", "close", "remove config.ini.0.tmp"},
     "ディスクの空きが足りません"},
    {"flush",
     [](ConfigFileOps& ops) { ops.flush = FlushFails; },
     {"createNew config.ini.0.tmp", "write 18", "flush", "close", "remove config.ini.0.tmp"},
     "エラー番号 5"},
    {"close",
     [](ConfigFileOps& ops) { ops.close = CloseFails; },
     {"createNew config.ini.0.tmp", "write 18", "flush", "close", "remove config.ini.0.tmp"},
     "エラー番号 9"},
    // The first cause is the one the player can act on.
    {"write and close",
     [](ConfigFileOps& ops) {
         ops.write = WriteFailsHalfway;
         ops.close = CloseFails;
     },
     {"createNew config.ini.0.tmp", "write 9", "close", "remove config.ini.0.tmp"},
     "ディスクの空きが足りません"},
    {"flush and close",
     [](ConfigFileOps& ops) {
         ops.flush = FlushFails;
         ops.close = CloseFails;
     },
     {"createNew config.ini.0.tmp", "write 18", "flush", "close", "remove config.ini.0.tmp"},
     "エラー番号 5"},
    // The folder was renamed or removed while the program ran, as Windows reports it.
    {"folder gone",
     [](ConfigFileOps& ops) { ops.createNew = CreateNewFindsNoFolder; },
     {"createNew config.ini.0.tmp"},
     "フォルダーが見つかりません"},
    {"replace",
     [](ConfigFileOps&) {
         g_moveFailure = {FileFailure::kOther, 1117};
         g_failingMoves = 1;
     },
     {"createNew config.ini.0.tmp", "write 18", "flush", "close",
      "replace config.ini.0.tmp config.ini", "remove config.ini.0.tmp"},
     "エラー番号 1117"},
    // Only a save meets an existing file. No write bit is read-only, even to root.
    {"read-only",
     [](ConfigFileOps&) { fs::permissions(kFile, fs::perms::owner_read | fs::perms::group_read); },
     {"createNew config.ini.0.tmp", "write 18", "flush", "close",
      "replace config.ini.0.tmp config.ini", "remove config.ini.0.tmp"},
     "ファイルが読み取り専用です"},
};

class KeyConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "keyconfig-store-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(directory_);

        fake::TheDesktop().Reset();
        std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
        g_boundInRun = 0;
        g_failingMoves = 0;
        g_configFileOps = kLoggedOps;
        g_calls.clear();
        g_openFiles = 0;
    }

    void TearDown() override {
        EXPECT_EQ(g_openFiles, 0) << "every opened file is closed";
        g_configFileOps = SystemConfigFileOps();
        fs::current_path(previous_);
        std::error_code ignored;
        fs::permissions(directory_ / kFile, fs::perms::owner_all, ignored);
        fs::remove_all(directory_, ignored);
    }

    static fake::Desktop& Desktop() { return fake::TheDesktop(); }
    static HWND Dialog() { return fake::TheDesktop().Dialog(); }

    // The player binds entry index (0..5) to b: its field has the focus and capture offers b.
    static void Bind(int index, Binding b) {
        Desktop().Focus(IDC_BINDING_UP + index);
        ASSERT_TRUE(StoreBinding(b, GetFocus(), Dialog()));
    }
    static bool Save() {
        FileStatus why;
        return SaveKeyConfig(&why);
    }

    // The message boxes shown so far, each checked for the caption, the error icon and no owner.
    static std::vector<std::string> Messages() {
        std::vector<std::string> texts;
        for (const fake::MessageBoxCall& call : Desktop().messageBoxes) {
            EXPECT_EQ(call.owner, nullptr) << call.text;
            EXPECT_EQ(call.caption, kCaption) << call.text;
            EXPECT_EQ(call.type, static_cast<UINT>(MB_OK | MB_ICONERROR)) << call.text;
            texts.push_back(call.text);
        }
        return texts;
    }

    // Checks that nothing was loaded: the table is all zero and no field was written.
    static void ExpectNothingLoaded() {
        for (int i = 0; i < kBindingCount; ++i) {
            EXPECT_EQ(g_bindingTable[i], kNoBinding) << "entry " << i;
            EXPECT_EQ(Desktop().SetTextCalls(IDC_BINDING_UP + i), 0) << "field " << i;
        }
    }

    // Checks that the table holds table and that every field, hidden ones included, shows it.
    static void ExpectLoaded(const Binding (&table)[kBindingCount]) {
        for (int i = 0; i < kBindingCount; ++i) {
            EXPECT_EQ(g_bindingTable[i], table[i]) << "entry " << i;
            EXPECT_STREQ(Desktop().Text(IDC_BINDING_UP + i), FormatBindingName(table[i]).text)
                << "field " << i;
            EXPECT_EQ(Desktop().SetTextCalls(IDC_BINDING_UP + i), 1) << "field " << i;
        }
        EXPECT_EQ(Desktop().SetTextCalls(IDC_READOUT), 0);
    }

    fs::path directory_;
    fs::path previous_;
};

// Bindings that differ in every entry, the two hidden ones included.
constexpr Binding kMixedTable[kBindingCount] = {{0, 30}, {1, 4}, {0, 200}, {1, 35},
                                                {2, 0},  {0, 1}, {7, 19},  {255, 254}};

TEST_F(KeyConfigTest, MissingFileIsCreatedWithDefaultsAfterTheMessage) {
    bool existedDuringMessage = true;
    Desktop().onMessageBox = [&](const fake::MessageBoxCall&) {
        existedDuringMessage = fs::exists(kFile);
    };

    LoadKeyConfig(Dialog());

    EXPECT_EQ(Messages(), std::vector<std::string>{kCreating});
    EXPECT_FALSE(existedDuringMessage) << "the file is written after the player saw the message";
    EXPECT_EQ(ReadBytes(kFile), kDefaultImage);
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
    Binding defaults[kBindingCount];
    std::fill(std::begin(defaults), std::end(defaults), kDefaultBinding);
    ExpectLoaded(defaults);
    EXPECT_STREQ(Desktop().Text(IDC_BINDING_BUTTON4), "JOY99_B252");
}

// A file copied in, or created by a second copy of the program, while the creation message
// waits for the player is loaded as it is; no defaults replace it.
TEST_F(KeyConfigTest, FileArrivingWhileTheCreationMessageWaitsIsLoadedNotReplaced) {
    Desktop().onMessageBox = [](const fake::MessageBoxCall&) {
        WriteBytes(kFile, ImageOf(kMixedTable));
    };

    LoadKeyConfig(Dialog());

    EXPECT_EQ(Messages(), std::vector<std::string>{kCreating});
    ExpectLoaded(kMixedTable);
    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
}

TEST_F(KeyConfigTest, ValidFileLoadsEveryEntryIntoTableAndFields) {
    WriteBytes(kFile, ImageOf(kMixedTable));

    LoadKeyConfig(Dialog());

    EXPECT_TRUE(Messages().empty());
    ExpectLoaded(kMixedTable);
    EXPECT_STREQ(Desktop().Text(IDC_BINDING_UP), "KEY_A");
    EXPECT_STREQ(Desktop().Text(IDC_BINDING_DOWN), "JOY1_B1");
    EXPECT_STREQ(Desktop().Text(IDC_BINDING_BUTTON3), "JOY7_B16");
    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
}

TEST_F(KeyConfigTest, WrongHeaderIsReportedAsBrokenAndLeftAlone) {
    const Bytes headers[] = {{1, 7}, {2, 8}, {0, 0}, {8, 1}, {1, 9}, {255, 255}, {0, 8}, {1, 0}};
    for (const Bytes& header : headers) {
        SCOPED_TRACE(testing::Message() << int{header[0]} << " " << int{header[1]});
        Desktop().Reset();
        Bytes file = ImageOf(kMixedTable);
        file[0] = header[0];
        file[1] = header[1];
        WriteBytes(kFile, file);

        LoadKeyConfig(Dialog());

        EXPECT_EQ(Messages(), std::vector<std::string>{kBroken});
        ExpectNothingLoaded();
        EXPECT_EQ(ReadBytes(kFile), file);
        EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
    }
}

// Every length from empty to past the working buffer, and one far past it: a good header loads
// the first eighteen bytes whatever follows; anything shorter is broken and untouched.
TEST_F(KeyConfigTest, EveryFileLengthLoadsTheFirst18BytesOrIsBroken) {
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 120; ++length) {
        lengths.push_back(length);
    }
    lengths.push_back(1 << 20);

    for (std::size_t length : lengths) {
        for (bool goodHeader : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << "length " << length << " header " << (goodHeader ? "good" : "bad"));
            Desktop().Reset();
            std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
            Bytes file(length);
            for (std::size_t i = 0; i < length; ++i) {
                file[i] = static_cast<uint8_t>(i * 37 + 11);
            }
            if (length >= 1) {
                file[0] = goodHeader ? 1 : 2;
            }
            if (length >= 2) {
                file[1] = 8;
            }
            WriteBytes(kFile, file);

            LoadKeyConfig(Dialog());

            if (goodHeader && length >= kConfigFileSize) {
                EXPECT_TRUE(Messages().empty());
                Binding expected[kBindingCount];
                for (int i = 0; i < kBindingCount; ++i) {
                    expected[i] = {file[2 + 2 * i], file[3 + 2 * i]};
                }
                ExpectLoaded(expected);
            } else {
                EXPECT_EQ(Messages(), std::vector<std::string>{kBroken});
                ExpectNothingLoaded();
            }
            EXPECT_EQ(ReadBytes(kFile), file);
            EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
        }
    }
}

TEST_F(KeyConfigTest, ReadsStopAtTheWorkingBuffer) {
    WriteBytes(kFile, Bytes(5000, 1));

    LoadKeyConfig(Dialog());

    EXPECT_EQ(g_calls, (std::vector<std::string>{"openRead config.ini", "read 100", "close"}));
}

TEST_F(KeyConfigTest, DirectoryNamedLikeTheFileIsUnreadableAndLeftAlone) {
    fs::create_directory(kFile);
    fs::create_directory(fs::path(kFile) / "inside");

    LoadKeyConfig(Dialog());

    EXPECT_EQ(g_calls, std::vector<std::string>{"openRead config.ini"}) << "decided at once";
    EXPECT_EQ(Messages(), Unreadable("ファイルではなくフォルダーです"));
    ExpectNothingLoaded();
    EXPECT_TRUE(fs::is_directory(fs::path(kFile) / "inside"));
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
}

// Root reads and writes anything, so these run in a child process that gives root up first:
// they hold whoever runs the tests. A file without read permission is unreadable, not missing,
// and never replaced; a save then says nothing of the folder's permissions. A folder that cannot
// be written in is.
TEST_F(KeyConfigTest, PermissionsTellAnUnreadableFileFromAnUnwritableFolder) {
    WriteBytes(kFile, kDefaultImage);
    fs::permissions(kFile, fs::perms::none);
    fs::create_directory("locked");
    WriteBytes("locked/config.ini", ImageOf(kMixedTable));
    fs::permissions(".", fs::perms::others_exec, fs::perm_options::add);

    EXPECT_EXIT(
        {
            constexpr uid_t kNobody = 65534;
            if (geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
                std::_Exit(2);
            }
            LoadKeyConfig(Dialog());
            EXPECT_EQ(Messages(), Unreadable("ファイルを読み取る権限がありません"));
            ExpectNothingLoaded();
            FileStatus why;
            EXPECT_FALSE(SaveKeyConfig(&why));
            EXPECT_EQ(why.failure, FileFailure::kReadDenied);
            EXPECT_EQ(why.error, static_cast<unsigned long>(EACCES));

            EXPECT_EQ(chdir("locked"), 0);
            LoadKeyConfig(Dialog());
            EXPECT_FALSE(SaveKeyConfig(&why));
            EXPECT_EQ(why.failure, FileFailure::kFolderDenied);
            std::_Exit(HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");

    fs::permissions(kFile, fs::perms::owner_all);
    EXPECT_EQ(ReadBytes(kFile), kDefaultImage);
    EXPECT_EQ(ReadBytes("locked/config.ini"), ImageOf(kMixedTable));
}

// A file with any write bit is no read-only file, whoever may write it.
TEST_F(KeyConfigTest, OnlyAFileWithoutAnyWriteBitIsReadOnly) {
    using fs::perms;
    const struct {
        perms mode;
        bool saves;
    } modes[] = {{perms::owner_write, true},
                 {perms::owner_read | perms::group_write, true},
                 {perms::owner_read | perms::others_write, true},
                 {perms::owner_read | perms::group_read | perms::others_read, false}};
    for (const auto& m : modes) {
        SCOPED_TRACE(static_cast<int>(m.mode));
        WriteBytes(kFile, kDefaultImage);
        fs::permissions(kFile, m.mode);
        FileStatus why;
        EXPECT_EQ(SaveKeyConfig(&why), m.saves);
        EXPECT_EQ(why.failure, m.saves ? FileFailure::kNone : FileFailure::kReadOnly);
        fs::permissions(kFile, perms::owner_all);
        fs::remove(kFile);
    }
}

// A file that will not open is tried again only while another program holds it, and a file that
// is there is never overwritten with defaults: it may hold the player's Bindings. Every save reads
// it again: one that still cannot be read is not replaced, and once it reads, the entries the
// player did not bind in this run come from it.
TEST_F(KeyConfigTest, FileThatWillNotOpenIsRetriedWhileBusyAndReadAgainBeforeASave) {
    // How opening fails and for how many opens, and how many opens the load then makes; the
    // load succeeds when the failures end within them, the first save when they end before it.
    const struct {
        FileFailure failure;
        int failingOpens;
        int opens;
    } cases[] = {
        {FileFailure::kBusy, 1, 2},
        {FileFailure::kBusy, 1000, kBusyAttempts},
        {FileFailure::kOther, 1, 1},
        {FileFailure::kOther, 1000, 1},
    };
    const Bytes kSavedOverMixed = {1, 8, 0, 16, 1, 4, 0, 200, 1, 35, 2, 0, 0, 1, 7, 19, 255, 254};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.failure) << " " << c.failingOpens);
        WriteBytes(kFile, ImageOf(kMixedTable));
        Desktop().Reset();
        std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
        g_calls.clear();
        g_configFileOps.openRead = OpenReadFailing;
        g_openFailure = c.failure;
        g_failingOpens = c.failingOpens;

        LoadKeyConfig(Dialog());

        EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "openRead config.ini"), c.opens);
        EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "pause 40"), c.opens - 1);
        if (c.failingOpens < c.opens) {
            EXPECT_TRUE(Messages().empty());
            ExpectLoaded(kMixedTable);
        } else {
            EXPECT_EQ(Messages(),
                      Unreadable(c.failure == FileFailure::kBusy ? kBusyCause : "エラー番号 13"));
            ExpectNothingLoaded();
        }
        EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));

        Bind(0, {0, 16});
        // And the replacement is held twice: it is tried again too.
        g_moveFailure = {FileFailure::kBusy, 32};
        g_failingMoves = 2;
        const bool saves = c.failingOpens == 1;
        FileStatus why;
        EXPECT_EQ(SaveKeyConfig(&why), saves);
        if (!saves) {
            EXPECT_EQ(why.failure, c.failure);
            EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
            g_failingOpens = 0;
            EXPECT_TRUE(Save()) << "the next OK, once nothing holds the file";
        }
        EXPECT_EQ(ReadBytes(kFile), kSavedOverMixed);
        EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
    }
}

// A failing read may be a lock on part of the file: it is tried again like a busy open, and the
// file is closed each time, before the message too.
TEST_F(KeyConfigTest, ReadErrorIsRetriedThenUnreadableAndTheFileIsClosedBeforeTheMessage) {
    WriteBytes(kFile, ImageOf(kMixedTable));
    g_configFileOps.read = ReadFails;
    std::vector<std::string> callsAtMessage;
    Desktop().onMessageBox = [&](const fake::MessageBoxCall&) { callsAtMessage = g_calls; };

    LoadKeyConfig(Dialog());

    EXPECT_EQ(Messages(), Unreadable(kBusyCause));
    ExpectNothingLoaded();
    EXPECT_EQ(std::count(callsAtMessage.begin(), callsAtMessage.end(), "read 100"), kBusyAttempts);
    EXPECT_EQ(std::count(callsAtMessage.begin(), callsAtMessage.end(), "close"), kBusyAttempts);
    EXPECT_EQ(callsAtMessage.back(), "close");
    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
}

TEST_F(KeyConfigTest, SaveWritesATempFileFlushesClosesThenReplaces) {
    std::copy(std::begin(kMixedTable), std::end(kMixedTable), std::begin(g_bindingTable));
    Bytes old = kDefaultImage;
    old[1] = 7; // no valid image: the whole table is written over it
    WriteBytes(kFile, old);
    Bytes oldAtReplace;
    Bytes newAtReplace;
    // Look at both files the moment before the replacement.
    static Bytes* s_old;
    static Bytes* s_new;
    s_old = &oldAtReplace;
    s_new = &newAtReplace;
    g_configFileOps.replace = [](const char* from, const char* to, FileStatus* status) {
        *s_old = ReadBytes(to);
        *s_new = ReadBytes(from);
        return LoggedReplace(from, to, status);
    };

    EXPECT_TRUE(Save());

    EXPECT_EQ(g_calls, (std::vector<std::string>{"openRead config.ini", "read 100", "close",
                                                 "createNew config.ini.0.tmp", "write 18", "flush",
                                                 "close", "replace config.ini.0.tmp config.ini"}));
    EXPECT_EQ(oldAtReplace, old) << "the old file stays whole until the replacement";
    EXPECT_EQ(newAtReplace, ImageOf(kMixedTable)) << "the new file is complete before it";
    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
    EXPECT_TRUE(Messages().empty()) << "saving itself shows nothing";
}

TEST_F(KeyConfigTest, SaveReplacesALongerFileWithExactly18Bytes) {
    Bytes longFile = ImageOf(kMixedTable);
    longFile.resize(300, 0xAB);
    WriteBytes(kFile, longFile);

    LoadKeyConfig(Dialog());
    ASSERT_TRUE(Save());

    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
}

TEST_F(KeyConfigTest, RoundTripsGiveTheSameTableAndBytes) {
    Binding defaults[kBindingCount];
    std::fill(std::begin(defaults), std::end(defaults), kDefaultBinding);
    Binding zeros[kBindingCount] = {};
    Binding extremes[kBindingCount] = {{255, 255}, {0, 0},    {0, 255}, {255, 0},
                                       {1, 3},     {99, 255}, {0, 8},   {8, 1}};
    const Binding(*tables[])[kBindingCount] = {&kMixedTable, &defaults, &zeros, &extremes};

    for (const Binding(*table)[kBindingCount] : tables) {
        SCOPED_TRACE(testing::Message() << "table starting " << int{(*table)[0].device} << ","
                                        << int{(*table)[0].code});
        // With no file to keep entries from, the whole table is written.
        std::remove(kFile);
        std::copy(std::begin(*table), std::end(*table), std::begin(g_bindingTable));
        ASSERT_TRUE(Save());
        const Bytes saved = ReadBytes(kFile);
        EXPECT_EQ(saved, ImageOf(*table));

        Desktop().Reset();
        std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
        LoadKeyConfig(Dialog());
        EXPECT_TRUE(Messages().empty());
        ExpectLoaded(*table);

        ASSERT_TRUE(Save());
        EXPECT_EQ(ReadBytes(kFile), saved) << "loading and saving again changes nothing";
        EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
    }
}

// A save writes what the player bound in this run over the file as it is at that moment. A file
// unchanged since the load keeps its hidden entries; one that another copy of the program or a
// restored backup changed meanwhile keeps those changes wherever the player bound nothing (a field
// pressed again with what it showed counts as bound); one that holds no valid image by then has
// nothing to keep, and the dialog's table is written.
TEST_F(KeyConfigTest, SaveWritesTheBoundEntriesOverTheFileAsItIsNow) {
    const Bytes other = {1, 8, 5, 5, 0, DIK_Z, 6, 6, 0, 9, 0, 10, 0, 11, 3, 3, 0, 12};
    const Bytes merged = {1, 8, 0, DIK_S, 0, DIK_Z, 0, 200, 0, 9, 0, 10, 0, 11, 3, 3, 0, 12};
    Bytes dialog = ImageOf(kMixedTable);
    dialog[3] = DIK_S;
    Bytes broken = other;
    broken[0] = 2;
    const Bytes shortFile(other.begin(), other.end() - 1);
    const struct {
        Bytes atSave;
        Bytes written;
    } cases[] = {
        {ImageOf(kMixedTable), dialog}, {other, merged}, {broken, dialog}, {shortFile, dialog}};
    for (const auto& c : cases) {
        WriteBytes(kFile, ImageOf(kMixedTable));
        LoadKeyConfig(Dialog());
        Bind(0, {kKeyboardDevice, DIK_S});
        Bind(2, kMixedTable[2]);
        WriteBytes(kFile, c.atSave);

        EXPECT_TRUE(Save());

        EXPECT_EQ(ReadBytes(kFile), c.written);
    }
}

TEST_F(KeyConfigTest, BrokenFileIsReplacedOnlyBySaving) {
    WriteBytes(kFile, {1, 7, 0, 30});
    LoadKeyConfig(Dialog());
    EXPECT_EQ(ReadBytes(kFile), (Bytes{1, 7, 0, 30}));

    Bind(0, {0, 30});
    ASSERT_TRUE(Save());

    EXPECT_EQ(ReadBytes(kFile), (Bytes{1, 8, 0, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(KeyConfigTest, EachFailedSaveStepKeepsTheOldFileAndLeavesNoTempFile) {
    for (const WriteFailure& failure : kWriteFailures) {
        SCOPED_TRACE(failure.step);
        g_configFileOps = kLoggedOps;
        WriteBytes(kFile, kDefaultImage);
        failure.inject(g_configFileOps);
        std::copy(std::begin(kMixedTable), std::end(kMixedTable), std::begin(g_bindingTable));
        Desktop().Reset();
        g_calls.clear();

        FileStatus why;
        EXPECT_FALSE(SaveKeyConfig(&why));
        ReportSaveFailure(Dialog(), why);

        EXPECT_EQ(ReadBytes(kFile), kDefaultImage);
        EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
        EXPECT_EQ(g_openFiles, 0);
        EXPECT_EQ(Desktop().messageBoxes.at(0).text,
                  std::string(kSaveFailed) + "\n" + failure.cause)
            << "saving itself shows nothing; the dialog reports why it failed";
        std::vector<std::string> calls = {"openRead config.ini", "read 100", "close"};
        calls.insert(calls.end(), failure.calls.begin(), failure.calls.end());
        EXPECT_EQ(g_calls, calls);
    }
}

TEST_F(KeyConfigTest, EachFailedCreationStepReportsAndKeepsTheDefaultsInTheDialog) {
    for (const WriteFailure& failure : kWriteFailures) {
        if (std::string(failure.step) == "read-only") {
            continue; // there is no file to be read-only
        }
        SCOPED_TRACE(failure.step);
        g_configFileOps = kLoggedOps;
        failure.inject(g_configFileOps);
        Desktop().Reset();
        std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
        g_calls.clear();

        LoadKeyConfig(Dialog());

        EXPECT_EQ(Messages(), (std::vector<std::string>{kCreating, std::string(kSaveFailed) + "\n" +
                                                                       failure.cause}));
        // The new file takes the name only if it is free.
        std::vector<std::string> calls = {"openRead config.ini"};
        for (const std::string& call : failure.calls) {
            calls.push_back(call.rfind("replace ", 0) == 0 ? "place " + call.substr(8) : call);
        }
        EXPECT_EQ(g_calls, calls);
        EXPECT_TRUE(DirectoryEntries().empty()) << "no file, not even a partial one";
        Binding defaults[kBindingCount];
        std::fill(std::begin(defaults), std::end(defaults), kDefaultBinding);
        ExpectLoaded(defaults);
    }
}

// Decided at once: one open, no pause, and nothing written.
TEST_F(KeyConfigTest, SaveOntoADirectoryFailsAndLeavesIt) {
    fs::create_directory(kFile);
    fs::create_directory(fs::path(kFile) / "inside");

    EXPECT_FALSE(Save());

    EXPECT_EQ(g_calls, std::vector<std::string>{"openRead config.ini"});
    EXPECT_TRUE(fs::is_directory(fs::path(kFile) / "inside"));
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
}

// Whatever holds the first temporary names, a file another save is writing or one left read-only,
// or a folder, neither blocks a save nor is touched by it; a file that no save has written for a
// minute is a crashed save's leftover and goes first.
TEST_F(KeyConfigTest, SaveTakesTheFirstTempNameThatNothingHasAfterRemovingLeftovers) {
    const auto makeOld = [](const char* name) {
        WriteBytes(name, Bytes(40, 0xEE));
        fs::last_write_time(name, fs::file_time_type::clock::now() - std::chrono::minutes(2));
    };
    WriteBytes("config.ini.0.tmp", Bytes(40, 0xEE));
    fs::create_directory("config.ini.1.tmp");
    // Any write bit is no read-only file; a link is not ours, nor a number past the last one.
    for (const char* name : {"2", "3", "4", "5", "6", "99", "100"}) {
        makeOld(("config.ini." + std::string(name) + ".tmp").c_str());
    }
    makeOld("precious.bin");
    fs::permissions("config.ini.4.tmp", fs::perms::owner_read);
    fs::permissions("config.ini.5.tmp", fs::perms::owner_read | fs::perms::group_write);
    fs::permissions("config.ini.6.tmp", fs::perms::owner_read | fs::perms::others_write);
    fs::create_symlink("precious.bin", "config.ini.7.tmp");
    std::copy(std::begin(kMixedTable), std::end(kMixedTable), std::begin(g_bindingTable));

    ASSERT_TRUE(Save());

    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
    EXPECT_EQ(ReadBytes("config.ini.0.tmp"), Bytes(40, 0xEE));
    EXPECT_EQ(DirectoryEntries(),
              (std::vector<std::string>{kFile, "config.ini.0.tmp", "config.ini.1.tmp",
                                        "config.ini.100.tmp", "config.ini.4.tmp",
                                        "config.ini.7.tmp", "precious.bin"}));
    EXPECT_EQ(
        std::vector<std::string>(g_calls.begin(), g_calls.begin() + 9),
        (std::vector<std::string>{"openRead config.ini", "removeStale config.ini.2.tmp",
                                  "removeStale config.ini.3.tmp", "removeStale config.ini.5.tmp",
                                  "removeStale config.ini.6.tmp", "removeStale config.ini.99.tmp",
                                  "createNew config.ini.0.tmp", "createNew config.ini.1.tmp",
                                  "createNew config.ini.2.tmp"}));
}

// With every temporary name held by a save under way (or a folder), the first start shows the
// defaults and says once why they could not be written; it never asks again.
TEST_F(KeyConfigTest, CreationWithEveryTempNameTakenReportsOnceAndShowsTheDefaults) {
    for (int n = 0; n < 100; ++n) {
        fs::create_directory("config.ini." + std::to_string(n) + ".tmp");
    }

    LoadKeyConfig(Dialog());

    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              kCreating, std::string(kSaveFailed) +
                                             "\n一時ファイルの名前がすべて使われています"}));
    Binding defaults[kBindingCount];
    std::fill(std::begin(defaults), std::end(defaults), kDefaultBinding);
    ExpectLoaded(defaults);
    EXPECT_FALSE(fs::exists(kFile));
}

// A symbolic link named config.ini, which players use to share one file between installs, stays a
// link: the file it leads to is read and replaced, with the temporary file beside it. A link that
// leads nowhere is reported, not asked about again and again. A hard link is one file under two
// names; the save replaces the name it was given, and the other keeps the old Bindings.
TEST_F(KeyConfigTest, SavingThroughALinkReplacesTheFileItLeadsTo) {
    fs::create_directory("shared");
    WriteBytes("shared/keys.bin", kDefaultImage);
    fs::create_symlink("shared/keys.bin", kFile);
    const std::string target = fs::canonical("shared/keys.bin").string();

    LoadKeyConfig(Dialog());
    Bind(0, {kKeyboardDevice, DIK_S});
    ASSERT_TRUE(Save());

    Bytes saved = kDefaultImage;
    saved[2] = kKeyboardDevice;
    saved[3] = DIK_S;
    EXPECT_TRUE(fs::is_symlink(kFile));
    EXPECT_EQ(ReadBytes("shared/keys.bin"), saved);
    EXPECT_EQ(fs::directory_iterator("shared")->path().filename(), "keys.bin") << "no leftover";
    EXPECT_TRUE(std::find(g_calls.begin(), g_calls.end(),
                          "replace " + target + ".0.tmp " + target) != g_calls.end());

    fs::remove(kFile);
    fs::create_hard_link("shared/keys.bin", kFile);
    Bind(1, {kKeyboardDevice, DIK_S});
    ASSERT_TRUE(Save());
    EXPECT_EQ(ReadBytes("shared/keys.bin"), saved);
    saved[5] = DIK_S;
    saved[4] = kKeyboardDevice;
    EXPECT_EQ(ReadBytes(kFile), saved);

    // A link that leads nowhere, round in a loop or to a folder is kept, and says so.
    fs::create_symlink("loop", "shared/loop");
    const std::pair<const char*, const char*> links[] = {
        {"shared/nothing.bin", "リンク先が見つかりません"},
        {"shared/loop", "リンクが循環しています"},
        {"shared", "ファイルではなくフォルダーです"}};
    for (const auto& [leadsTo, cause] : links) {
        fs::remove(kFile);
        fs::create_symlink(leadsTo, kFile);
        Desktop().Reset();
        LoadKeyConfig(Dialog());
        EXPECT_EQ(Messages(), Unreadable(cause));
        EXPECT_EQ(fs::read_symlink(kFile), leadsTo);
        EXPECT_FALSE(Save());
        EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{kFile, "shared"}));
    }
}

TEST_F(KeyConfigTest, SaveFailureMessageGoesToTheGivenOwner) {
    ReportSaveFailure(Dialog(), {FileFailure::kBusy, 32});

    ASSERT_EQ(Desktop().messageBoxes.size(), 1u);
    const fake::MessageBoxCall& call = Desktop().messageBoxes[0];
    EXPECT_EQ(call.owner, Dialog());
    EXPECT_EQ(call.text, std::string(kSaveFailed) + "\nほかのプログラムがファイルを使っています");
    EXPECT_EQ(call.caption, kCaption);
    EXPECT_EQ(call.type, static_cast<UINT>(MB_OK | MB_ICONERROR));
}

// What Windows answers for a failed open, a failed write or move, and what that means. A file
// whose deletion is pending has no attributes and answers access denied; Wine never shows one.
TEST(FileFailureTest, WindowsErrorsDecideWhatFailed) {
    constexpr DWORD kNone = INVALID_FILE_ATTRIBUTES;
    constexpr DWORD kArchive = 0x20; // FILE_ATTRIBUTE_ARCHIVE, a plain file
    const struct {
        bool creating;
        DWORD openError, attributes, attributesError;
        FileFailure expected;
    } opens[] = {
        {false, ERROR_FILE_NOT_FOUND, kNone, ERROR_PATH_NOT_FOUND, FileFailure::kMissing},
        {false, ERROR_ACCESS_DENIED, kNone, ERROR_ACCESS_DENIED, FileFailure::kBusy},
        {false, ERROR_SHARING_VIOLATION, kArchive, 0, FileFailure::kBusy},
        {false, ERROR_LOCK_VIOLATION, kArchive, 0, FileFailure::kBusy},
        {false, ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_DIRECTORY, 0, FileFailure::kFolder},
        {false, ERROR_ACCESS_DENIED, kArchive, 0, FileFailure::kReadDenied},
        {true, ERROR_FILE_EXISTS, kArchive | FILE_ATTRIBUTE_READONLY, 0, FileFailure::kTaken},
        {true, ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_DIRECTORY, 0, FileFailure::kTaken},
        {true, ERROR_ACCESS_DENIED, kNone, ERROR_ACCESS_DENIED, FileFailure::kTaken},
        {true, ERROR_ACCESS_DENIED, kNone, ERROR_FILE_NOT_FOUND, FileFailure::kFolderDenied},
        {true, ERROR_PATH_NOT_FOUND, kNone, ERROR_PATH_NOT_FOUND, FileFailure::kFolderMissing},
    };
    for (const auto& o : opens) {
        EXPECT_EQ(
            DecideOpenFailure(o.creating, o.openError, o.attributes, o.attributesError).failure,
            o.expected)
            << o.creating << " " << o.openError << " " << o.attributes << " " << o.attributesError;
    }
    // Writing, flushing and moving; placing without replacing finds the name taken.
    const struct {
        DWORD error;
        FileFailure expected;
    } steps[] = {
        {ERROR_ALREADY_EXISTS, FileFailure::kTaken},
        {ERROR_LOCK_VIOLATION, FileFailure::kBusy},
        {ERROR_SHARING_VIOLATION, FileFailure::kBusy},
        {ERROR_DISK_FULL, FileFailure::kDiskFull},
        {ERROR_HANDLE_DISK_FULL, FileFailure::kDiskFull},
        {ERROR_PATH_NOT_FOUND, FileFailure::kFolderMissing},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(DecideSystemFailure(step.error).failure, step.expected) << step.error;
    }
}

// Which file a load or save edits, from the facts as each system gives them: Windows the link's
// reparse tag and final paths ("\\?\" forms), Wine final paths alone, POSIX lstat and realpath.
TEST(FileDecisionTest, EditedFileIsTheNameOrWhereItsLinkLeads) {
    using F = Followed;
    const std::string far = R"(\\?\D:\)" + std::string(32000, 'x') + R"(\keys.bin)";
    const char* const kGame = R"(\\?\C:\G)";
    const struct {
        bool exists, isLink;
        F followed;
        const char *finalPath, *folderPath, *edited;
        FileFailure problem = FileFailure::kNone;
    } rows[] = {
        {false, false, F::kMissing, nullptr, nullptr, kFile},
        // Plain files: short names, SUBST drives and case are resolved in both final paths.
        {true, false, F::kFile, R"(\\?\C:\G\config.ini)", kGame, kFile},
        {true, false, F::kFile, R"(\\?\C:\g\CONFIG.INI)", kGame, kFile},
        {true, false, F::kFile, R"(\\?\D:\config.ini)", R"(\\?\D:\)", kFile},
        // Links Wine does not tell: the file opened lies elsewhere.
        {true, false, F::kFile, R"(\\?\Z:\keys.bin)", R"(\\?\Z:\g)", R"(\\?\Z:\keys.bin)"},
        {true, false, F::kFile, R"(\\?\C:\G2\config.ini)", kGame, R"(\\?\C:\G2\config.ini)"},
        {true, false, F::kFile, R"(\\?\C:\G\config.ini.b)", kGame, R"(\\?\C:\G\config.ini.b)"},
        // Symbolic links: to a share, to a path of any length, POSIX's.
        {true, true, F::kFile, R"(\\?\UNC\nas\g\k.bin)", kGame, R"(\\?\UNC\nas\g\k.bin)"},
        {true, true, F::kFile, far.c_str(), kGame, far.c_str()},
        {true, true, F::kFile, "/p/keys.bin", nullptr, "/p/keys.bin"},
        {true, true, F::kFile, nullptr, nullptr, kFile, FileFailure::kOther}, // no final path
        // Leading nowhere, Windows's link and Wine's unlisted name alike: kept.
        {true, true, F::kMissing, nullptr, nullptr, kFile, FileFailure::kLinkBroken},
        {true, false, F::kMissing, nullptr, nullptr, kFile, FileFailure::kLinkBroken},
        {true, false, F::kLoop, nullptr, nullptr, kFile, FileFailure::kLinkLoop},
    };
    static char edited[kPathSize];
    for (const auto& r : rows) {
        const NameFacts facts = {r.exists, r.isLink, r.followed, r.finalPath, r.folderPath};
        EXPECT_EQ(DecideEditedFile(kFile, facts, edited, sizeof edited).failure, r.problem)
            << r.edited;
        EXPECT_STREQ(edited, r.edited);
    }
    const NameFacts tooLong = {true, true, F::kFile, far.c_str(), kGame};
    EXPECT_EQ(DecideEditedFile(kFile, tooLong, edited, far.size()).failure, FileFailure::kOther);
    EXPECT_STREQ(edited, kFile);
    char share[] = R"(\\?\UNC\nas\g\k.bin)";
    EXPECT_STREQ(ShownPath(share), R"(\\nas\g\k.bin)");
}

// A leftover goes only when it is a file of ours: each limit with a row on either side.
TEST(FileDecisionTest, OnlyOurOwnLeftoverIsRemoved) {
    const char* const kLeftover = "config.ini.3.tmp";
    const struct {
        const char* what;
        void (*change)(LeftoverFacts&);
        bool removed;
    } rows[] = {
        {"a minute old", [](LeftoverFacts&) {}, true},
        {"59 s old", [](LeftoverFacts& f) { f.secondsSinceWrite = 59; }, false},
        {"read-only", [](LeftoverFacts& f) { f.readOnly = true; }, false},
        {"two names", [](LeftoverFacts& f) { f.links = 2; }, false},
        {"open elsewhere", [](LeftoverFacts& f) { f.openElsewhere = true; }, false},
        {"a symbolic link", [](LeftoverFacts& f) { f.name.isLink = true; }, false},
        {"another reparse point", [](LeftoverFacts& f) { f.reparsePoint = true; }, false},
        {"opened through a link (Wine)",
         [](LeftoverFacts& f) { f.name.finalPath = R"(\\?\C:\Saves\keys.bin)"; }, false},
        {"a folder", [](LeftoverFacts& f) { f.name.followed = Followed::kFolder; }, false},
        {"gone", [](LeftoverFacts& f) { f.name.exists = false; }, false},
        {"POSIX: no final paths",
         [](LeftoverFacts& f) { f.name.finalPath = f.name.folderPath = nullptr; }, true},
    };
    for (const auto& r : rows) {
        LeftoverFacts facts;
        facts.name = {true, false, Followed::kFile, R"(\\?\C:\Game\config.ini.3.tmp)",
                      R"(\\?\C:\Game)"};
        facts.links = 1;
        facts.secondsSinceWrite = kStaleTempSeconds;
        r.change(facts);
        EXPECT_EQ(DecideLeftoverRemoval(kLeftover, facts), r.removed) << r.what;
    }
}

// The path line warns in the Windows folder and in a temporary one, from final paths ("\\?\" forms,
// GetTempPathW's in short names resolved), ignoring case as Windows does.
TEST(FileDecisionTest, PathLineWarnsInTheWindowsFolderAndTheTemporaryOnes) {
    const WCHAR* const temporary[] = {LR"(\\?\C:\Users\Pl\AppData\Local\Temp)", LR"(\\?\Z:\tmp)",
                                      L""};
    const std::pair<FolderWarning, std::vector<const WCHAR*>> rows[] = {
        {FolderWarning::kWindowsFolder, {LR"(\\?\C:\windows)", LR"(\\?\c:\WINDOWS\System32)"}},
        {FolderWarning::kTemporaryFolder,
         {LR"(\\?\C:\Users\Pl\AppData\Local\Temp\T1.zip)", LR"(\\?\c:\users\pl\appdata\local\temp)",
          LR"(\\?\Z:\tmp\x)"}},
        {FolderWarning::kNone,
         {LR"(\\?\C:\Games)", LR"(\\?\C:\)", LR"(\\?\C:\windows2)",
          LR"(\\?\C:\Users\Pl\AppData\Local\Temp2)", LR"(\\?\Z:\tmpfiles)", L""}}};
    for (const auto& [warning, folders] : rows) {
        for (const WCHAR* folder : folders) {
            EXPECT_EQ(DecideFolderWarning(folder, LR"(\\?\C:\windows)", temporary, 3), warning)
                << std::wstring(folder).size();
        }
    }
}

} // namespace
