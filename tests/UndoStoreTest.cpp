// Undo of conversions: the cube each replaced comes back byte for byte, the one before it next,
// within the store's bounds, from the cache folder alone.

#include <gtest/gtest.h>

#include "conversion/CubeFileSteps.h"
#include "conversion/ProcessSky.h"
#include "conversion/UndoStore.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

using CubeBytes = std::vector<std::vector<std::uint8_t>>;

class UndoStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(program_);
        std::filesystem::create_directories(output_);
        WriteTga(program_ / kGroundTemplateFile, CoordinateImage(kFaceSize, kFaceSize));
    }
    // Converts a strip of its own (stamped with seed) into the output folder, keeping the cube
    // it replaces in store.
    void Convert(UndoStore& store, int seed) {
        RgbImage strip = CoordinateImage(1008, 504);
        strip.Set(0, 0, {static_cast<std::uint8_t>(seed), 1, 2});
        WriteTga(dir_ / "strip.tga", strip);
        MemoryHost host;
        const SkyContext context{
            .host = host,
            .files = SystemFileSystem(),
            .lastPath = Utf8FromPath(output_ / ""),
            .programFolder = program_,
            .beforeReplace = [&store](FileSystem&, OutputFolder& folder) { return store.Keep(folder); }};
        ASSERT_EQ(ProcessSky(Utf8FromPath(dir_ / "strip.tga"), context).outcome, SkyOutcome::Completed)
            << host.Status();
    }
    CubeBytes Cube() const {
        CubeBytes bytes;
        for (const char* name : kCubeFileNames)
            bytes.push_back(std::filesystem::exists(output_ / name) ? ReadBytes(output_ / name)
                                                                    : std::vector<std::uint8_t>{});
        return bytes;
    }

    TempDir dir_;
    std::filesystem::path program_ = dir_ / "program";
    std::filesystem::path output_ = dir_ / "game" / "sky";
    std::filesystem::path cache_ = dir_ / "cache" / "undo";
};

TEST_F(UndoStoreTest, EachUndoPutsBackTheCubeBeforeTheLastConversionWhole) {
    UndoStore store(SystemFileSystem(), cache_);
    std::vector<CubeBytes> cubes{Cube()};  // the empty folder first
    for (int seed = 1; seed <= 4; ++seed) {
        Convert(store, seed);
        cubes.push_back(Cube());
    }
    ASSERT_EQ(store.NewestFolder(), output_ / "");
    for (int back = 3; back >= 0; --back) {
        SCOPED_TRACE(back);
        const Result<std::filesystem::path> undone = store.Undo({});
        ASSERT_TRUE(undone) << NumberAndReason(undone.Error());
        EXPECT_EQ(Cube(), cubes[static_cast<std::size_t>(back)]);
    }
    EXPECT_EQ(CubeFilesIn(output_), std::vector<std::string>{}) << "the first conversion undone leaves no cube";
    EXPECT_FALSE(store.NewestFolder());
    EXPECT_FALSE(store.Undo({}));
}

TEST_F(UndoStoreTest, OnlyTheNewestSetsAreKeptAndACutShortSetIsNone) {
    UndoStore store(SystemFileSystem(), cache_, 2);
    std::vector<CubeBytes> cubes;
    for (int seed = 1; seed <= 4; ++seed) {
        cubes.push_back(Cube());
        Convert(store, seed);
    }
    // A keep that a kill cut short: files, but no record of where they came from.
    std::filesystem::create_directories(cache_ / "9999999999");
    WriteBytes(cache_ / "9999999999" / "F0010001.tga", {1, 2, 3});
    ASSERT_TRUE(store.Undo({}));
    EXPECT_EQ(Cube(), cubes[3]);
    ASSERT_TRUE(store.Undo({}));
    EXPECT_EQ(Cube(), cubes[2]);
    EXPECT_FALSE(store.Undo({})) << "older sets went with the bound";
    EXPECT_EQ(EntriesIn(cache_), std::vector<std::string>{});
}

}  // namespace
}  // namespace zenivor::test
