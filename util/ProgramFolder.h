#pragma once
#include <filesystem>

namespace zenivor {

// The folder that holds the running executable; the ground template and the help page live
// there. argv0 is the fallback where the system cannot say.
std::filesystem::path ProgramFolder(const char* argv0 = nullptr);

}  // namespace zenivor
