// The whole conversion on strips whose pixels name their own coordinates: which strip columns
// each side face holds, how the sky cap is composed, the ground copy, and every failure.

#include <gtest/gtest.h>

#include "conversion/ProcessSky.h"
#include "conversion/SkyTables.h"
#include "tests/FailingApi.h"
#include "tests/TestSupport.h"
#include "util/Files.h"

namespace zenivor::test {
namespace {

// A conversion in a temporary folder: the strip and the program folder with its template.
class ProcessSkyTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(programFolder_);
        std::filesystem::create_directories(output_);
        groundBytes_ = {'g', 'r', 'o', 'u', 'n', 'd', 0, 1, 2, 255};
        WriteBytes(programFolder_ / kGroundFile, groundBytes_);
    }

    std::filesystem::path WriteStrip(int width, int height = 504) {
        const auto path = dir_ / ("strip " + std::to_string(width) + ".tga");
        WriteTga(path, CoordinateImage(width, height));
        return path;
    }

    bool Run(const std::filesystem::path& strip, ImagingApi& api) {
        const SkyContext context{host_, api, Utf8FromPath(output_ / ""), programFolder_};
        return ProcessSky(Utf8FromPath(strip), context);
    }
    bool Run(const std::filesystem::path& strip) { return Run(strip, SystemImagingApi()); }

    Image ReadFace(const char* name) { return ReadTga(output_ / name); }
    bool Exists(const char* name) const { return std::filesystem::exists(output_ / name); }
    std::vector<std::string> WrittenFiles() const {
        std::vector<std::string> names;
        for (const char* name : kCubeFiles)
            if (Exists(name)) names.emplace_back(name);
        return names;
    }

    TempDir dir_;
    std::filesystem::path programFolder_ = dir_ / "program";
    std::filesystem::path output_ = dir_ / "out";
    std::vector<std::uint8_t> groundBytes_;
    MemoryHost host_;
};

// Every column of the face must come, on every row, from the strip column given.
void ExpectColumns(const Image& face, const std::function<int(int)>& stripColumn, const char* name) {
    ASSERT_EQ(face.width, 504) << name;
    ASSERT_EQ(face.height, 504) << name;
    for (int x = 0; x < 504; ++x)
        for (int y = 0; y < 504; y += 503 - (y == 0 ? 0 : 252)) {  // rows 0, 251 and 503
            const Rgb pixel = face.At(x, y);
            ASSERT_EQ(CoordinateX(pixel), stripColumn(x)) << name << " column " << x << " row " << y;
            ASSERT_EQ(CoordinateY(pixel), y) << name << " column " << x;
        }
}

TEST_F(ProcessSkyTest, SideFacesHoldTheStripColumnsForEachWidth) {
    const auto mirrored = [](int first) { return [first](int x) { return first + 503 - x; }; };
    const auto straight = [](int first) { return [first](int x) { return first + x; }; };
    const struct {
        int width;
        std::function<int(int)> north, west, south, east;
    } rows[] = {
        {504, straight(0), mirrored(0), straight(0), mirrored(0)},
        {1008, straight(504), straight(0), mirrored(0), mirrored(504)},
        {2016, straight(258), [](int x) { return x < 246 ? 1770 + x : x - 246; }, straight(1266), straight(762)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.width);
        ASSERT_TRUE(Run(WriteStrip(row.width))) << host_.Status() << " / " << host_.LastMessage();
        EXPECT_EQ(host_.Status(), "Saving ground");
        ExpectColumns(ReadFace("F0010001.tga"), row.north, "North");
        ExpectColumns(ReadFace("F0020001.tga"), row.west, "West");
        ExpectColumns(ReadFace("F0030001.tga"), row.south, "South");
        ExpectColumns(ReadFace("F0040001.tga"), row.east, "East");
    }
}

TEST_F(ProcessSkyTest, WideStripFacesJoinAtEveryEdge) {
    ASSERT_TRUE(Run(WriteStrip(2016)));
    const char* ring[] = {"F0020001.tga", "F0010001.tga", "F0040001.tga", "F0030001.tga"};  // W, N, E, S
    for (int i = 0; i < 4; ++i) {
        const Image left = ReadFace(ring[i]);
        const Image right = ReadFace(ring[(i + 1) % 4]);
        const int last = CoordinateX(left.At(503, 100));
        const int first = CoordinateX(right.At(0, 100));
        EXPECT_EQ((last + 1) % 2016, first) << ring[i] << " to " << ring[(i + 1) % 4];
    }
}

