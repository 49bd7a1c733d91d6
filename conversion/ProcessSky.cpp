#include "conversion/ProcessSky.h"

#include "conversion/SkyTables.h"
#include "util/ErrorText.h"
#include "util/Files.h"

namespace zenivor {
namespace {

// An RGB buffer from the library, locked while held; unlocked and freed when released.
class RgbBuffer {
public:
    explicit RgbBuffer(ImagingApi& api) : api_(api) {}
    RgbBuffer(const RgbBuffer&) = delete;
    RgbBuffer& operator=(const RgbBuffer&) = delete;
    ~RgbBuffer() { Release(); }

    // Takes over the block and locks it; false when the lock fails, the block then stays
    // held so that Release frees it.
    bool Adopt(HGLOBAL handle) {
        Release();
        handle_ = handle;
        pixels_ = api_.GlobalLock(handle_);
        return pixels_ != nullptr;
    }
    void Release() {
        if (pixels_ != nullptr) api_.GlobalUnlock(handle_);
        if (handle_ != 0) api_.GlobalFree(handle_);
        handle_ = 0;
        pixels_ = nullptr;
    }
    void* Pixels() const { return pixels_; }

private:
    ImagingApi& api_;
    HGLOBAL handle_ = 0;
    void* pixels_ = nullptr;
};

// A polygon clip selected into the device context for one draw; the context is restored and
// the region deleted when it goes.
class ClipScope {
public:
    ClipScope(ImagingApi& api, HDC dc, const std::array<POINT, 4>& polygon) : api_(api), dc_(dc) {
        region_ = api_.CreatePolygonRgn(polygon.data(), static_cast<int>(polygon.size()), kWinding);
        if (region_ != 0) level_ = api_.SaveDC(dc_);
        selected_ = level_ != 0 && api_.SelectClipRgn(dc_, region_) != kRegionError;
    }
    ClipScope(const ClipScope&) = delete;
    ClipScope& operator=(const ClipScope&) = delete;
    ~ClipScope() {
        if (level_ != 0) api_.RestoreDC(dc_, level_);
        if (region_ != 0) api_.DeleteObject(region_);
    }
    bool Selected() const { return selected_; }

private:
    ImagingApi& api_;
    HDC dc_;
    HRGN region_ = 0;
    int level_ = 0;
    bool selected_ = false;
};

class SkyConversion {
public:
    SkyConversion(const std::string& path, const SkyContext& context)
        : path_(path), host_(context.host), api_(context.api), context_(context), strip_(api_), face_(api_) {}

    bool Run() {
        return ReadStrip() && WriteSideFaces() && ComposeSkyCap() && SaveSkyCap() && CopyGround();
    }

private:
    std::filesystem::path OutputPath(const char* fileName) const {
        const auto folder = context_.lastPath.empty() ? PathFromUtf8(path_).parent_path() : PathFromUtf8(context_.lastPath);
        return folder / fileName;
    }

    bool Stop(const std::string& statusText) {
        host_.SetStatusText(statusText);
        return false;
    }
    bool StopWithMessage(const std::string& message) {
        host_.ShowMessage(message);
        return false;
    }
    std::string LibraryCode() { return std::to_string(api_.ImgDLLGetLastError()); }
    std::string SystemCode() { return std::to_string(api_.GetLastError()); }

    // The strip: size check, read and lock.
    bool ReadStrip() {
        int width = 0;
        int height = 0;
        if (api_.ImgDLLGetTGADimensions(path_, width, height) == 0) return StopWithMessage("Error getting file size");
        layout_ = StripLayoutFor(width, height);
        if (layout_ == nullptr) return StopWithMessage("Imagesize needs to be 504x504 or 1008x504 or 2016x504");
        const HGLOBAL strip = api_.ImgDLLReadRGBFromTGA(path_, width, height);
        if (strip == 0) return Stop("Get " + path_ + " error: " + LibraryCode());
        if (!strip_.Adopt(strip)) return Stop("GlobalLock error: " + SystemCode());
        return true;
    }

    bool WriteSideFaces() {
        for (const FaceStep& step : layout_->steps) {
            const bool cut = step.cropCount == 0 ? MirrorFace() : CutFace(step);
            if (!cut || !WriteFace(step.face)) return false;
        }
        strip_.Release();
        face_.Release();
        host_.ClearSurface();
        return true;
    }

    bool CutFace(const FaceStep& step) {
        bool drawn = true;
        for (int i = 0; i < step.cropCount; ++i) drawn = DrawCrop(step.crops[static_cast<std::size_t>(i)]) && drawn;
        if (step.repaintAfterCrop) host_.RepaintSurface();
        if (step.confirmWestWritten) api_.FileDateTime(OutputPath(SideFaceOf(Face::West).fileName));
        if (!drawn) return StopWithMessage("Error cropping image");
        face_.Release();
        return ReadBack(face_);
    }

