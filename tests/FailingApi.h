#pragma once
// The real library, with one chosen call made to fail (or a step run just before it).

#include <functional>
#include <map>

#include "conversion/ImagingApi.h"

namespace zenivor::test {

enum class Call {
    GetTGADimensions, ReadRGBFromTGA, DrawRGBCrop, DrawRGB2, DCToRGB, HorizontalFlip, QuickRotate, SaveRGBToTGA,
    GlobalLock, CreatePolygonRgn, SaveDC, SelectClipRgn, CopyFile, FileDateTime,
};

inline constexpr int kInjectedLibraryCode = 4321;
inline constexpr std::uint32_t kInjectedSystemCode = 1234;

class FailingApi final : public ImagingApi {
public:
    // The nth call (from 1) of that kind fails.
    void FailOn(Call call, int nth) { failures_[call] = nth; }
    // Runs action just before the nth call of that kind.
    void Before(Call call, int nth, std::function<void()> action) { actions_[{call, nth}] = std::move(action); }
    int Count(Call call) const {
        const auto found = counts_.find(call);
        return found == counts_.end() ? 0 : found->second;
    }

    int ImgDLLGetTGADimensions(const std::string& path, int& width, int& height) override {
        return Fails(Call::GetTGADimensions) ? 0 : real_.ImgDLLGetTGADimensions(path, width, height);
    }
    HGLOBAL ImgDLLReadRGBFromTGA(const std::string& path, int& width, int& height) override {
        return Fails(Call::ReadRGBFromTGA) ? 0 : real_.ImgDLLReadRGBFromTGA(path, width, height);
    }
    int ImgDLLGetLastError() override { return injected_ ? kInjectedLibraryCode : real_.ImgDLLGetLastError(); }
    int ImgDLLDrawRGBCrop(HDC dc, const void* pixels, int width, int height, int destX, int destY, int srcX, int srcY,
                          int cropWidth, int cropHeight, int flags) override {
        return Fails(Call::DrawRGBCrop) ? 0
                                        : real_.ImgDLLDrawRGBCrop(dc, pixels, width, height, destX, destY, srcX, srcY,
                                                                  cropWidth, cropHeight, flags);
    }
    int ImgDLLDrawRGB2(HDC dc, const void* pixels, int width, int height, int x, int y, int destWidth,
                       int destHeight) override {
        return Fails(Call::DrawRGB2) ? 0 : real_.ImgDLLDrawRGB2(dc, pixels, width, height, x, y, destWidth, destHeight);
    }
    HGLOBAL ImgDLLDCToRGB(HDC dc, int x, int y, int width, int height) override {
        return Fails(Call::DCToRGB) ? 0 : real_.ImgDLLDCToRGB(dc, x, y, width, height);
    }
    int ImgDLLHorizontalFlipRGB(void* pixels, int width, int height) override {
        return Fails(Call::HorizontalFlip) ? 0 : real_.ImgDLLHorizontalFlipRGB(pixels, width, height);
    }
    int ImgDLLQuickRotateRGB(void* pixels, int width, int height, int code) override {
        return Fails(Call::QuickRotate) ? 0 : real_.ImgDLLQuickRotateRGB(pixels, width, height, code);
    }
    int ImgDLLSaveRGBToTGA(const std::string& path, const void* pixels, int width, int height) override {
        return Fails(Call::SaveRGBToTGA) ? 0 : real_.ImgDLLSaveRGBToTGA(path, pixels, width, height);
    }
    void* GlobalLock(HGLOBAL block) override { return Fails(Call::GlobalLock) ? nullptr : real_.GlobalLock(block); }
    bool GlobalUnlock(HGLOBAL block) override { return real_.GlobalUnlock(block); }
    HGLOBAL GlobalFree(HGLOBAL block) override { return real_.GlobalFree(block); }
    std::uint32_t GetLastError() override { return injected_ ? kInjectedSystemCode : real_.GetLastError(); }
    HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode) override {
        return Fails(Call::CreatePolygonRgn) ? 0 : real_.CreatePolygonRgn(points, count, fillMode);
    }
    int SaveDC(HDC dc) override { return Fails(Call::SaveDC) ? 0 : real_.SaveDC(dc); }
    int SelectClipRgn(HDC dc, HRGN region) override {
        return Fails(Call::SelectClipRgn) ? kRegionError : real_.SelectClipRgn(dc, region);
    }
    bool RestoreDC(HDC dc, int level) override { return real_.RestoreDC(dc, level); }
    bool DeleteObject(HRGN region) override { return real_.DeleteObject(region); }
    std::error_code CopyFile(const std::filesystem::path& source, const std::filesystem::path& target) override {
        if (Fails(Call::CopyFile)) return std::make_error_code(std::errc::io_error);
        return real_.CopyFile(source, target);
    }
    std::filesystem::file_time_type FileDateTime(const std::filesystem::path& path) override {
        if (Fails(Call::FileDateTime))
            throw std::filesystem::filesystem_error("injected", path, std::make_error_code(std::errc::no_such_file_or_directory));
        return real_.FileDateTime(path);
    }

private:
    bool Fails(Call call) {
        const int nth = ++counts_[call];
        if (const auto action = actions_.find({call, nth}); action != actions_.end()) action->second();
        const auto failure = failures_.find(call);
        injected_ = failure != failures_.end() && failure->second == nth;
        return injected_;
    }

    ImagingApi& real_ = SystemImagingApi();
    std::map<Call, int> failures_;
    std::map<std::pair<Call, int>, std::function<void()>> actions_;
    std::map<Call, int> counts_;
    bool injected_ = false;
};

}  // namespace zenivor::test
