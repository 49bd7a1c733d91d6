#pragma once
// The image library's calls by the names the program's first design gave them, for a reader
// who knows that design. The program itself calls the value functions they name; this file
// only maps one vocabulary to the other, and nothing but it uses the old names.
//
//   ImgDLLStringInitDLL          nothing to initialise: the library keeps no state
//   ImgDLLGetTGADimensions       ReadImageSize (ImageFiles.h)
//   ImgDLLReadRGBFromTGA         ReadImage, with the size asked for (ImageFiles.h)
//   ImgDLLGetLastError           the Error a Result carries (util/Result.h)
//   ImgDLLDrawRGBCrop            DrawCrop into the drawing surface (ImageOps.h)
//   ImgDLLDCToRGB                a copy of the drawing surface, an RgbImage like any other
//   ImgDLLHorizontalFlipRGB      FlipHorizontally (ImageOps.h)
//   ImgDLLQuickRotateRGB         Turned: code 0 Turn::Clockwise, 1 Turn::Half, 2 Turn::CounterClockwise
//   ImgDLLDrawRGB2 through a clip region made by CreatePolygonRgn, SaveDC and SelectClipRgn,
//                                undone by RestoreDC and DeleteObject: DrawPolygon (ImageOps.h)
//   ImgDLLSaveRGBToTGA           WriteTga (ImageFiles.h)
//   GlobalLock, GlobalUnlock,    nothing: an RgbImage owns its pixels and frees them itself
//   GlobalFree
//   CopyFileA                    FileSystem::Copy (util/FileSystem.h)

#include "imaging/ImageFiles.h"
#include "imaging/ImageOps.h"

namespace zenivor::pIMGDLL {

inline constexpr auto& ImgDLLGetTGADimensions = ReadImageSize;
inline constexpr auto& ImgDLLReadRGBFromTGA = ReadImage;
inline constexpr auto& ImgDLLDrawRGBCrop = DrawCrop;
inline constexpr auto& ImgDLLHorizontalFlipRGB = FlipHorizontally;
inline constexpr auto& ImgDLLQuickRotateRGB = Turned;
inline constexpr auto& ImgDLLDrawRGB2 = DrawPolygon;
inline constexpr auto& ImgDLLSaveRGBToTGA = WriteTga;

}  // namespace zenivor::pIMGDLL
