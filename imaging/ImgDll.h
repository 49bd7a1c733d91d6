#pragma once
// The image library: TGA reading and writing, drawing RGB buffers into a device context and
// reading them back, mirroring and quarter turns. Functions report success as non-zero (or a
// non-zero handle) and leave the reason for a failure in ImgDLLGetLastError().
//
// RGB buffers are blocks from GlobalMemory.h holding width x height pixels, top row first,
// three bytes per pixel in the order red, green, blue. Every pixel address handed in must lie
// in a locked block large enough for the size given, or the call fails with kImgBadBuffer.
// Paths are UTF-8.

#include <string>

#include "imaging/DrawingSurface.h"
#include "imaging/GlobalMemory.h"

namespace zenivor {

// Codes of ImgDLLGetLastError().
enum ImgError : int {
    kImgOk = 0,
    kImgFileOpen = 1,            // the file cannot be opened (missing, or no permission)
    kImgNotAFile = 2,            // the path names a directory or another non-regular file
    kImgFileRead = 3,            // an I/O error while reading
    kImgTruncatedHeader = 4,     // shorter than the 18-byte TGA header (an empty file too)
    kImgUnknownType = 5,         // image type other than 1, 2, 3, 9, 10 or 11
    kImgUnknownColorMapType = 6, // colour-map type other than 0 or 1
    kImgBadColorMapDepth = 7,    // colour-map entries not of 15, 16, 24 or 32 bits
    kImgBadPixelDepth = 8,       // pixel depth that does not fit the image type
    kImgInterleaved = 9,         // interleave bits set in the image descriptor
    kImgZeroSize = 10,           // width or height of 0
    kImgMissingColorMap = 11,    // colour-mapped image without colour map, or with an empty one
    kImgTruncatedColorMap = 12,  // the file ends inside the colour map
    kImgTruncatedPixels = 13,    // the file ends inside the pixel data or inside an RLE packet
    kImgRleOverrun = 14,         // an RLE packet runs past the last pixel of the image
    kImgColorIndexRange = 15,    // a colour index outside the colour map
    kImgOutOfMemory = 16,        // no memory for the image
    kImgBadArgument = 17,        // null path or device context, non-positive size, unknown flags
    kImgBadBuffer = 18,          // the pixel address is not in a locked buffer of that size
    kImgOutOfBounds = 19,        // a rectangle reaches outside the image or the surface
    kImgNotSquare = 20,          // a quarter turn in place needs a square image
    kImgBadRotation = 21,        // rotation code other than 0, 1 or 2
    kImgFileCreate = 22,         // the output cannot be created or put in place of the target
    kImgFileWrite = 23,          // writing the output failed (a full disk among others)
    kImgUnexpectedSize = 24,     // the file's size differs from the size the caller asked for
};

// One-time set-up; returns non-zero. The library keeps no other global state.
int ImgDLLStringInitDLL();
int ImgDLLGetLastError();

// Reads the header only. Non-zero on success, with width and height set.
int ImgDLLGetTGADimensions(const std::string& path, int& width, int& height);
// A new RGB buffer holding the file's pixels, 0 on failure. On entry width and height give the
// size the caller expects (0 for any); on success they hold the file's size.
HGLOBAL ImgDLLReadRGBFromTGA(const std::string& path, int& width, int& height);
// Writes an uncompressed 24-bit TGA (type 2, bottom-left origin, no ID, no colour map); the
// target is replaced only once the whole file is written.
int ImgDLLSaveRGBToTGA(const std::string& path, const void* pixels, int width, int height);

// Copies the crop rectangle unscaled to (destX, destY); flags 0 is a plain copy, the only kind.
int ImgDLLDrawRGBCrop(HDC dc, const void* pixels, int width, int height, int destX, int destY, int srcX,
                      int srcY, int cropWidth, int cropHeight, int flags);
// Draws the whole image unscaled at (x, y); the destination size must equal the image size.
int ImgDLLDrawRGB2(HDC dc, const void* pixels, int width, int height, int x, int y, int destWidth,
                   int destHeight);
// A new RGB buffer holding that rectangle of the device context's surface, 0 on failure.
HGLOBAL ImgDLLDCToRGB(HDC dc, int x, int y, int width, int height);

int ImgDLLHorizontalFlipRGB(void* pixels, int width, int height);
// Turns a square image in place: 0 a quarter turn clockwise, 1 a half turn, 2 a quarter turn
// counter-clockwise, as the image looks when drawn or saved.
int ImgDLLQuickRotateRGB(void* pixels, int width, int height, int code);

}  // namespace zenivor
