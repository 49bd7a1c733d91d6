// libFuzzer target: the INI reader and editor on arbitrary bytes, checked against properties that
// hold for every input: a value just set reads back, setting it again changes nothing, other
// sections keep their values, UTF-8 text stays UTF-8, and whether a name or value is accepted
// does not depend on the text.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/IniFile.h"

namespace {

struct Entry {
    std::string section;
    std::string key;
    std::string value;
};

// Whether the editor takes two section names for one: a key set under the first in an empty
// text reads back under the second. The editor's own answer, so that this target needs no
// matcher of its own.
bool SameSection(const std::string& a, const std::string& b) {
    const std::optional<std::string> probe = zenivor::ini::WithValue("", a, "probe", "1");
    return probe && zenivor::ini::Lookup(*probe, b, "probe") == "1";
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void Exercise(std::string_view text, const Entry& entry) {
    const std::optional<std::string> before = zenivor::ini::Lookup(text, entry.section, entry.key);
    const std::optional<std::string> edited = zenivor::ini::WithValue(text, entry.section, entry.key, entry.value);
    Check(edited.has_value() == zenivor::ini::WithValue("", entry.section, entry.key, entry.value).has_value());
    if (!edited) return;
    Check(zenivor::ini::Lookup(*edited, entry.section, entry.key) == entry.value);
    Check(zenivor::ini::WithValue(*edited, entry.section, entry.key, entry.value) == *edited);
    // Without a blank the key has no older spelling, so a value already stored means no change.
    if (entry.key.find(' ') == std::string::npos && before == entry.value) Check(*edited == text);
    if (zenivor::ini::IsText(text)) Check(zenivor::ini::IsText(*edited));
    for (const char* other : {"Other", "Skyview"}) {
        if (SameSection(other, entry.section)) continue;
        for (const char* key : {"LastPath", "About ZenivorTop", "k"})
            Check(zenivor::ini::Lookup(*edited, other, key) == zenivor::ini::Lookup(text, other, key));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<Entry> entries = {
        {"Zenivor", "LastPath", "/home/ann/sky/"},
        {"zenivor", "About ZenivorTop", "6555"},
        {"Other", "k", "C:\\a;b"},
    };
    // The last line, read as "section|key=value", names one more entry, so the fuzzer can steer
    // the names it tries to match.
    const std::string_view last = text.substr(text.rfind('\n') == std::string_view::npos ? 0 : text.rfind('\n') + 1);
    const std::size_t bar = last.find('|');
    const std::size_t equals = last.find('=', bar == std::string_view::npos ? 0 : bar);
    if (bar != std::string_view::npos && equals != std::string_view::npos)
        entries.push_back({std::string(last.substr(0, bar)), std::string(last.substr(bar + 1, equals - bar - 1)),
                           std::string(last.substr(equals + 1))});
    for (const Entry& entry : entries) Exercise(text, entry);
    return 0;
}
