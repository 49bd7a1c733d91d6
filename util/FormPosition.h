#pragma once
// Keeping a window where the user left it, from one run to the next: its top and left
// coordinates in twips live in the settings store under keys made from its caption.

#include <string>
#include <vector>

#include "util/SettingsStore.h"

namespace zenivor {

inline constexpr const char* kNotFound = "Not found";
// Error numbers the routines report.
inline constexpr int kInvalidPropertyValue = 380;  // the window refused a coordinate
inline constexpr int kStoreAccessError = 75;       // the settings store could not be written

// A window refusing a value throws this with its error number.
struct PlacementError {
    int number;
};

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
    virtual void SetLeft(float left) = 0;
    virtual void SetTop(float top) = 0;
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
void RestoreFormPosition(PlacementWindow& window, SettingsStore& store, const std::string& appName);
void SaveFormPosition(PlacementWindow& window, SettingsStore& store, const std::string& appName);

}  // namespace zenivor
