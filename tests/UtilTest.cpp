// Delimited elements, paths and the error texts, table-driven from worked examples.

#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

#include "legacy/ErrorText.h"
#include "legacy/modFString.h"
#include "legacy/modSubroutines.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

const std::string kOverflowMessage = "GetElement:  6 - 0";

struct ElementRow {
    std::u16string source;
    std::u16string delimiter;
    std::int16_t index;
    std::u16string expected;
    bool overflow;
};

TEST(GetElement, WorkedExamplesAndEdges) {
    const std::u16string longSource = std::u16string(40000, u'a');
    const std::u16string farDelimiter = std::u16string(32767, u'a') + u",b,c";  // the comma at 32768
    // A comma at 32766: the search goes on from 32767, the last position that fits.
    const std::u16string nearDelimiter = std::u16string(32765, u'a') + u",b" + std::u16string(5000, u'c');
    // A comma at 32767: the search would go on from 32768.
    const std::u16string edgeDelimiter = std::u16string(32766, u'a') + u",b";
    const ElementRow rows[] = {
        {u"C:\\pics\\sky.tga", u"\\", 0, u"C:", false},
        {u"C:\\pics\\sky.tga", u"\\", 1, u"pics", false},
        {u"C:\\pics\\sky.tga", u"\\", 2, u"sky.tga", false},
        {u"C:\\pics\\sky.tga", u"\\", 3, u"", false},
        {u"C:\\pics\\sky.tga", u"\\", -1, u"", false},
        {u"a--b--c", u"--", 1, u"b", false},
        {u"a,,b", u",", 1, u"", false},
        {u"a,,b", u",", 2, u"b", false},
        {u"a,b,", u",", 2, u"", false},
        {u",a", u",", 0, u"", false},
        {u"Help - Topics: Index", u"-", 0, u"Help ", false},
        {u"", u",", 3, u"", false},
        {u"", std::u16string(40000, u','), 0, u"", false},  // the delimiter is not even looked at
        {u"abc", u"", 0, u"", false},
        {u"abc", u"", 5, u"", false},
        {u"abc", u"", -1, u"", true},  // counts past 32767
        {u"no delimiter", u",", 0, u"no delimiter", false},
        {u"AXB", u"x", 0, u"AXB", false},  // case-sensitive
        {longSource, u",", 0, longSource, false},
        {nearDelimiter, u",", 1, u"b" + std::u16string(5000, u'c'), false},
        {edgeDelimiter, u",", 0, std::u16string(32766, u'a'), false},
        {edgeDelimiter, u",", 1, u"", true},
        {farDelimiter, u",", 0, u"", true},
        {u"a,b", std::u16string(32768, u','), 0, u"", true},
    };
    for (const ElementRow& row : rows) {
        SCOPED_TRACE(
            std::string(row.source.begin(), row.source.begin() + std::min<std::size_t>(row.source.size(), 30)) + " / " +
            std::to_string(row.index));
        RecordedMessages messages;
        EXPECT_EQ(GetElement(row.source, row.delimiter, row.index, messages), row.expected);
        EXPECT_EQ(messages.texts,
                  row.overflow ? std::vector<std::string>{kOverflowMessage} : std::vector<std::string>{});
    }
}

struct PathRow {
    std::u16string path;
    char16_t separator;
    std::u16string fileName;
    std::u16string folder;
};

TEST(Paths, FileNameAndFolderOfAPath) {
    const PathRow rows[] = {
        {u"C:\\pics\\sky.tga", u'\\', u"sky.tga", u"C:\\pics\\"},
        {u"sky.tga", u'\\', u"sky.tga", u""},
        {u"C:\\pics\\", u'\\', u"pics", u"C:\\"},
        {u"\\\\server\\share\\sky.tga", u'\\', u"sky.tga", u"\\\\server\\share\\"},
        {u"C:\\sky.tga\\sky.tga", u'\\', u"sky.tga", u"C:\\sky.tga\\"},
        {u"C:\\pics\\\\sky.tga", u'\\', u"pics", u"C:\\"},
        {u"\\pics\\sky.tga", u'\\', u"", u""},
        {u"D:\\pano.tga", u'\\', u"pano.tga", u"D:\\"},
        {u"", u'\\', u"", u""},
        {u"/home/ann/Panoramas/pano.tga", u'/', u"pano.tga", u"/home/ann/Panoramas/"},
        {u"/pano.tga", u'/', u"pano.tga", u"/"},
        {u"//server/share/sky.tga", u'/', u"sky.tga", u"//server/share/"},
        {u"/home/ann/Ciel d'été/ciel.tga", u'/', u"ciel.tga", u"/home/ann/Ciel d'été/"},
    };
    for (const PathRow& row : rows) {
        SCOPED_TRACE(std::string(row.path.begin(), row.path.end()));
        EXPECT_EQ(GetFileNameFromPath(row.path, row.separator), row.fileName);
        EXPECT_EQ(GetPathFromFileName(row.path, row.separator), row.folder);
    }
}

TEST(ErrorText, NumbersCarryABlankOrTheirSign) {
    const struct {
        long long number;
        std::string expected;
    } rows[] = {
        {53, "Unexpected error in File Open:  53 File not found"},
        {0, "Unexpected error in File Open:  0 File not found"},
        {-2147024891, "Unexpected error in File Open: -2147024891 File not found"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(UnexpectedErrorText("File Open", row.number, "File not found"), row.expected);
    EXPECT_EQ(UnexpectedErrorText("Main", std::bad_alloc()), "Unexpected error in Main:  7 Out of memory");
    EXPECT_EQ(
        UnexpectedErrorText("Main", std::system_error(std::make_error_code(std::errc::no_such_file_or_directory))),
        "Unexpected error in Main:  2 No such file or directory");
    EXPECT_EQ(UnexpectedErrorText("Main", std::runtime_error("broken")), "Unexpected error in Main: -1 broken");
}

}  // namespace
}  // namespace zenivor::test