TEST_F(ProcessSkyTest, RefusesOtherSizesAndWritesNothing) {
    const struct {
        int width, height;
    } rows[] = {{504, 505}, {1008, 100}, {4032, 504}, {503, 504}, {2016, 503}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        host_.Reset();
        const auto path = dir_ / "odd.tga";
        WriteTga(path, CoordinateImage(row.width, row.height));
        EXPECT_FALSE(Run(path));
        EXPECT_EQ(host_.LastMessage(), "Imagesize needs to be 504x504 or 1008x504 or 2016x504");
        EXPECT_EQ(host_.Status(), "");  // no "Saving" text was shown
        EXPECT_TRUE(WrittenFiles().empty());
    }
}

// Where a sky-cap pixel comes from in its side face, for each quadrant's turns and flips.
Rgb ExpectedCapPixel(Face face, const Image& side, int x, int y) {
    switch (face) {
        case Face::North: return side.At(x, 503 - y);
        case Face::West: return side.At(y, x);
        case Face::South: return side.At(503 - x, y);
        case Face::East: return side.At(503 - y, 503 - x);
    }
    return {};
}

// Which side of each triangle edge a pixel centre lies on: > 0 inside, 0 exactly on it.
long long EdgeSide(POINT a, POINT b, int x, int y) {
    const long long cx = 2LL * x + 1;
    const long long cy = 2LL * y + 1;
    return (2LL * (b.x - a.x)) * (cy - 2LL * a.y) - (2LL * (b.y - a.y)) * (cx - 2LL * a.x);
}

// The last quadrant whose triangle holds the centre; -1 where a centre lies on an edge.
int OwningQuadrant(int x, int y) {
    int owner = -1;
    for (int q = 0; q < 4; ++q) {
        const auto& p = kQuadrants[static_cast<std::size_t>(q)].polygon;
        const long long s0 = EdgeSide(p[0], p[1], x, y);
        const long long s1 = EdgeSide(p[1], p[2], x, y);
        const long long s2 = EdgeSide(p[2], p[0], x, y);
        if (s0 == 0 || s1 == 0 || s2 == 0) return -1;
        if ((s0 > 0 && s1 > 0 && s2 > 0) || (s0 < 0 && s1 < 0 && s2 < 0)) owner = q;
    }
    return owner;
}

TEST_F(ProcessSkyTest, SkyCapEdgesContinueTheSideFacesTopRows) {
    ASSERT_TRUE(Run(WriteStrip(1008)));
    const Image cap = ReadFace("F0050001.tga");
    const Image north = ReadFace("F0010001.tga");
    const Image west = ReadFace("F0020001.tga");
    const Image south = ReadFace("F0030001.tga");
    const Image east = ReadFace("F0040001.tga");
    for (int i = 10; i < 494; ++i) {
        EXPECT_EQ(cap.At(i, 503), north.At(i, 0)) << "bottom row " << i;
        EXPECT_EQ(cap.At(0, i), west.At(i, 0)) << "left column " << i;
        EXPECT_EQ(cap.At(i, 0), south.At(503 - i, 0)) << "top row " << i;
        EXPECT_EQ(cap.At(503, i), east.At(503 - i, 0)) << "right column " << i;
    }
}

TEST_F(ProcessSkyTest, SkyCapTakesEachPixelFromTheLastTriangleHoldingIt) {
    ASSERT_TRUE(Run(WriteStrip(2016)));
    const Image cap = ReadFace("F0050001.tga");
    const Image sides[] = {ReadFace("F0010001.tga"), ReadFace("F0020001.tga"), ReadFace("F0030001.tga"), ReadFace("F0040001.tga")};
    int checked = 0;
    int overlapsWonByLater = 0;
    for (int y = 0; y < 504; ++y)
        for (int x = 0; x < 504; ++x) {
            const int q = OwningQuadrant(x, y);
            if (q < 0) continue;
            const Face face = kQuadrants[static_cast<std::size_t>(q)].face;
            ASSERT_EQ(cap.At(x, y), ExpectedCapPixel(face, sides[static_cast<std::size_t>(q)], x, y))
                << x << "," << y << " quadrant " << q;
            ++checked;
            if (q == 3 && x < 252) ++overlapsWonByLater;  // East reaching past the centre
        }
    EXPECT_GT(checked, 504 * 504 - 4 * 504);
    EXPECT_GT(overlapsWonByLater, 0);
}

TEST_F(ProcessSkyTest, GroundIsCopiedByteForByteOverAnOlderOne) {
    WriteBytes(output_ / kGroundFile, {'o', 'l', 'd'});
    ASSERT_TRUE(Run(WriteStrip(504)));
    EXPECT_EQ(ReadBytes(output_ / kGroundFile), groundBytes_);
}

