#pragma once
// Every library, memory, drawing and file call the conversion makes, behind one interface, so
// that a test can hand in a library that fails exactly where it wants.

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "imaging/ImgDll.h"

namespace zenivor {

class ImagingApi {
public:
    virtual ~ImagingApi() = default;

    virtual int ImgDLLGetTGADimensions(const std::string& path, int& width, int& height) = 0;
    virtual HGLOBAL ImgDLLReadRGBFromTGA(const std::string& path, int& width, int& height) = 0;
    virtual int ImgDLLGetLastError() = 0;
    virtual int ImgDLLDrawRGBCrop(HDC dc, const void* pixels, int width, int height, int destX, int destY,
                                  int srcX, int srcY, int cropWidth, int cropHeight, int flags) = 0;
    virtual int ImgDLLDrawRGB2(HDC dc, const void* pixels, int width, int height, int x, int y, int destWidth,
                               int destHeight) = 0;
    virtual HGLOBAL ImgDLLDCToRGB(HDC dc, int x, int y, int width, int height) = 0;
    virtual int ImgDLLHorizontalFlipRGB(void* pixels, int width, int height) = 0;
    virtual int ImgDLLQuickRotateRGB(void* pixels, int width, int height, int code) = 0;
    virtual int ImgDLLSaveRGBToTGA(const std::string& path, const void* pixels, int width, int height) = 0;

    virtual void* GlobalLock(HGLOBAL block) = 0;
    virtual bool GlobalUnlock(HGLOBAL block) = 0;
    virtual HGLOBAL GlobalFree(HGLOBAL block) = 0;
    virtual std::uint32_t GetLastError() = 0;

    virtual HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode) = 0;
    virtual int SaveDC(HDC dc) = 0;
    virtual int SelectClipRgn(HDC dc, HRGN region) = 0;
    virtual bool RestoreDC(HDC dc, int level) = 0;
    virtual bool DeleteObject(HRGN region) = 0;

    virtual std::error_code CopyFile(const std::filesystem::path& source, const std::filesystem::path& target) = 0;
    // Throws std::filesystem::filesystem_error for a missing file.
    virtual std::filesystem::file_time_type FileDateTime(const std::filesystem::path& path) = 0;
};

// Forwards every call to our image library and the system layer.
ImagingApi& SystemImagingApi();

}  // namespace zenivor
