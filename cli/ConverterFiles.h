#pragma once
// The file system a conversion of the converter works through: the machine's, except that "-"
// names what came in on standard input, and that the output folder is made only when the
// conversion opens it, which it does once the source has been accepted: a refused source
// leaves no folder behind.

#include <cstdint>
#include <filesystem>

#include "util/FileSystem.h"

namespace zenivor {

// The operand that names standard input.
inline constexpr const char* kStandardInputName = "-";

// The most standard input may hold: it is kept whole (the decoders read by offset), and no
// image Zenivor reads needs more.
inline constexpr std::uint64_t kStandardInputLimit = std::uint64_t{1} << 30;

class ConverterFiles final : public FileSystem {
public:
    // standardInput (may be null) is what "-" opens; outputFolder is made when first opened.
    ConverterFiles(FileSystem& files, const InputFile* standardInput, std::filesystem::path outputFolder)
        : files_(files), standardInput_(standardInput), outputFolder_(std::move(outputFolder)) {}

    Result<InputFile> Open(const std::filesystem::path& path) override;
    Result<InputFile> OpenIn(OutputFolder& folder, const std::string& name) override {
        return files_.OpenIn(folder, name);
    }
    Result<void> CheckExists(const std::filesystem::path& path) override { return files_.CheckExists(path); }
    Result<void> ExistsIn(OutputFolder& folder, const std::string& name) override {
        return files_.ExistsIn(folder, name);
    }
    Result<OutputFolder> OpenFolder(const std::filesystem::path& path, const FolderUse& use) override;
    Result<StagedFile> Stage(OutputFolder& folder, const std::string& target,
                             std::span<const ByteSpan> pieces) override {
        return files_.Stage(folder, target, pieces);
    }
    Result<StagedFile> StageCopy(const InputFile& source, OutputFolder& folder, const std::string& target) override {
        return files_.StageCopy(source, folder, target);
    }
    Result<void> Replace(OutputFolder& folder, std::span<StagedFile> files) override {
        return files_.Replace(folder, files);
    }

private:
    FileSystem& files_;
    const InputFile* standardInput_;
    std::filesystem::path outputFolder_;
};

// What the descriptor (standard input) holds, as a file read by offset: the file itself when it
// is a regular file read from its start, else a copy in memory of at most limit bytes. A
// terminal is refused: no one types an image.
Result<InputFile> ReadStandardInput(int descriptor, std::uint64_t limit = kStandardInputLimit);

}  // namespace zenivor
