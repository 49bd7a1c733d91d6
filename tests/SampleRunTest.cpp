// The built converter end to end on the bundled sample strips: every pixel of the six files is
// where the cube's geometry puts it, checked against the strip itself.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/CubeOracle.h"
#include "tests/TestSupport.h"
#include "util/FileSystem.h"

namespace zenivor::test {
namespace {

const std::filesystem::path kBuiltProgramFolder = ZENIVOR_PROGRAM_FOLDER;
// The game's names for the faces, spelled out here so that a change to the program's table shows.
const std::pair<Face, const char*> kSideFiles[] = {{Face::North, "F0010001.tga"},
                                                   {Face::West, "F0020001.tga"},
                                                   {Face::South, "F0030001.tga"},
                                                   {Face::East, "F0040001.tga"}};

// Runs the converter with arguments, as a script would, and returns its exit code.
int RunBuiltConverter(const std::vector<std::string>& arguments) {
    const pid_t child = ::fork();
    if (child == 0) {
        // Whatever ground the user running the tests keeps, the cube gets the template.
        ::unsetenv("HOME");
        ::unsetenv("XDG_DATA_HOME");
        std::vector<char*> argv{const_cast<char*>(ZENIVOR_CONVERTER)};
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(ZENIVOR_CONVERTER, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SampleRun, EveryPixelOfTheSixFilesComesFromWhereTheGeometrySays) {
    for (const int width : {504, 1008, 2016}) {
        SCOPED_TRACE(width);
        const auto strip = kBuiltProgramFolder / "samples" / ("sky-" + std::to_string(width) + ".tga");
        TempDir out;
        ASSERT_EQ(RunBuiltConverter({Utf8FromPath(strip), Utf8FromPath(out.Path())}), 0);
        const RgbImage pixels = ReadTga(strip);
        std::array<RgbImage, 4> sides;
        for (const auto& [face, name] : kSideFiles) {
            RgbImage& side = sides[static_cast<std::size_t>(face)] = ReadTga(out / name);
            ASSERT_EQ(side.width, 504);
            ASSERT_EQ(side.height, 504);
            for (int y = 0; y < 504; ++y)
                for (int x = 0; x < 504; ++x)
                    ASSERT_EQ(side.At(x, y), pixels.At(ExpectedStripColumn(width, face, x), y))
                        << name << " " << x << "," << y;
        }
        const RgbImage cap = ReadTga(out / "F0050001.tga");
        ASSERT_EQ(cap.width, 504);
        for (int y = 0; y < 504; ++y)
            for (int x = 0; x < 504; ++x)
                if (const int q = OwningCapTriangle(x, y); q >= 0) {
                    const Face face = kCapTriangles[q].face;
                    ASSERT_EQ(cap.At(x, y), ExpectedCapPixel(face, sides[static_cast<std::size_t>(face)], x, y))
                        << x << "," << y;
                }
        EXPECT_EQ(ReadBytes(out / "F0060001.tga"), ReadBytes(kBuiltProgramFolder / "F0060001.tga"));
    }
}

}  // namespace
}  // namespace zenivor::test
