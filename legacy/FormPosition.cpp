#include "legacy/FormPosition.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "legacy/modFString.h"
#include "util/Utf16.h"

namespace zenivor {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string FirstElement(const std::string& text, const char16_t* delimiter) {
    return Utf8FromUtf16(GetElement(Utf16FromUtf8(text), delimiter, 0));
}

// Screen minus window, halved; a window as large as the screen or larger goes to the edge.
// Computed in full width, so screens of any size centre.
float CentredOffset(float screen, float window) {
    const long difference = std::lrint(screen) - std::lrint(window);  // halves to even
    return difference > 0 ? static_cast<float>(difference) / 2.0f : 0.0f;
}

// A stored position that leaves the window on no screen at all (a monitor since unplugged)
// is not restored on that axis.
bool OnSomeScreen(float start, float length, const std::vector<TwipRange>& screens) {
    if (!std::isfinite(start)) return false;
    for (const TwipRange& screen : screens)
        if (start < screen.start + screen.length && start + std::max(length, 1.0f) > screen.start) return true;
    return screens.empty();
}

Result<void> RestoreAxis(PlacementWindow& window, SettingsStore& store, const std::string& appName,
                         const std::string& key, bool across) {
    const std::string stored = store.GetSetting(appName, kProgramTitle, key, kNotFound);
    const float value = CoordinateFromText(stored);
    const bool usable = stored != kNotFound && OnSomeScreen(value, across ? window.Width() : window.Height(),
                                                            across ? window.ScreensAcross() : window.ScreensDown());
    if (!usable) {
        across ? CenterFormHorizontally(window) : CenterFormVertically(window);
        return {};
    }
    return across ? window.SetLeft(value) : window.SetTop(value);
}

}  // namespace

std::string PlacementKeyPrefix(const std::string& caption) {
    return Trimmed(FirstElement(FirstElement(caption, u"-"), u":"));
}

std::string CoordinateText(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 7);
    return std::string(buffer, result.ptr);
}

float CoordinateFromText(const std::string& text) {
    std::size_t at = text.find_first_not_of(" \t");
    if (at == std::string::npos) return 0.0f;
    if (text[at] == '+') ++at;
    float value = 0.0f;
    const auto result = std::from_chars(text.data() + at, text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0.0f;
}

// Centring is best effort: a window that refuses stays where it is.
void CenterFormHorizontally(PlacementWindow& window) {
    (void)window.SetLeft(CentredOffset(window.ScreenWidth(), window.Width()));
}

void CenterFormVertically(PlacementWindow& window) {
    (void)window.SetTop(CentredOffset(window.ScreenHeight(), window.Height()));
}

void RestoreFormPosition(PlacementWindow& window, SettingsStore& store, const std::string& appName,
                         MessageReporter& reporter) {
    if (window.Minimised()) return;
    const std::string prefix = PlacementKeyPrefix(window.Caption());
    Result<void> restored = RestoreAxis(window, store, appName, prefix + "Top", false);
    if (restored) restored = RestoreAxis(window, store, appName, prefix + "Left", true);
    if (!restored) reporter.Report(std::to_string(restored.Error().code.number));
}

void SaveFormPosition(PlacementWindow& window, SettingsStore& store, const std::string& appName,
                      MessageReporter& reporter) {
    if (window.Minimised()) return;
    const std::string prefix = PlacementKeyPrefix(window.Caption());
    const bool saved = store.SaveSetting(appName, kProgramTitle, prefix + "Top", CoordinateText(window.Top())) &&
                       store.SaveSetting(appName, kProgramTitle, prefix + "Left", CoordinateText(window.Left()));
    if (!saved) reporter.Report(std::to_string(errc::StoreAccessError.number));
}

}  // namespace zenivor
