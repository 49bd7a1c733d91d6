#pragma once
// Where the program's own files are: the ground template, the help page and the samples, which
// are the same on every architecture and so are installed apart from the programs; and the
// user's own ground, which no upgrade overwrites.

#include <filesystem>

namespace zenivor {

// The folder of the program's files for a program in programFolder: the folder itself when it
// holds the ground template (a build tree, or a tree unpacked in one place), else the installed
// data folder (PREFIX/share/zenivor beside PREFIX/lib/zenivor).
std::filesystem::path DataFolder(const std::filesystem::path& programFolder);

// Where the user's own ground lies, as the XDG base directories put it: xdgDataHome (the value
// of $XDG_DATA_HOME, or null) when it is an absolute path, else home/.local/share, followed by
// zenivor/F0060001.tga. Empty when neither gives a folder.
std::filesystem::path UserGroundTemplate(const char* xdgDataHome, const char* home);

// The ground to copy into every cube: the user's own when that file exists, else the template
// in the data folder.
std::filesystem::path GroundTemplate(const std::filesystem::path& dataFolder, const std::filesystem::path& userGround);

// The same, from this process's environment.
std::filesystem::path GroundTemplate(const std::filesystem::path& dataFolder);

}  // namespace zenivor
