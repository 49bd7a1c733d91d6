#include "formats/ImageFormats.h"

#include "imaging/Tga.h"

namespace zenivor {

DecoderList PanoramaDecoders() {
    static const ImageDecoder* const decoders[] = {&PngDecoder(), &JpegDecoder(), &TgaDecoder()};
    return decoders;
}

}  // namespace zenivor
