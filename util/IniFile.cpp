#include "util/IniFile.h"

#include <cstddef>
#include <vector>

namespace zenivor::ini {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// '\r' counts as a blank so that a last line ending in a bare CR reads as its CRLF twin would.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

// The spelling QSettings gave keys with blanks in earlier releases.
std::string LegacySpelling(std::string_view key) {
    std::string spelled;
    for (const char c : key) {
        if (c == ' ')
            spelled += "%20";
        else
            spelled += c;
    }
    return spelled;
}

struct Line {
    std::size_t begin;       // the first byte of the content
    std::size_t contentEnd;  // where the line end starts
    std::size_t end;         // past the line end
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t position = text.starts_with(kBom) ? kBom.size() : 0;
    while (position < text.size()) {
        const std::size_t newline = text.find('\n', position);
        if (newline == std::string_view::npos) {
            lines.push_back({position, text.size(), text.size()});
            break;
        }
        const std::size_t contentEnd = newline > position && text[newline - 1] == '\r' ? newline - 1 : newline;
        lines.push_back({position, contentEnd, newline + 1});
        position = newline + 1;
    }
    return lines;
}

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;
    std::string_view value;
};

Parsed Parse(std::string_view content) {
    const std::string_view line = Trim(content);
    if (line.empty() || line.front() == ';') return {};
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        const std::string_view inside = close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
        return {Kind::Section, Trim(inside), {}};
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return {};
    return {Kind::Key, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

// Where a key stands in the first section of its name (indices into the lines).
struct Place {
    std::optional<std::size_t> section;
    std::size_t lastKeyLine = 0;  // the section's last key line, or its header when it has none
    std::optional<std::size_t> literal;
    std::optional<std::size_t> legacy;
};

Place Find(std::string_view text, const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    const std::string legacy = LegacySpelling(key);
    const bool hasLegacy = legacy != key;
    Place place;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Parsed parsed = Parse(text.substr(lines[i].begin, lines[i].contentEnd - lines[i].begin));
        if (parsed.kind == Kind::Section) {
            if (place.section) break;
            if (SameName(parsed.name, section)) {
                place.section = i;
                place.lastKeyLine = i;
            }
            continue;
        }
        if (!place.section || parsed.kind != Kind::Key) continue;
        place.lastKeyLine = i;
        if (!place.literal && SameName(parsed.name, key))
            place.literal = i;
        else if (!place.legacy && hasLegacy && SameName(parsed.name, legacy))
            place.legacy = i;
    }
    return place;
}

std::string_view ValueOn(std::string_view text, const Line& line) {
    return Parse(text.substr(line.begin, line.contentEnd - line.begin)).value;
}

bool HasLineBreakOrEdgeBlank(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos || Trim(text) != text;
}

bool Storable(std::string_view section, std::string_view key, std::string_view value) {
    if (!IsText(section) || !IsText(key) || !IsText(value)) return false;
    if (HasLineBreakOrEdgeBlank(section) || HasLineBreakOrEdgeBlank(key) || HasLineBreakOrEdgeBlank(value))
        return false;
    if (section.empty() || section.find(']') != std::string_view::npos) return false;
    if (key.empty() || key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';')
        return false;
    return true;
}

std::string Replaced(std::string_view text, const Line& line, std::string_view content) {
    std::string result(text.substr(0, line.begin));
    result += content;
    result += text.substr(line.contentEnd);
    return result;
}

}  // namespace

bool IsText(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead == 0) return false;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t point = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            point = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            point = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            point = lead & 0x07u;
        } else {
            return false;  // a continuation byte, an overlong lead (C0, C1) or beyond U+10FFFF (F5..FF)
        }
        if (bytes.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0u) != 0x80u) return false;
            point = (point << 6) | (next & 0x3Fu);
        }
        const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
        if (overlong || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

std::optional<std::string> Lookup(std::string_view text, std::string_view section, std::string_view key) {
    const std::vector<Line> lines = SplitLines(text);
    const Place place = Find(text, lines, section, key);
    if (place.literal) return std::string(ValueOn(text, lines[*place.literal]));
    if (place.legacy) return std::string(ValueOn(text, lines[*place.legacy]));
    return std::nullopt;
}

std::optional<std::string> WithValue(std::string_view text, std::string_view section, std::string_view key,
                                     std::string_view value) {
    if (!Storable(section, key, value)) return std::nullopt;
    const std::vector<Line> lines = SplitLines(text);
    const Place place = Find(text, lines, section, key);
    const bool crlf = !lines.empty() && lines[0].end - lines[0].contentEnd == 2;
    const std::string_view lineEnd = crlf ? "\r\n" : "\n";
    std::string entry(key);
    entry += '=';
    entry += value;

    if (place.literal) {
        if (ValueOn(text, lines[*place.literal]) == value) return std::string(text);
        return Replaced(text, lines[*place.literal], entry);
    }
    if (place.legacy) return Replaced(text, lines[*place.legacy], entry);

    std::size_t at = text.size();
    std::string result;
    if (place.section) {
        const Line& after = lines[place.lastKeyLine];
        at = after.end;
        result = text.substr(0, at);
        if (after.end == after.contentEnd) result += lineEnd;  // the last line, without a line end
    } else {
        result = text;
        if (!text.empty() && text != kBom && !text.ends_with('\n')) result += lineEnd;
        result += '[';
        result += section;
        result += ']';
        result += lineEnd;
    }
    result += entry;
    result += lineEnd;
    result += text.substr(at);
    return result;
}

}  // namespace zenivor::ini
