// Window placement on a fake window and an in-memory store: keys, stored forms, centring and
// the two mended cases (large screens, positions on no screen).

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "legacy/FormPosition.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

class FakeWindow final : public PlacementWindow {
public:
    std::string caption = "About Zenivor";
    bool minimised = false;
    float left = 0, top = 0, width = 6180, height = 3900;
    float screenWidth = 19200, screenHeight = 10800;  // 1280 x 720 pixels
    std::optional<float> refused;                     // a coordinate the window will not take

    std::string Caption() const override { return caption; }
    bool Minimised() const override { return minimised; }
    float Left() const override { return left; }
    float Top() const override { return top; }
    float Width() const override { return width; }
    float Height() const override { return height; }
    Result<void> SetLeft(float value) override { return Accept(value, left); }
    Result<void> SetTop(float value) override { return Accept(value, top); }
    float ScreenWidth() const override { return screenWidth; }
    float ScreenHeight() const override { return screenHeight; }
    std::vector<TwipRange> ScreensAcross() const override { return {{0, screenWidth}}; }
    std::vector<TwipRange> ScreensDown() const override { return {{0, screenHeight}}; }

private:
    Result<void> Accept(float value, float& coordinate) const {
        if (refused && *refused == value) return Error{errc::InvalidPropertyValue};
        coordinate = value;
        return {};
    }
};

// The store of the tests, seen as the keys of the program's own section.
class MapStore {
public:
    MemorySettings settings;
    RecordedMessages messages;
    std::map<std::string, std::string> Values() const {
        std::map<std::string, std::string> values;
        for (const auto& [key, value] : settings.values) {
            EXPECT_EQ(std::get<1>(key), "Zenivor");
            values[std::get<2>(key)] = value;
        }
        return values;
    }
    void Set(const std::map<std::string, std::string>& values) {
        for (const auto& [key, value] : values) settings.values[{kAppName, kProgramTitle, key}] = value;
    }
};

TEST(FormPosition, KeyPrefixFromTheCaption) {
    const std::pair<std::string, std::string> rows[] = {
        {"About Zenivor", "About Zenivor"}, {"Editor - sky.tga", "Editor"},           {"Options: General", "Options"},
        {"Main: view - two", "Main"},       {"  Padded caption  ", "Padded caption"}, {"", ""},
        {"Ciel d'été - x", "Ciel d'été"},
    };
    for (const auto& [caption, prefix] : rows) EXPECT_EQ(PlacementKeyPrefix(caption), prefix) << caption;
}

TEST(FormPosition, StoredNumberForms) {
    const std::pair<float, std::string> written[] = {
        {2340, "2340"}, {-120, "-120"}, {1234.5f, "1234.5"}, {50.5f, "50.5"}, {0, "0"}, {1234567, "1234567"},
    };
    for (const auto& [value, text] : written) EXPECT_EQ(CoordinateText(value), text);
    const std::pair<std::string, float> read[] = {
        {"2340", 2340}, {"-120", -120}, {"1234.5", 1234.5f}, {"abc", 0}, {"", 0},
        {"12abc", 12},  {" 7", 7},      {"+3", 3},           {"1,5", 1},
    };
    for (const auto& [text, value] : read) EXPECT_EQ(CoordinateFromText(text), value) << text;
}

