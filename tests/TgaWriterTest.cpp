// The TGA writer and the file system under it: the exact layout every reader and the game
// take, and writes that fail without touching the file that was there.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "imaging/ImageFiles.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

Result<void> Save(const std::filesystem::path& target, const RgbImage& image) {
    Result<OutputFolder> folder =
        SystemFileSystem().OpenFolderFor(target.parent_path(), Utf8FromPath(target.filename()));
    if (!folder) return folder.Error();
    return WriteTga(SystemFileSystem(), *folder, Utf8FromPath(target.filename()), image);
}

TEST(TgaWriter, WritesUncompressed24BitBottomLeftWithoutExtras) {
    TempDir dir;
    const RgbImage image = CoordinateImage(5, 3);
    ASSERT_TRUE(Save(dir / "out.tga", image));
    const auto bytes = ReadBytes(dir / "out.tga");
    ASSERT_EQ(bytes.size(), 18u + 5 * 3 * 3);
    const std::vector<std::uint8_t> header(bytes.begin(), bytes.begin() + 18);
    EXPECT_EQ(header, (std::vector<std::uint8_t>{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 3, 0, 24, 0}));
    // The first stored pixel is the bottom-left one, in blue, green, red order.
    const Rgb bottomLeft = image.At(0, 2);
    EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin() + 18, bytes.begin() + 21)),
              (std::vector<std::uint8_t>{bottomLeft[2], bottomLeft[1], bottomLeft[0]}));
    EXPECT_EQ(ReadTga(dir / "out.tga"), image);
}

TEST(TgaWriter, FaceFileHasTheSizeTheGameExpects) {
    TempDir dir;
    const RgbImage face = CoordinateImage(504, 504);
    ASSERT_TRUE(Save(dir / "F0010001.tga", face));
    EXPECT_EQ(std::filesystem::file_size(dir / "F0010001.tga"), 18u + 504u * 504u * 3u);
    EXPECT_EQ(ReadTga(dir / "F0010001.tga"), face);
}

TEST(TgaWriter, PathsWithBlanksAndNonAsciiCharacters) {
    TempDir dir;
    const auto folder = dir / PathFromUtf8("Ciel d'été – 夜空");
    std::filesystem::create_directory(folder);
    const RgbImage image = CoordinateImage(4, 4);
    const auto target = folder / PathFromUtf8("ciel bleu é.tga");
    ASSERT_TRUE(Save(target, image));
    EXPECT_EQ(ReadTga(target), image);
}

TEST(TgaWriter, FailedWritesLeaveNothingBehind) {
    TempDir dir;
    const RgbImage image = CoordinateImage(4, 4);
    const Result<void> noFolder = Save(dir / "no-such-folder" / "out.tga", image);
    ASSERT_FALSE(noFolder);
    EXPECT_EQ(noFolder.Error().systemError, ENOENT);
    // A folder where the file should go: the finished file cannot replace it.
    std::filesystem::create_directory(dir / "taken.tga");
    const Result<void> taken = Save(dir / "taken.tga", image);
    ASSERT_FALSE(taken);
    EXPECT_EQ(taken.Error().systemError, EISDIR);
    EXPECT_EQ(EntriesIn(dir.Path()), std::vector<std::string>{"taken.tga"});
}

// New files get the mode any new file gets: 0666 less the umask.
TEST(TgaWriter, NewFilesHaveTheUsualMode) {
    TempDir dir;
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{0}}) {
        const auto face = dir / ("face " + std::to_string(mask) + ".tga");
        const mode_t previous = ::umask(mask);
        const Result<void> saved = Save(face, CoordinateImage(2, 2));
        ::umask(previous);
        ASSERT_TRUE(saved);
        struct stat status {};
        ASSERT_EQ(::stat(face.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask) << std::oct << mask;
    }
}

