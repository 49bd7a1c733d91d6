// Writes the help page from its template, filling in the converter's usage text and the table
// of the error codes, so that the page never drifts from the program.
// Usage: make_help_page TEMPLATE OUTPUT

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/Usage.h"
#include "formats/ImageFormats.h"

namespace {

std::string EscapedHtml(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string ErrorCodeRows() {
    std::string rows;
    for (const zenivor::ErrorKind& kind : zenivor::AllErrorKinds())
        rows += "<tr><td>" + std::to_string(kind.number) + "</td><td>" + EscapedHtml(kind.text) + "</td></tr>\n";
    if (!rows.empty()) rows.pop_back();
    return rows;
}

bool Replace(std::string& page, const std::string& placeholder, const std::string& text) {
    const auto at = page.find(placeholder);
    if (at == std::string::npos) return false;
    page.replace(at, placeholder.size(), text);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_help_page TEMPLATE OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream page;
    page << in.rdbuf();
    std::string text = page.str();
    std::string usage = zenivor::kUsage;
    while (!usage.empty() && usage.back() == '\n') usage.pop_back();
    if (!in || !Replace(text, "@ZENIVOR_USAGE@", EscapedHtml(usage)) ||
        !Replace(text, "@ZENIVOR_ERROR_CODES@", ErrorCodeRows())) {
        std::fprintf(stderr, "make_help_page: cannot read %s or it lacks a placeholder\n", argv[1]);
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    return out.flush() ? 0 : 1;
}
