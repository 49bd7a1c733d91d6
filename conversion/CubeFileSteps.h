#pragma once
// The steps of a conversion that read and write files, shared by the strip's and the
// panorama's: the source's size and pixels, the locked output folder, each face's file staged
// beside its target, the ground template's copy, and the six put in place as one set. A step that
// fails shows why (a refusal as a message, any other failure in the status line), keeps it in
// the result and returns false; until the last step nothing in the folder is replaced.

#include <array>
#include <exception>
#include <string>

#include "conversion/Cube.h"
#include "conversion/SkyContext.h"

namespace zenivor {

class CubeFileSteps {
public:
    CubeFileSteps(const std::string& path, const SkyContext& context) : path_(path), context_(context) {}

    const std::string& SourcePath() const { return path_; }
    const SkyResult& Outcome() const { return result_; }
    ImageSize SourceSize() const { return result_.strip; }
    // What the source's linear values mean, once its size was read.
    Light SourceLight() const { return sourceLight_; }
    // The output folder: the remembered one, or the source's own when none is remembered.
    std::filesystem::path Folder() const;
    std::string OutputPath(Face face) const;

    bool Stop(const std::string& statusText);
    bool StopWithMessage(SkyOutcome outcome, const std::string& message);
    void Complete() { result_.outcome = SkyOutcome::Completed; }

    // The source's size from its header.
    bool ReadSourceSize();
    // The source's pixels, of the size just read (which also catches a file that changed in
    // between); shrunk by up to largestFactor where its format can do that for less.
    bool ReadSource(RgbImage& image, int largestFactor = 1);
    // The same as rows in linear light, handed to sink.
    bool ReadSourceRows(RowSink& sink, int largestFactor = 1);
    // Before anything is replaced: the ground template must be there to copy (when it is to be),
    // and the folder is locked so that a second conversion into it waits for this one. The
    // first face named is the one a failure to open the folder is reported for.
    bool PrepareOutput(bool groundFromTemplate, Face firstFace);
    // Stages the face's file.
    bool Save(Face face, const RgbImage& image);
    // A face staged a moment ago that is gone now was removed behind the program's back.
    bool ConfirmWritten(Face face);
    // A face as it lies on disk, read back as it was staged.
    bool ReadBack(Face face, RgbImage& image);
    bool CopyGround();
    // The ground template as an image, for a cube shown before it is written.
    bool ReadGroundTemplate(RgbImage& image);
    // Puts the six staged files in their places, as one set.
    bool ReplaceCube();

private:
    // Stops, replacing nothing, when the user asked to.
    bool Cancelled();
    std::filesystem::path TemplatePath() const {
        return context_.groundTemplate.empty() ? context_.programFolder / kGroundTemplateFile : context_.groundTemplate;
    }

    const std::string& path_;
    const SkyContext& context_;
    SkyResult result_;
    Light sourceLight_ = Light::Display;
    InputFile ground_;
    OutputFolder folder_;
    std::array<StagedFile, 6> staged_;  // by Face; they go before the folder they lie in
};

// The names of the six files, as the folder's writers own them.
std::vector<std::string> CubeFileNames();

// The six files of the cube in folder, by Face; a face that cannot be read is empty.
std::array<RgbImage, 6> ReadCube(FileSystem& files, const std::filesystem::path& folder);
// Whether folder holds all six files of a cube.
bool HoldsCube(FileSystem& files, const std::filesystem::path& folder);

// Finishes what a conversion killed while putting its six files in place left in folder, waiting
// at most wait for one that holds the folder (which then finishes it itself).
Result<void> FinishLeftCube(FileSystem& files, const std::filesystem::path& folder,
                            std::chrono::milliseconds wait = std::chrono::seconds(30));

// The one report of an exception that nobody expected (nothing is expected to throw but
// running out of memory), as the conversion's result.
SkyResult ReportUnexpected(const char* procedure, const SkyContext& context, const std::exception& error);

// Runs a conversion; whatever it held is released on the way out of a throw.
template <typename Conversion>
SkyResult Reporting(const char* procedure, const SkyContext& context, const Conversion& conversion) {
    try {
        return conversion();
    } catch (const std::exception& error) {
        return ReportUnexpected(procedure, context, error);
    }
}

}  // namespace zenivor
