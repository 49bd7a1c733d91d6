// The INI text functions and the file-backed store, on the shared "Velmora Utilities.ini" other
// Velmora tools write too: values read as those tools read them, and a save that changes our line
// and no other byte.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/FailingFileSystem.h"
#include "tests/TestSupport.h"
#include "util/IniFile.h"
#include "util/IniSettingsStore.h"

namespace zenivor::test {
namespace {

namespace fs = std::filesystem;

const std::string kBom = "\xEF\xBB\xBF";

// A file as another Velmora tool leaves it, CRLF and with a BOM, with our section in the middle.
std::string SharedFile(const std::string& zenivorLines) {
    return kBom +
           "; Velmora Utilities settings\r\n"
           "[Skyview]\r\n"
           "Recent File=C:\\Games\\Velmora\\sky.tga\r\n"
           "LastPath=C:\\Skyview\\\r\n"
           "\r\n"
           "[ zenivor ]\r\n" +
           zenivorLines +
           ";LastPath=/commented/\r\n"
           "\r\n"
           "[Terrain]\r\n"
           "Semi=x;y\r\n"
           "LastPath = /terrain/\r\n";
}

const std::string kZenivorLines =
    "; where the About box was\r\n"
    "About ZenivorTop = 6555\r\n"
    "about zenivorleft=120\r\n"
    "LASTPATH\t=\t/home/ann/Ciel d'\xC3\xA9t\xC3\xA9/  \r\n"
    "Semi=a;b\r\n";

std::string Text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::vector<std::uint8_t> TextBytes(const std::string& text) { return {text.begin(), text.end()}; }

struct LookupRow {
    const char* name;
    std::string text;
    std::string section;
    std::string key;
    std::optional<std::string> expected;
};

TEST(IniText, ReadsValuesAsTheProfileFunctionsDo) {
    const std::string shared = SharedFile(kZenivorLines);
    const LookupRow rows[] = {
        {"backslashes are literal", shared, "Skyview", "Recent File", "C:\\Games\\Velmora\\sky.tga"},
        {"trailing backslash", shared, "Skyview", "LastPath", "C:\\Skyview\\"},
        {"key in another case", shared, "skyview", "RECENT FILE", "C:\\Games\\Velmora\\sky.tga"},
        {"section with blanks and case", shared, "Zenivor", "About ZenivorTop", "6555"},
        {"lower-case key line", shared, "ZENIVOR", "About ZenivorLeft", "120"},
        {"tabs and blanks trimmed", shared, "Zenivor", "LastPath", "/home/ann/Ciel d'\xC3\xA9t\xC3\xA9/"},
        {"semicolon inside a value", shared, "Zenivor", "Semi", "a;b"},
        {"same key, the other section", shared, "Terrain", "Semi", "x;y"},
        {"after a commented line", shared, "Terrain", "LastPath", "/terrain/"},
        {"key of another section", shared, "Zenivor", "Recent File", std::nullopt},
        {"missing section", shared, "Nowhere", "LastPath", std::nullopt},
        {"comment is no key", "[Z]\n;k=1\n", "Z", ";k", std::nullopt},
        {"indented comment", "[Z]\n  ; k=1\n", "Z", "; k", std::nullopt},
        {"first key wins", "[Z]\nk=1\nK=2\n", "Z", "k", "1"},
        {"first section wins", "[Z]\nj=1\n[z]\nk=2\n", "Z", "k", std::nullopt},
        {"key before any section", "k=0\n[Z]\n", "Z", "k", std::nullopt},
        {"empty value", "[Z]\nk=\n", "Z", "k", ""},
        {"equals sign in a value", "[Z]\nk=a=b\n", "Z", "k", "a=b"},
        {"line without equals sign", "[Z]\nk\n", "Z", "k", std::nullopt},
        {"text after the header", "[Z] ; note\nk=1", "Z", "k", "1"},
        {"BOM then header", kBom + "[Z]\nk=1", "Z", "k", "1"},
        {"BOM elsewhere is a byte", "[Z]\n" + kBom + "k=1\n", "Z", "k", std::nullopt},
        {"bare CR at the end", "[Z]\nk=1\r", "Z", "k", "1"},
        {"legacy spelling", "[Z]\nAbout%20ZenivorTop=6555\n", "Z", "About ZenivorTop", "6555"},
        {"literal beats legacy", "[Z]\nA%20B=old\nA B=new\n", "Z", "A B", "new"},
        {"legacy in any case", "[Z]\nabout%20zenivortop=1\n", "Z", "About ZenivorTop", "1"},
        {"legacy only for blanks", "[Z]\nLastPath=/a/\n", "Z", "Last Path", std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(ini::Lookup(row.text, row.section, row.key), row.expected) << row.name;
}

struct EditRow {
    const char* name;
    std::string before;
    std::string key;
    std::string value;
    std::string after;
};

TEST(IniText, SavingChangesOnlyTheOneLine) {
    const std::string shared = SharedFile(kZenivorLines);
    const EditRow rows[] = {
        {"our line in the shared file", shared, "LastPath", "/tmp/sky/",
         SharedFile("; where the About box was\r\n"
                    "About ZenivorTop = 6555\r\n"
                    "about zenivorleft=120\r\n"
                    "LastPath=/tmp/sky/\r\n"
                    "Semi=a;b\r\n")},
        {"new key after the section's last key", shared, "Window State", "2",
         SharedFile(kZenivorLines + "Window State=2\r\n")},
        {"literal backslashes and semicolons", shared, "Recent File", "C:\\Games\\Velmora\\sky.tga",
         SharedFile(kZenivorLines + "Recent File=C:\\Games\\Velmora\\sky.tga\r\n")},
        {"section without keys", "[Zenivor]\n; nothing yet\n\n[Other]\nk=v\n", "LastPath", "/a/",
         "[Zenivor]\nLastPath=/a/\n; nothing yet\n\n[Other]\nk=v\n"},
        {"last section without final line end", "[Zenivor]\r\nA=1", "LastPath", "/a/",
         "[Zenivor]\r\nA=1\r\nLastPath=/a/\r\n"},
        {"new section after a final line end", "[Other]\nk=v\n", "LastPath", "/a/",
         "[Other]\nk=v\n[Zenivor]\nLastPath=/a/\n"},
        {"new section without final line end", "[Other]\nk=v", "LastPath", "/a/",
         "[Other]\nk=v\n[Zenivor]\nLastPath=/a/\n"},
        {"new section in a CRLF file", "[Other]\r\nk=v", "LastPath", "/a/",
         "[Other]\r\nk=v\r\n[Zenivor]\r\nLastPath=/a/\r\n"},
        {"first line decides the line ends", "[Other]\nk=v\r\n", "LastPath", "/a/",
         "[Other]\nk=v\r\n[Zenivor]\nLastPath=/a/\n"},
        {"empty file", "", "LastPath", "/a/", "[Zenivor]\nLastPath=/a/\n"},
        {"BOM only", kBom, "LastPath", "/a/", kBom + "[Zenivor]\nLastPath=/a/\n"},
        {"legacy key rewritten literally", "[Zenivor]\nAbout%20ZenivorTop=6555\nLastPath=/a/\n", "About ZenivorTop",
         "7000", "[Zenivor]\nAbout ZenivorTop=7000\nLastPath=/a/\n"},
        {"legacy key with the same value", "[Zenivor]\r\nAbout%20ZenivorTop=6555\r\n", "About ZenivorTop", "6555",
         "[Zenivor]\r\nAbout ZenivorTop=6555\r\n"},
        {"legacy key of another section", "[Other]\nAbout%20ZenivorTop=1\n", "About ZenivorTop", "2",
         "[Other]\nAbout%20ZenivorTop=1\n[Zenivor]\nAbout ZenivorTop=2\n"},
        {"same value in another spelling", "[ZENIVOR]\nlastpath = /a/\n", "LastPath", "/a/",
         "[ZENIVOR]\nlastpath = /a/\n"},
        {"new value in another spelling", "[ZENIVOR]\r\nlastpath = /a/\r\n[X]\r\n", "LastPath", "/b/",
         "[ZENIVOR]\r\nLastPath=/b/\r\n[X]\r\n"},
        {"only the first section", "[Zenivor]\nA=1\n[Other]\n[Zenivor]\nLastPath=/old/\n", "LastPath", "/new/",
         "[Zenivor]\nA=1\nLastPath=/new/\n[Other]\n[Zenivor]\nLastPath=/old/\n"},
        {"only the first of twin keys", "[Zenivor]\nLastPath=/1/\nLastPath=/2/\n", "LastPath", "/3/",
         "[Zenivor]\nLastPath=/3/\nLastPath=/2/\n"},
        {"BOM and our line first", kBom + "[Zenivor]\nLastPath=/a/", "LastPath", "/b/",
         kBom + "[Zenivor]\nLastPath=/b/"},
    };
    for (const auto& row : rows) {
        const auto after = ini::WithValue(row.before, "Zenivor", row.key, row.value);
        ASSERT_TRUE(after.has_value()) << row.name;
        EXPECT_EQ(*after, row.after) << row.name;
        EXPECT_EQ(ini::Lookup(*after, "Zenivor", row.key), row.value) << row.name;
    }
}

struct RefusedRow {
    const char* name;
    std::string section;
    std::string key;
    std::string value;
};

TEST(IniText, RefusesWhatCouldNotBeReadBack) {
    const RefusedRow rows[] = {
        {"line break in the value", "Zenivor", "LastPath", "/a\n/"},
        {"CR in the value", "Zenivor", "LastPath", "/a\r/"},
        {"leading blank", "Zenivor", "LastPath", " /a/"},
        {"trailing tab", "Zenivor", "LastPath", "/a/\t"},
        {"NUL in the value", "Zenivor", "LastPath", std::string("/a\0/", 4)},
        {"Latin-1 value", "Zenivor", "LastPath", "/\xE9t\xE9/"},
        {"empty key", "Zenivor", "", "1"},
        {"equals sign in the key", "Zenivor", "a=b", "1"},
        {"key like a header", "Zenivor", "[a", "1"},
        {"key like a comment", "Zenivor", ";a", "1"},
        {"blank around the key", "Zenivor", "a ", "1"},
        {"empty section", "", "k", "1"},
        {"bracket in the section", "Zen]ivor", "k", "1"},
        {"blank around the section", " Zenivor", "k", "1"},
        {"line break in the section", "Zen\nivor", "k", "1"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ini::WithValue("", row.section, row.key, row.value), std::nullopt) << row.name;
        EXPECT_EQ(ini::WithValue(SharedFile(kZenivorLines), row.section, row.key, row.value), std::nullopt) << row.name;
    }
}

TEST(IniText, TextIsUtf8WithoutNul) {
    const struct {
        std::string bytes;
        bool text;
    } rows[] = {
        {"", true},
        {"[Zenivor]\r\nLastPath=/a/\r\n", true},
        {kBom + "k=\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8C\x85", true},  // é, €, a sunrise
        {"\xF4\x8F\xBF\xBF", true},                               // U+10FFFF
        {std::string("k=\0", 3), false},
        {"k=\xE9t\xE9", false},                        // Latin-1
        {std::string("\xFF\xFE[\0Z\0]\0", 8), false},  // UTF-16
        {"\xC0\xAF", false},                           // overlong '/'
        {"\xE0\x80\xAF", false},                       // overlong '/' in three bytes
        {"\xED\xA0\x80", false},                       // a surrogate
        {"\xF4\x90\x80\x80", false},                   // beyond U+10FFFF
        {"\x80", false},                               // a lone continuation byte
        {"k=\xE2\x82", false},                         // cut short
    };
    for (const auto& row : rows) EXPECT_EQ(ini::IsText(row.bytes), row.text) << testing::PrintToString(row.bytes);
}

class IniSettingsStoreTest : public testing::Test {
protected:
    TempDir dir_;
    const fs::path file_ = dir_ / "Velmora Utilities.ini";
};

TEST_F(IniSettingsStoreTest, ReadsTheSharedFileAndChangesOneLine) {
    WriteBytes(file_, TextBytes(SharedFile(kZenivorLines)));
    IniSettingsStore store(file_);
    EXPECT_EQ(store.GetSetting(kAppName, kProgramTitle, "About ZenivorTop", "0"), "6555");
    EXPECT_EQ(store.GetSetting(kAppName, kProgramTitle, kLastPathKey, ""), "/home/ann/Ciel d'\xC3\xA9t\xC3\xA9/");
    EXPECT_EQ(store.GetSetting(kAppName, kProgramTitle, "Semi", ""), "a;b");
    EXPECT_EQ(store.GetSetting(kAppName, "Skyview", "Recent File", ""), "C:\\Games\\Velmora\\sky.tga");
    EXPECT_EQ(store.GetSetting(kAppName, kProgramTitle, "Missing", "fallback"), "fallback");

    ASSERT_TRUE(store.SaveSetting(kAppName, kProgramTitle, "About ZenivorTop", "7200"));
    EXPECT_EQ(Text(ReadBytes(file_)), SharedFile("; where the About box was\r\n"
                                                 "About ZenivorTop=7200\r\n"
                                                 "about zenivorleft=120\r\n"
                                                 "LASTPATH\t=\t/home/ann/Ciel d'\xC3\xA9t\xC3\xA9/  \r\n"
                                                 "Semi=a;b\r\n"));
    EXPECT_EQ(EntriesIn(dir_.Path()), std::vector<std::string>{"Velmora Utilities.ini"});
}

TEST_F(IniSettingsStoreTest, RoundTripThroughAFreshStoreIntoAMissingFolder) {
    const fs::path nested = dir_ / "config" / "velmora" / "Velmora Utilities.ini";
    const std::vector<std::pair<std::string, std::string>> values = {
        {kLastPathKey, "/home/ann/Ciel d'\xC3\xA9t\xC3\xA9/"},
        {"About ZenivorTop", "6555"},
        {"About ZenivorLeft", "-120"},
        {"Recent File", "C:\\Games\\Velmora\\sky.tga"},
        {"Semi", "a;b"},
    };
    {
        IniSettingsStore store(nested);
        EXPECT_EQ(store.GetSetting(kAppName, kProgramTitle, kLastPathKey, "none"), "none");
        for (const auto& [key, value] : values) ASSERT_TRUE(store.SaveSetting(kAppName, kProgramTitle, key, value));
    }
    IniSettingsStore fresh(nested);
    for (const auto& [key, value] : values) EXPECT_EQ(fresh.GetSetting(kAppName, kProgramTitle, key, ""), value);
    EXPECT_EQ(Text(ReadBytes(nested)),
              "[Zenivor]\nLastPath=/home/ann/Ciel d'\xC3\xA9t\xC3\xA9/\nAbout ZenivorTop=6555\n"
              "About ZenivorLeft=-120\nRecent File=C:\\Games\\Velmora\\sky.tga\nSemi=a;b\n");
}

TEST_F(IniSettingsStoreTest, LegacyKeysAreReadAndRewrittenLiterally) {
    WriteBytes(file_, TextBytes("[Zenivor]\nAbout%20ZenivorTop=6555\nAbout%20ZenivorLeft=120\nLastPath=/a/\n"));
    IniSettingsStore store(file_);
    EXPECT_EQ(store.GetSetting(kAppName, kProgramTitle, "About ZenivorTop", ""), "6555");
    ASSERT_TRUE(store.SaveSetting(kAppName, kProgramTitle, "About ZenivorLeft", "240"));
    EXPECT_EQ(Text(ReadBytes(file_)), "[Zenivor]\nAbout%20ZenivorTop=6555\nAbout ZenivorLeft=240\nLastPath=/a/\n");
    EXPECT_EQ(IniSettingsStore(file_).GetSetting(kAppName, kProgramTitle, "About ZenivorLeft", ""), "240");
}

TEST_F(IniSettingsStoreTest, AValueAlreadyStoredIsNotWritten) {
    const std::string text = SharedFile(kZenivorLines);
    WriteBytes(file_, TextBytes(text));
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    fs::last_write_time(file_, longAgo);
    FailingFileSystem files;
    IniSettingsStore store(file_, files);
    EXPECT_TRUE(store.SaveSetting(kAppName, kProgramTitle, "About ZenivorTop", "6555"));
    EXPECT_TRUE(store.SaveSetting(kAppName, kProgramTitle, kLastPathKey, "/home/ann/Ciel d'\xC3\xA9t\xC3\xA9/"));
    EXPECT_EQ(files.Count(Call::Stage), 0);
    EXPECT_EQ(files.Count(Call::OpenFolder), 0);
    EXPECT_EQ(Text(ReadBytes(file_)), text);
    EXPECT_EQ(fs::last_write_time(file_), longAgo);
    // A changed value does go through Write, so the counts above would have seen one.
    EXPECT_TRUE(store.SaveSetting(kAppName, kProgramTitle, "About ZenivorTop", "1"));
    EXPECT_EQ(files.Count(Call::Stage), 1);
}

TEST_F(IniSettingsStoreTest, AFileThatIsNotOursIsLeftAlone) {
    const std::string ours = "[Zenivor]\nLastPath=/kept/\n";
    const struct {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"NUL byte", ours + std::string("Note=a\0b\n", 9)},
        {"Latin-1", ours + "Name=\xE9t\xE9\n"},
        {"UTF-16", std::string("\xFF\xFE[\0Z\0]\0\n\0", 10)},
        {"over 1 MiB", ours + "; " + std::string(kMaxIniBytes, 'x') + "\n"},
    };
    for (const auto& row : rows) {
        WriteBytes(file_, TextBytes(row.bytes));
        IniSettingsStore store(file_);
        EXPECT_EQ(store.GetSetting(kAppName, kProgramTitle, kLastPathKey, "default"), "default") << row.name;
        EXPECT_FALSE(store.SaveSetting(kAppName, kProgramTitle, kLastPathKey, "/new/")) << row.name;
        EXPECT_EQ(Text(ReadBytes(file_)), row.bytes) << row.name;
        EXPECT_EQ(EntriesIn(dir_.Path()), std::vector<std::string>{"Velmora Utilities.ini"}) << row.name;
    }
}

TEST_F(IniSettingsStoreTest, AFileThatCannotBeReadIsLeftAlone) {
    const std::string text = "[Zenivor]\nLastPath=/kept/\n";
    WriteBytes(file_, TextBytes(text));
    const struct {
        const char* name;
        Error error;
    } rows[] = {
        {"permission denied", {errc::FileOpen, EACCES}},
        {"a folder", {errc::NotAFile, EISDIR}},
        {"a FIFO", {errc::NotAFile, 0, "a FIFO"}},
        {"read error", {errc::FileRead, EIO}},
    };
    for (const auto& row : rows) {
        FailingFileSystem files;
        files.FailOn(Call::Open, 1, row.error);
        IniSettingsStore store(file_, files);
        EXPECT_FALSE(store.SaveSetting(kAppName, kProgramTitle, kLastPathKey, "/new/")) << row.name;
        EXPECT_EQ(files.Count(Call::Stage), 0) << row.name;
        EXPECT_EQ(Text(ReadBytes(file_)), text) << row.name;
    }
}

TEST_F(IniSettingsStoreTest, AFolderOrAFileInTheWayIsReported) {
    fs::create_directory(file_);
    IniSettingsStore atFolder(file_);
    EXPECT_EQ(atFolder.GetSetting(kAppName, kProgramTitle, kLastPathKey, "default"), "default");
    EXPECT_FALSE(atFolder.SaveSetting(kAppName, kProgramTitle, kLastPathKey, "/tmp/"));
    EXPECT_TRUE(fs::is_directory(file_));

    WriteBytes(dir_ / "a file", {'x'});
    IniSettingsStore underFile(dir_ / "a file" / "settings.ini");
    EXPECT_FALSE(underFile.SaveSetting(kAppName, kProgramTitle, kLastPathKey, "/tmp/"));
    EXPECT_EQ(ReadBytes(dir_ / "a file"), std::vector<std::uint8_t>{'x'});
}

TEST_F(IniSettingsStoreTest, AFailedStepKeepsTheOldFileAndReportsIt) {
    const std::string before = "; shared\n[Zenivor]\nLastPath=/old/\n";
    const struct {
        Call call;
        const char* expected;  // the file_ after the failed save
    } rows[] = {
        {Call::OpenFolder, before.c_str()},
        {Call::Stage, before.c_str()},
        {Call::Replace, before.c_str()},
    };
    for (const auto& row : rows) {
        WriteBytes(file_, TextBytes(before));
        FailingFileSystem files;
        files.FailOn(row.call, 1, Error{errc::FileWrite, ENOSPC});
        IniSettingsStore store(file_, files);
        EXPECT_FALSE(store.SaveSetting(kAppName, kProgramTitle, kLastPathKey, "/new/")) << row.expected;
        EXPECT_EQ(Text(ReadBytes(file_)), row.expected);
        EXPECT_EQ(EntriesIn(dir_.Path()), std::vector<std::string>{"Velmora Utilities.ini"});
    }
}

TEST_F(IniSettingsStoreTest, AnotherSaveMeanwhileIsKept) {
    WriteBytes(file_, TextBytes("[Zenivor]\nLastPath=/old/\n"));
    FailingFileSystem files;
    // Another instance saves between our first read and our taking the folder's lock.
    files.Before(Call::OpenFolder, 1,
                 [&] { WriteBytes(file_, TextBytes("[Zenivor]\nLastPath=/old/\nAbout ZenivorTop=9\n")); });
    IniSettingsStore store(file_, files);
    ASSERT_TRUE(store.SaveSetting(kAppName, kProgramTitle, kLastPathKey, "/new/"));
    EXPECT_EQ(Text(ReadBytes(file_)), "[Zenivor]\nLastPath=/new/\nAbout ZenivorTop=9\n");
}

TEST_F(IniSettingsStoreTest, AValueThatCannotBeStoredIsRefused) {
    WriteBytes(file_, TextBytes("[Zenivor]\nLastPath=/old/\n"));
    IniSettingsStore store(file_);
    EXPECT_FALSE(store.SaveSetting(kAppName, kProgramTitle, kLastPathKey, "/two\nlines/"));
    EXPECT_EQ(Text(ReadBytes(file_)), "[Zenivor]\nLastPath=/old/\n");
}

// A linked settings file stays linked, also when the file it names is not there yet; a
// replaced file keeps its permission bits and (as root, saving for a user) its owner.
TEST_F(IniSettingsStoreTest, KeepsTheModeAndOwnerAndFollowsALink) {
    const bool root = ::geteuid() == 0;
    const struct {
        const char* name;
        bool linked, targetThere;
    } rows[] = {{"a plain file", false, true}, {"a link", true, true}, {"a dangling link", true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(dir_.Path() / "dotfiles");
        fs::remove(file_);
        const fs::path real = row.linked ? dir_ / "dotfiles" / "velmora.ini" : file_;
        fs::create_directories(real.parent_path());
        if (row.targetThere) {
            WriteBytes(real, TextBytes("[Zenivor]\nLastPath=/old/\n"));
            if (root) {
                ASSERT_EQ(::chown(real.c_str(), 12345, 23456), 0);
            }
            fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
        }
        if (row.linked) fs::create_symlink("dotfiles/velmora.ini", file_);  // relative, as dotfile managers make them
        IniSettingsStore store(file_);
        ASSERT_TRUE(store.SaveSetting(kAppName, kProgramTitle, kLastPathKey, "/new/"));
        EXPECT_EQ(fs::is_symlink(file_), row.linked);
        EXPECT_EQ(Text(ReadBytes(real)), "[Zenivor]\nLastPath=/new/\n");
        if (!row.targetThere) continue;
        EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        struct stat status {};
        ASSERT_EQ(::stat(real.c_str(), &status), 0);
        if (root) {
            EXPECT_EQ(status.st_uid, 12345u);
            EXPECT_EQ(status.st_gid, 23456u);
        }
    }
}

// Sets an environment variable for as long as it lives (unset when value is null).
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value == nullptr)
            ::unsetenv(name);
        else
            ::setenv(name, value, 1);
    }
    ~ScopedEnvironment() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(IniSettingsStoreFile, DefaultFileFollowsXdgConfigHome) {
    const ScopedEnvironment home("HOME", "/home/ann");
    const struct {
        const char* xdg;
        const char* expected;
    } rows[] = {
        {"/srv/conf", "/srv/conf/Velmora Utilities.ini"},
        {"", "/home/ann/.config/Velmora Utilities.ini"},
        {nullptr, "/home/ann/.config/Velmora Utilities.ini"},
        {"relative/conf", "/home/ann/.config/Velmora Utilities.ini"},
    };
    for (const auto& row : rows) {
        const ScopedEnvironment xdg("XDG_CONFIG_HOME", row.xdg);
        EXPECT_EQ(IniSettingsStore::DefaultFileName(), fs::path(row.expected)) << (row.xdg ? row.xdg : "(unset)");
    }
}

TEST(IniSettingsStoreFile, NoFileNameMeansEachApplicationsDefault) {
    TempDir dir;
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", Utf8FromPath(dir / "config").c_str());
    IniSettingsStore store;
    ASSERT_TRUE(store.SaveSetting(kAppName, kProgramTitle, kLastPathKey, "/a/"));
    ASSERT_TRUE(store.SaveSetting("Other Tool", kProgramTitle, kLastPathKey, "/b/"));
    EXPECT_EQ(Text(ReadBytes(dir / "config" / "Velmora Utilities.ini")), "[Zenivor]\nLastPath=/a/\n");
    EXPECT_EQ(Text(ReadBytes(dir / "config" / "Other Tool.ini")), "[Zenivor]\nLastPath=/b/\n");
    EXPECT_EQ(store.GetSetting("Other Tool", kProgramTitle, kLastPathKey, ""), "/b/");
}

}  // namespace
}  // namespace zenivor::test
