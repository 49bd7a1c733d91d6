// The TGA writer: the exact layout every reader and the game take, and writes that fail
// without touching the file that was there.

#include <gtest/gtest.h>

#include <csignal>

#include "imaging/GlobalMemory.h"
#include "imaging/ImgDll.h"
#include "tests/TestSupport.h"
#include "util/Files.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace zenivor::test {
namespace {

// A locked library buffer holding an image, as the conversion hands them to the writer.
class LockedImage {
public:
    explicit LockedImage(const Image& image) : block_(GlobalAlloc(image.rgb.size())) {
        pixels_ = GlobalLock(block_);
        std::copy(image.rgb.begin(), image.rgb.end(), static_cast<std::uint8_t*>(pixels_));
    }
    ~LockedImage() {
        GlobalUnlock(block_);
        GlobalFree(block_);
    }
    void* Pixels() const { return pixels_; }

private:
    HGLOBAL block_;
    void* pixels_;
};

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path().filename());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(TgaWriter, WritesUncompressed24BitBottomLeftWithoutExtras) {
    TempDir dir;
    const Image image = CoordinateImage(5, 3);
    const LockedImage pixels(image);
    ASSERT_NE(ImgDLLSaveRGBToTGA(Utf8FromPath(dir / "out.tga"), pixels.Pixels(), 5, 3), 0);
    const auto bytes = ReadBytes(dir / "out.tga");
    ASSERT_EQ(bytes.size(), 18u + 5 * 3 * 3);
    const std::vector<std::uint8_t> header(bytes.begin(), bytes.begin() + 18);
    EXPECT_EQ(header, (std::vector<std::uint8_t>{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 3, 0, 24, 0}));
    // The first stored pixel is the bottom-left one, in blue, green, red order.
    const Rgb bottomLeft = image.At(0, 2);
    EXPECT_EQ(bytes[18], bottomLeft[2]);
    EXPECT_EQ(bytes[19], bottomLeft[1]);
    EXPECT_EQ(bytes[20], bottomLeft[0]);
    EXPECT_EQ(ReadTga(dir / "out.tga"), image);
}

TEST(TgaWriter, FaceFileHasTheSizeTheGameExpects) {
    TempDir dir;
    const Image face = CoordinateImage(504, 504);
    const LockedImage pixels(face);
    ASSERT_NE(ImgDLLSaveRGBToTGA(Utf8FromPath(dir / "F0010001.tga"), pixels.Pixels(), 504, 504), 0);
    EXPECT_EQ(std::filesystem::file_size(dir / "F0010001.tga"), 18u + 504u * 504u * 3u);
    EXPECT_EQ(ReadTga(dir / "F0010001.tga"), face);
}

TEST(TgaWriter, PathsWithBlanksAndNonAsciiCharacters) {
    TempDir dir;
    const auto folder = dir / PathFromUtf8("Ciel d'été – 夜空");
    std::filesystem::create_directory(folder);
    const Image image = CoordinateImage(4, 4);
    const LockedImage pixels(image);
    const auto target = folder / PathFromUtf8("ciel bleu é.tga");
    ASSERT_NE(ImgDLLSaveRGBToTGA(Utf8FromPath(target), pixels.Pixels(), 4, 4), 0);
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(ReadTga(target), image);
}

TEST(TgaWriter, RefusesAddressesOutsideALockedBuffer) {
    TempDir dir;
    const LockedImage pixels(CoordinateImage(4, 4));
    std::vector<std::uint8_t> loose(4 * 4 * 3);
    const auto target = Utf8FromPath(dir / "out.tga");
    EXPECT_EQ(ImgDLLSaveRGBToTGA(target, loose.data(), 4, 4), 0);
    EXPECT_EQ(ImgDLLGetLastError(), kImgBadBuffer);
    EXPECT_EQ(ImgDLLSaveRGBToTGA(target, pixels.Pixels(), 5, 4), 0);  // larger than the buffer
    EXPECT_EQ(ImgDLLGetLastError(), kImgBadBuffer);
    EXPECT_EQ(ImgDLLSaveRGBToTGA(target, pixels.Pixels(), 0, 4), 0);
    EXPECT_EQ(ImgDLLGetLastError(), kImgBadArgument);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.tga"));
}

TEST(TgaWriter, FailedCreateLeavesNothingBehind) {
    TempDir dir;
    const LockedImage pixels(CoordinateImage(4, 4));
    EXPECT_EQ(ImgDLLSaveRGBToTGA(Utf8FromPath(dir / "no-such-folder" / "out.tga"), pixels.Pixels(), 4, 4), 0);
    EXPECT_EQ(ImgDLLGetLastError(), kImgFileCreate);
    // A folder where the file should go: the finished file cannot replace it.
    std::filesystem::create_directory(dir / "taken.tga");
    EXPECT_EQ(ImgDLLSaveRGBToTGA(Utf8FromPath(dir / "taken.tga"), pixels.Pixels(), 4, 4), 0);
    EXPECT_EQ(ImgDLLGetLastError(), kImgFileCreate);
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::filesystem::path>{"taken.tga"}));
}

#ifndef _WIN32
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

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(TgaWriter, WriteFailingPartWayKeepsTheOlderFile) {
    TempDir dir;
    const Image older = CoordinateImage(8, 8);
    WriteTga(dir / "face.tga", older);
    const auto olderBytes = ReadBytes(dir / "face.tga");
    const LockedImage pixels(CoordinateImage(504, 504));
    int saved = 0;
    {
        const FileSizeLimit limit(100000);
        saved = ImgDLLSaveRGBToTGA(Utf8FromPath(dir / "face.tga"), pixels.Pixels(), 504, 504);
    }
    EXPECT_EQ(saved, 0);
    EXPECT_EQ(ImgDLLGetLastError(), kImgFileWrite);
    EXPECT_EQ(ReadBytes(dir / "face.tga"), olderBytes);
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::filesystem::path>{"face.tga"}));
}
#endif

}  // namespace
}  // namespace zenivor::test
