#include "conversion/ImagingApi.h"

#include "util/Files.h"

namespace zenivor {
namespace {

class SystemApi final : public ImagingApi {
public:
    int ImgDLLGetTGADimensions(const std::string& path, int& width, int& height) override {
        return zenivor::ImgDLLGetTGADimensions(path, width, height);
    }
    HGLOBAL ImgDLLReadRGBFromTGA(const std::string& path, int& width, int& height) override {
        return zenivor::ImgDLLReadRGBFromTGA(path, width, height);
    }
    int ImgDLLGetLastError() override { return zenivor::ImgDLLGetLastError(); }
    int ImgDLLDrawRGBCrop(HDC dc, const void* pixels, int width, int height, int destX, int destY, int srcX,
                          int srcY, int cropWidth, int cropHeight, int flags) override {
        return zenivor::ImgDLLDrawRGBCrop(dc, pixels, width, height, destX, destY, srcX, srcY, cropWidth,
                                          cropHeight, flags);
    }
    int ImgDLLDrawRGB2(HDC dc, const void* pixels, int width, int height, int x, int y, int destWidth,
                       int destHeight) override {
        return zenivor::ImgDLLDrawRGB2(dc, pixels, width, height, x, y, destWidth, destHeight);
    }
    HGLOBAL ImgDLLDCToRGB(HDC dc, int x, int y, int width, int height) override {
        return zenivor::ImgDLLDCToRGB(dc, x, y, width, height);
    }
    int ImgDLLHorizontalFlipRGB(void* pixels, int width, int height) override {
        return zenivor::ImgDLLHorizontalFlipRGB(pixels, width, height);
    }
    int ImgDLLQuickRotateRGB(void* pixels, int width, int height, int code) override {
        return zenivor::ImgDLLQuickRotateRGB(pixels, width, height, code);
    }
    int ImgDLLSaveRGBToTGA(const std::string& path, const void* pixels, int width, int height) override {
        return zenivor::ImgDLLSaveRGBToTGA(path, pixels, width, height);
    }

    void* GlobalLock(HGLOBAL block) override { return zenivor::GlobalLock(block); }
    bool GlobalUnlock(HGLOBAL block) override { return zenivor::GlobalUnlock(block); }
    HGLOBAL GlobalFree(HGLOBAL block) override { return zenivor::GlobalFree(block); }
    std::uint32_t GetLastError() override { return zenivor::GetLastError(); }

    HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode) override {
        return zenivor::CreatePolygonRgn(points, count, fillMode);
    }
    int SaveDC(HDC dc) override { return zenivor::SaveDC(dc); }
    int SelectClipRgn(HDC dc, HRGN region) override { return zenivor::SelectClipRgn(dc, region); }
    bool RestoreDC(HDC dc, int level) override { return zenivor::RestoreDC(dc, level); }
    bool DeleteObject(HRGN region) override { return zenivor::DeleteObject(region); }

    std::error_code CopyFile(const std::filesystem::path& source, const std::filesystem::path& target) override {
        return CopyFileReplacing(source, target);
    }
    std::filesystem::file_time_type FileDateTime(const std::filesystem::path& path) override {
        return zenivor::FileDateTime(path);
    }
};

}  // namespace

ImagingApi& SystemImagingApi() {
    static SystemApi api;
    return api;
}

}  // namespace zenivor
