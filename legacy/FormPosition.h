#pragma once
// Keeping a window where the user left it, from one run to the next: its top and left
// coordinates in twips live in the settings store under keys made from its caption.

#include <string>
#include <vector>

#include "legacy/Reporter.h"
#include "util/Result.h"
#include "util/SettingsStore.h"

namespace zenivor {

inline constexpr const char* kNotFound = "Not found";
// The errors the routines report, by number alone.
namespace errc {
inline constexpr ErrorKind InvalidPropertyValue{380, "Invalid property value"};  // the window refused a coordinate
inline constexpr ErrorKind StoreAccessError{75, "Path/File access error"};  // the settings store could not be written
}  // namespace errc

struct TwipRange {
    float start;
    float length;
};

// What the routines need of a window; geometry in twips (1440 per logical inch).
class PlacementWindow {
public:
    virtual ~PlacementWindow() = default;
    virtual std::string Caption() const = 0;
    virtual bool Minimised() const = 0;
    virtual float Left() const = 0;
    virtual float Top() const = 0;
    virtual float Width() const = 0;
    virtual float Height() const = 0;
    // InvalidPropertyValue for a coordinate the window cannot take.
    virtual Result<void> SetLeft(float left) = 0;
    virtual Result<void> SetTop(float top) = 0;
    // The screen the window is centred on.
    virtual float ScreenWidth() const = 0;
    virtual float ScreenHeight() const = 0;
    // Where the screens lie across and down, for telling whether a position is on one.
    virtual std::vector<TwipRange> ScreensAcross() const = 0;
    virtual std::vector<TwipRange> ScreensDown() const = 0;
};

// The caption cut at its first "-", then at its first ":", without surrounding blanks.
std::string PlacementKeyPrefix(const std::string& caption);
// A coordinate as stored: at most seven significant digits, a full stop, no blanks.
std::string CoordinateText(float value);
// The number at the start of text, 0 when it does not begin with one.
float CoordinateFromText(const std::string& text);

void CenterFormHorizontally(PlacementWindow& window);
void CenterFormVertically(PlacementWindow& window);
// A failure is reported by its number, and the steps after it are skipped.
void RestoreFormPosition(PlacementWindow& window, SettingsStore& store, const std::string& appName,
                         MessageReporter& reporter);
void SaveFormPosition(PlacementWindow& window, SettingsStore& store, const std::string& appName,
                      MessageReporter& reporter);

}  // namespace zenivor