TEST_F(ProcessSkyTest, MissingGroundTemplateFailsAfterTheOtherFive) {
    std::filesystem::remove(programFolder_ / kGroundFile);
    EXPECT_FALSE(Run(WriteStrip(504)));
    EXPECT_EQ(host_.Status(), "Copy " + Utf8FromPath(programFolder_ / kGroundFile) + " error: 2");
    EXPECT_EQ(WrittenFiles().size(), 5u);
    EXPECT_FALSE(Exists(kGroundFile));
}

TEST_F(ProcessSkyTest, EmptyLastPathWritesBesideTheStrip) {
    const auto strip = WriteStrip(504);
    const SkyContext context{host_, SystemImagingApi(), "", programFolder_};
    ASSERT_TRUE(ProcessSky(Utf8FromPath(strip), context)) << host_.Status();
    for (const char* name : kCubeFiles) EXPECT_TRUE(std::filesystem::exists(strip.parent_path() / name)) << name;
}

TEST_F(ProcessSkyTest, PathsWithBlanksAndNonAsciiCharacters) {
    const auto folder = dir_ / PathFromUtf8("Himmel über Köln");
    std::filesystem::create_directories(folder);
    const auto strip = folder / PathFromUtf8("Panorama Ø 1.tga");
    WriteTga(strip, CoordinateImage(1008, 504));
    const SkyContext context{host_, SystemImagingApi(), Utf8FromPath(folder / ""), programFolder_};
    ASSERT_TRUE(ProcessSky(Utf8FromPath(strip), context)) << host_.Status();
    for (const char* name : kCubeFiles) EXPECT_TRUE(std::filesystem::exists(folder / name)) << name;
}

TEST_F(ProcessSkyTest, SideFaceOfAnotherSizeIsAReadFailure) {
    FailingApi api;
    // Between writing the faces and reading North back, North is replaced by a smaller image.
    api.Before(Call::ReadRGBFromTGA, 2, [&] { WriteTga(output_ / "F0010001.tga", CoordinateImage(100, 100)); });
    EXPECT_FALSE(Run(WriteStrip(1008), api));
    EXPECT_EQ(host_.Status(), "Get " + Utf8FromPath(output_ / "F0010001.tga") + " error: " + std::to_string(kImgUnexpectedSize));
    EXPECT_FALSE(Exists("F0050001.tga"));
}

TEST_F(ProcessSkyTest, FailedFaceWriteStopsBeforeAStaleFaceReachesTheSkyCap) {
    WriteTga(output_ / "F0010001.tga", CoordinateImage(504, 504));
    const auto staleNorth = ReadBytes(output_ / "F0010001.tga");
    FailingApi api;
    api.FailOn(Call::SaveRGBToTGA, 3);  // North, for a 1008 strip
    EXPECT_FALSE(Run(WriteStrip(1008), api));
    EXPECT_EQ(host_.Status(), "Save " + Utf8FromPath(output_ / "F0010001.tga") + " error: 4321");
    EXPECT_EQ(ReadBytes(output_ / "F0010001.tga"), staleNorth);
    EXPECT_FALSE(Exists("F0050001.tga"));
}

struct FailureRow {
    const char* name;
    Call call;
    int nth;
    std::string status;   // with {out} and {program} standing for the folders
    std::string message;
    std::vector<std::string> written;
};

const std::vector<std::string> kSides = {"F0010001.tga", "F0020001.tga", "F0030001.tga", "F0040001.tga"};
const std::vector<std::string> kFive = {"F0010001.tga", "F0020001.tga", "F0030001.tga", "F0040001.tga", "F0050001.tga"};

