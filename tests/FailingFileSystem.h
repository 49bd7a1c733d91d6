#pragma once
// The real file system, with one chosen call made to fail (or a step run just before it).

#include <functional>
#include <map>
#include <optional>

#include "util/FileSystem.h"

namespace zenivor::test {

enum class Call { Open, OpenIn, CheckExists, ExistsIn, OpenFolder, Stage, StageCopy, Replace };

class FailingFileSystem final : public FileSystem {
public:
    // The nth call (from 1) of that kind fails with error.
    void FailOn(Call call, int nth, Error error) { failures_.insert_or_assign(call, Failure{nth, std::move(error)}); }
    // Runs action just before the nth call of that kind.
    void Before(Call call, int nth, std::function<void()> action) { actions_[{call, nth}] = std::move(action); }
    int Count(Call call) const {
        const auto found = counts_.find(call);
        return found == counts_.end() ? 0 : found->second;
    }

    Result<InputFile> Open(const std::filesystem::path& path) override {
        if (auto error = Injected(Call::Open)) return *error;
        return real_.Open(path);
    }
    Result<InputFile> OpenIn(OutputFolder& folder, const std::string& name) override {
        if (auto error = Injected(Call::OpenIn)) return *error;
        return real_.OpenIn(folder, name);
    }
    Result<void> CheckExists(const std::filesystem::path& path) override {
        if (auto error = Injected(Call::CheckExists)) return *error;
        return real_.CheckExists(path);
    }
    Result<void> ExistsIn(OutputFolder& folder, const std::string& name) override {
        if (auto error = Injected(Call::ExistsIn)) return *error;
        return real_.ExistsIn(folder, name);
    }
    Result<OutputFolder> OpenFolder(const std::filesystem::path& path, const FolderUse& use) override {
        if (auto error = Injected(Call::OpenFolder)) return *error;
        return real_.OpenFolder(path, use);
    }
    Result<StagedFile> Stage(OutputFolder& folder, const std::string& target,
                             std::span<const ByteSpan> pieces) override {
        if (auto error = Injected(Call::Stage)) return *error;
        return real_.Stage(folder, target, pieces);
    }
    Result<StagedFile> StageCopy(const InputFile& source, OutputFolder& folder, const std::string& target) override {
        if (auto error = Injected(Call::StageCopy)) return *error;
        return real_.StageCopy(source, folder, target);
    }
    Result<void> Replace(OutputFolder& folder, std::span<StagedFile> files) override {
        if (auto error = Injected(Call::Replace)) return *error;
        return real_.Replace(folder, files);
    }

private:
    struct Failure {
        int nth;
        Error error;
    };

    std::optional<Error> Injected(Call call) {
        const int nth = ++counts_[call];
        if (const auto action = actions_.find({call, nth}); action != actions_.end()) action->second();
        const auto failure = failures_.find(call);
        if (failure != failures_.end() && failure->second.nth == nth) return failure->second.error;
        return std::nullopt;
    }

    FileSystem& real_ = SystemFileSystem();
    std::map<Call, Failure> failures_;
    std::map<std::pair<Call, int>, std::function<void()>> actions_;
    std::map<Call, int> counts_;
};

}  // namespace zenivor::test