    bool DrawCrop(const Crop& crop) {
        return api_.ImgDLLDrawRGBCrop(host_.SurfaceDC(), strip_.Pixels(), layout_->width, kStripHeight, crop.destX, 0,
                                      crop.srcX, 0, crop.width, kStripHeight, 0) != 0;
    }

    bool MirrorFace() {
        if (api_.ImgDLLHorizontalFlipRGB(face_.Pixels(), kFaceSize, kFaceSize) != 0) return true;
        return Stop("Mirror error: " + LibraryCode());
    }

    bool ReadBack(RgbBuffer& buffer) {
        const HGLOBAL handle = api_.ImgDLLDCToRGB(host_.SurfaceDC(), 0, 0, kFaceSize, kFaceSize);
        if (handle == 0) return Stop("Convert to RGB error: " + LibraryCode());
        if (!buffer.Adopt(handle)) return Stop("GlobalLock DCToRGB error: " + SystemCode());
        return true;
    }

    bool WriteFace(Face face) {
        host_.SetStatusText(SideFaceOf(face).savingText);
        host_.RepaintStatus();
        host_.RepaintWindow();
        return Save(face_, SideFaceOf(face).fileName);
    }

    bool Save(const RgbBuffer& buffer, const char* fileName) {
        const std::string target = Utf8FromPath(OutputPath(fileName));
        if (api_.ImgDLLSaveRGBToTGA(target, buffer.Pixels(), kFaceSize, kFaceSize) != 0) return true;
        return Stop("Save " + target + " error: " + LibraryCode());
    }

    bool ComposeSkyCap() {
        for (const Quadrant& quadrant : kQuadrants)
            if (!DrawQuadrant(quadrant)) return false;
        return true;
    }

    // One triangle of the sky cap, taken from the side face as it lies on disk.
    bool DrawQuadrant(const Quadrant& quadrant) {
        const auto facePath = OutputPath(SideFaceOf(quadrant.face).fileName);
        host_.SetStatusText(quadrant.statusText);
        host_.RepaintStatus();
        api_.FileDateTime(facePath);
        // Asking for 504 x 504 makes a face of any other size a read failure.
        int width = kFaceSize;
        int height = kFaceSize;
        RgbBuffer face(api_);
        const HGLOBAL handle = api_.ImgDLLReadRGBFromTGA(Utf8FromPath(facePath), width, height);
        if (handle == 0) return Stop("Get " + Utf8FromPath(facePath) + " error: " + LibraryCode());
        if (!face.Adopt(handle)) return Stop("GlobalLock error: " + SystemCode());
        const ClipScope clip(api_, host_.SurfaceDC(), quadrant.polygon);
        if (!clip.Selected()) return Stop("Clip region error: " + SystemCode());
        for (int i = 0; i < quadrant.transformCount; ++i)
            if (!Apply(quadrant.transforms[static_cast<std::size_t>(i)], face)) return false;
        if (api_.ImgDLLDrawRGB2(host_.SurfaceDC(), face.Pixels(), kFaceSize, kFaceSize, 0, 0, kFaceSize, kFaceSize) == 0)
            return Stop("Draw error: " + LibraryCode());
        host_.RepaintSurface();
        return true;
    }

    bool Apply(Transform transform, const RgbBuffer& face) {
        const int done = transform == Transform::Flip
                             ? api_.ImgDLLHorizontalFlipRGB(face.Pixels(), kFaceSize, kFaceSize)
                             : api_.ImgDLLQuickRotateRGB(face.Pixels(), kFaceSize, kFaceSize,
                                                         transform == Transform::TurnClockwise ? 0 : 2);
        return done != 0 || Stop("Transform error: " + LibraryCode());
    }

    bool SaveSkyCap() {
        RgbBuffer cap(api_);
        if (!ReadBack(cap)) return false;
        host_.SetStatusText("Saving sky.");
        host_.RepaintSurface();
        host_.RepaintWindow();
        return Save(cap, kSkyCapFile);
    }

    bool CopyGround() {
        host_.SetStatusText("Saving ground");
        host_.RepaintSurface();
        host_.RepaintWindow();
        const auto source = context_.programFolder / kGroundFile;
        const std::error_code error = api_.CopyFile(source, OutputPath(kGroundFile));
        if (error) return Stop("Copy " + Utf8FromPath(source) + " error: " + std::to_string(error.value()));
        return true;
    }

    const std::string& path_;
    ConversionHost& host_;
    ImagingApi& api_;
    const SkyContext& context_;
    const StripLayout* layout_ = nullptr;
    RgbBuffer strip_;
    RgbBuffer face_;
};

}  // namespace

bool ProcessSky(const std::string& path, const SkyContext& context) {
    // Errors nobody expects end the conversion with one report; the buffers and clip
    // regions still held are released on the way out.
    try {
        return SkyConversion(path, context).Run();
    } catch (const std::exception& error) {
        context.host.ShowMessage(UnexpectedErrorText("ProcessSky", error));
    }
    return false;
}

}  // namespace zenivor