// Call counts are those of a 1008 strip: locks go strip, West, North, then one per quadrant and
// the sky cap; read-backs West, North, sky cap.
const FailureRow kFailureRows[] = {
    {"size query", Call::GetTGADimensions, 1, "", "Error getting file size", {}},
    {"strip read", Call::ReadRGBFromTGA, 1, "Get {strip} error: 4321", "", {}},
    {"strip lock", Call::GlobalLock, 1, "GlobalLock error: 1234", "", {}},
    {"first read-back", Call::DCToRGB, 1, "Convert to RGB error: 4321", "", {}},
    {"first face lock", Call::GlobalLock, 2, "GlobalLock DCToRGB error: 1234", "", {}},
    {"first crop", Call::DrawRGBCrop, 1, "", "Error cropping image", {}},
    {"North crop", Call::DrawRGBCrop, 2, "Saving South", "Error cropping image", {"F0020001.tga", "F0030001.tga"}},
    {"West write", Call::SaveRGBToTGA, 1, "Save {out}F0020001.tga error: 4321", "", {}},
    {"mirror", Call::HorizontalFlip, 1, "Mirror error: 4321", "", {"F0020001.tga"}},
    {"West face gone before North", Call::FileDateTime, 1, "Saving South",
     "Unexpected error in ProcessSky:  2 No such file or directory", {"F0020001.tga", "F0030001.tga"}},
    {"North face gone before its quadrant", Call::FileDateTime, 2, "Getting North sky.",
     "Unexpected error in ProcessSky:  2 No such file or directory", kSides},
    {"side face read back", Call::ReadRGBFromTGA, 3, "Get {out}F0020001.tga error: 4321", "", kSides},
    {"side face lock", Call::GlobalLock, 4, "GlobalLock error: 1234", "", kSides},
    {"clip region", Call::CreatePolygonRgn, 2, "Clip region error: 1234", "", kSides},
    {"saving the context", Call::SaveDC, 1, "Clip region error: 1234", "", kSides},
    {"selecting the clip", Call::SelectClipRgn, 4, "Clip region error: 1234", "", kSides},
    {"turn", Call::QuickRotate, 1, "Transform error: 4321", "", kSides},
    {"clipped draw", Call::DrawRGB2, 3, "Draw error: 4321", "", kSides},
    {"sky cap read-back", Call::DCToRGB, 3, "Convert to RGB error: 4321", "", kSides},
    {"sky cap lock", Call::GlobalLock, 8, "GlobalLock DCToRGB error: 1234", "", kSides},
    {"sky cap write", Call::SaveRGBToTGA, 5, "Save {out}F0050001.tga error: 4321", "", kSides},
    {"ground copy", Call::CopyFile, 1, "Copy {program}F0060001.tga error: 5", "", kFive},
};

std::string Expand(std::string text, const std::string& key, const std::string& value) {
    if (const auto at = text.find(key); at != std::string::npos) text.replace(at, key.size(), value);
    return text;
}

TEST_F(ProcessSkyTest, EveryFailureIsReportedAndReleasesWhatItHeld) {
    const auto strip = WriteStrip(1008);
    const std::size_t blocks = GlobalBlockCount();
    const std::size_t regions = RegionCount();
    for (const FailureRow& row : kFailureRows) {
        SCOPED_TRACE(row.name);
        for (const char* name : kCubeFiles) std::filesystem::remove(output_ / name);
        host_.Reset();
        FailingApi api;
        api.FailOn(row.call, row.nth);
        EXPECT_FALSE(Run(strip, api));
        ASSERT_EQ(api.Count(row.call), row.nth) << "the failing call was reached";
        std::string status = Expand(row.status, "{out}", Utf8FromPath(output_ / ""));
        status = Expand(status, "{program}", Utf8FromPath(programFolder_ / ""));
        status = Expand(status, "{strip}", Utf8FromPath(strip));
        EXPECT_EQ(host_.Status(), status);
        EXPECT_EQ(host_.LastMessage(), row.message);
        EXPECT_EQ(WrittenFiles(), row.written);
        EXPECT_EQ(GlobalBlockCount(), blocks) << "an RGB buffer leaked";
        EXPECT_EQ(RegionCount(), regions) << "a clip region leaked";
        EXPECT_EQ(host_.Surface().Dc()->SavedLevels(), 0) << "the device context was not restored";
        EXPECT_TRUE(host_.Surface().Dc()->ClipMask().empty()) << "a clip region stayed selected";
    }
}

TEST_F(ProcessSkyTest, WideStripSouthCropFailureStopsInsteadOfWritingWestAsSouth) {
    FailingApi api;
    api.FailOn(Call::DrawRGBCrop, 3);  // both West pieces, then South
    EXPECT_FALSE(Run(WriteStrip(2016), api));
    EXPECT_EQ(host_.LastMessage(), "Error cropping image");
    EXPECT_EQ(WrittenFiles(), std::vector<std::string>{"F0020001.tga"});
}

TEST_F(ProcessSkyTest, UnreadableStripReportsTheSizeQuery) {
    const auto missing = dir_ / "missing.tga";
    EXPECT_FALSE(Run(missing));
    EXPECT_EQ(host_.LastMessage(), "Error getting file size");
    const auto quoted = "\"" + Utf8FromPath(WriteStrip(504)) + "\"";
    const SkyContext context{host_, SystemImagingApi(), Utf8FromPath(output_ / ""), programFolder_};
    host_.Reset();
    EXPECT_FALSE(ProcessSky(quoted, context));
    EXPECT_EQ(host_.LastMessage(), "Error getting file size");
}

}  // namespace
}  // namespace zenivor::test