// A replaced file keeps its permission bits, read-only ones too, and (where the writer may give
// it, as root may) its owner and group.
TEST(TgaWriter, ReplacedFilesKeepTheirModeAndOwner) {
    TempDir dir;
    const bool root = ::geteuid() == 0;
    for (const mode_t mode : {mode_t{0444}, mode_t{0640}, mode_t{0755}, mode_t{04755}}) {
        const auto face = dir / "face.tga";
        ASSERT_TRUE(Save(face, CoordinateImage(2, 2)));
        if (root) {
            ASSERT_EQ(::chown(face.c_str(), 12345, 23456), 0);
        }
        ASSERT_EQ(::chmod(face.c_str(), mode), 0);  // after the owner, whose change clears set-ID bits
        ASSERT_TRUE(Save(face, CoordinateImage(3, 3)));
        EXPECT_EQ(ReadTga(face), CoordinateImage(3, 3));
        struct stat status {};
        ASSERT_EQ(::stat(face.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, mode) << std::oct << mode;
        if (root) {
            EXPECT_EQ(status.st_uid, 12345u);
            EXPECT_EQ(status.st_gid, 23456u);
        }
        std::filesystem::remove(face);
    }
}

// A file-size limit makes the system refuse the write part-way, as a full disk does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

Result<void> CopyFile(const std::filesystem::path& source, const std::filesystem::path& target) {
    Result<InputFile> input = SystemFileSystem().Open(source);
    if (!input) return input.Error();
    const std::string name = Utf8FromPath(target.filename());
    Result<OutputFolder> folder = SystemFileSystem().OpenFolderFor(target.parent_path(), name);
    if (!folder) return folder.Error();
    Result<StagedFile> staged = SystemFileSystem().StageCopy(*input, *folder, name);
    if (!staged) return staged.Error();
    return SystemFileSystem().Replace(*folder, {&*staged, 1});
}

// Larger than any one piece the copy moves at a time.
std::vector<std::uint8_t> PatternBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i ^ (i >> 9));
    return bytes;
}

TEST(TgaWriter, CopyGivesTheSameBytes) {
    TempDir dir;
    for (const std::size_t size : {std::size_t{0}, std::size_t{18}, std::size_t{3} << 20}) {
        WriteBytes(dir / "source", PatternBytes(size));
        ASSERT_TRUE(CopyFile(dir / "source", dir / "copy")) << size;
        EXPECT_EQ(ReadBytes(dir / "copy"), PatternBytes(size)) << size;
    }
}

// Between file systems of different kinds the kernel will not copy, and the bytes go through
// memory instead; shared memory is such a file system beside most temporary folders.
TEST(TgaWriter, CopyFromAnotherKindOfFileSystemGivesTheSameBytes) {
    TempDir dir;
    const std::filesystem::path shared = "/dev/shm";
    struct stat sharedStatus {
    }, dirStatus{};
    if (::stat(shared.c_str(), &sharedStatus) != 0 || ::stat(dir.Path().c_str(), &dirStatus) != 0 ||
        sharedStatus.st_dev == dirStatus.st_dev)
        GTEST_SKIP() << "no other file system beside " << dir.Path();
    const auto source = shared / ("zenivor-copy-test-" + std::to_string(::getpid()));
    WriteBytes(source, PatternBytes(std::size_t{3} << 20));
    const Result<void> copied = CopyFile(source, dir / "copy");
    std::filesystem::remove(source);
    ASSERT_TRUE(copied);
    EXPECT_EQ(ReadBytes(dir / "copy"), PatternBytes(std::size_t{3} << 20));
}

TEST(TgaWriter, WriteOrCopyFailingPartWayIsNoSpaceAndKeepsTheOlderFile) {
    TempDir dir;
    WriteBytes(dir / "big", PatternBytes(std::size_t{1} << 20));
    const struct {
        const char* name;
        std::function<Result<void>()> replace;
    } cases[] = {
        {"face written", [&] { return Save(dir / "face.tga", CoordinateImage(504, 504)); }},
        {"file copied", [&] { return CopyFile(dir / "big", dir / "face.tga"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteTga(dir / "face.tga", CoordinateImage(8, 8));
        const auto olderBytes = ReadBytes(dir / "face.tga");
        Result<void> replaced;
        {
            const FileSizeLimit limit(100000);
            replaced = c.replace();
        }
        ASSERT_FALSE(replaced);
        EXPECT_EQ(NumberAndReason(replaced.Error()), "28 (No space left on device)");
        EXPECT_EQ(ReadBytes(dir / "face.tga"), olderBytes);
        EXPECT_EQ(EntriesIn(dir.Path()), (std::vector<std::string>{"big", "face.tga"}));
    }
}

}  // namespace
}  // namespace zenivor::test