TEST(FormPosition, RestoreFromWhatIsStored) {
    const struct {
        const char* name;
        std::map<std::string, std::string> stored;
        float top, left;
    } rows[] = {
        {"empty store: centred", {}, (10800 - 3900) / 2.0f, (19200 - 6180) / 2.0f},
        {"only the top", {{"About ZenivorTop", "300"}}, 300, (19200 - 6180) / 2.0f},
        {"the sentinel counts as absent",
         {{"About ZenivorTop", "Not found"}, {"About ZenivorLeft", "45"}},
         (10800 - 3900) / 2.0f,
         45},
        {"not a number", {{"About ZenivorTop", "abc"}, {"About ZenivorLeft", ""}}, 0, 0},
        {"partly off the top-left", {{"About ZenivorTop", "-120"}, {"About ZenivorLeft", "-3000"}}, -120, -3000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeWindow window;
        MapStore store;
        store.Set(row.stored);
        RestoreFormPosition(window, store.settings, kAppName, store.messages);
        EXPECT_EQ(window.top, row.top);
        EXPECT_EQ(window.left, row.left);
        EXPECT_TRUE(store.messages.texts.empty());
    }
}

TEST(FormPosition, SaveAndRestoreRoundTrip) {
    FakeWindow window;
    window.left = -150;
    window.top = 1234.5f;
    MapStore store;
    SaveFormPosition(window, store.settings, kAppName, store.messages);
    EXPECT_EQ(store.Values(),
              (std::map<std::string, std::string>{{"About ZenivorLeft", "-150"}, {"About ZenivorTop", "1234.5"}}));
    FakeWindow reopened;
    RestoreFormPosition(reopened, store.settings, kAppName, store.messages);
    EXPECT_EQ(reopened.left, -150);
    EXPECT_EQ(reopened.top, 1234.5f);
}

TEST(FormPosition, EmptyCaptionUsesBareKeys) {
    FakeWindow window;
    window.caption = "";
    window.top = 15;
    window.left = 30;
    MapStore store;
    SaveFormPosition(window, store.settings, kAppName, store.messages);
    EXPECT_EQ(store.Values(), (std::map<std::string, std::string>{{"Left", "30"}, {"Top", "15"}}));
}

TEST(FormPosition, MinimisedWindowIsNeitherPlacedNorSaved) {
    FakeWindow window;
    window.minimised = true;
    window.left = 99;
    MapStore store;
    store.Set({{"About ZenivorTop", "1"}, {"About ZenivorLeft", "2"}});
    RestoreFormPosition(window, store.settings, kAppName, store.messages);
    EXPECT_EQ(window.left, 99);
    SaveFormPosition(window, store.settings, kAppName, store.messages);
    EXPECT_EQ(store.Values().at("About ZenivorLeft"), "2");
}

TEST(FormPosition, Centring) {
    const struct {
        const char* name;
        float screen, window, expected;
    } rows[] = {
        {"wider than the screen", 19200, 20000, 0},
        {"as wide as the screen", 19200, 19200, 0},
        {"odd difference gives a half twip", 19200, 19099, 50.5f},
        {"2560-pixel screen", 38400, 6180, (38400 - 6180) / 2.0f},
        {"7680-pixel screen", 115200, 6180, (115200 - 6180) / 2.0f},
    };
    for (const auto& row : rows) {
        FakeWindow window;
        window.screenWidth = row.screen;
        window.width = row.window;
        CenterFormHorizontally(window);
        EXPECT_EQ(window.left, row.expected) << row.name;
        window.screenHeight = row.screen;
        window.height = row.window;
        CenterFormVertically(window);
        EXPECT_EQ(window.top, row.expected) << row.name;
    }
}

TEST(FormPosition, PositionOnNoScreenIsCentredInstead) {
    FakeWindow window;
    MapStore store;
    store.Set({{"About ZenivorTop", "50000"}, {"About ZenivorLeft", "-7000"}});  // beyond, and left of, every screen
    RestoreFormPosition(window, store.settings, kAppName, store.messages);
    EXPECT_EQ(window.top, (10800 - 3900) / 2.0f);
    EXPECT_EQ(window.left, (19200 - 6180) / 2.0f);
}

TEST(FormPosition, ErrorsShowTheirNumberAndStop) {
    FakeWindow window;
    window.refused = 500;
    MapStore store;
    store.Set({{"About ZenivorTop", "300"}, {"About ZenivorLeft", "500"}});
    RestoreFormPosition(window, store.settings, kAppName, store.messages);
    EXPECT_EQ(window.top, 300);  // done before the failing step, and kept
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(store.messages.texts, std::vector<std::string>{"380"});
    store.settings.unwritable = true;
    SaveFormPosition(window, store.settings, kAppName, store.messages);
    EXPECT_EQ(store.messages.texts, (std::vector<std::string>{"380", "75"}));
}

}  // namespace
}  // namespace zenivor::test
