/* The floor of a panorama's conversion: decode the JPEG with libjpeg-turbo, then write six
   504 x 504 TGA files as durably as the converter does (temporary name, fsync, rename, the
   folder fsync()ed once) -- no projection at all. Usage: panorama_floor PANO.jpg FOLDER */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <jpeglib.h>

static unsigned char face[504 * 504 * 3 + 18];

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    FILE* in = fopen(argv[1], "rb");
    if (!in) return 1;
    struct jpeg_decompress_struct d;
    struct jpeg_error_mgr e;
    d.err = jpeg_std_error(&e);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, in);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    const size_t stride = (size_t)d.output_width * 3;
    unsigned char* pixels = malloc(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = pixels + stride * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    fclose(in);
    face[2] = 2;
    face[12] = 504 & 255;
    face[13] = 504 >> 8;
    face[14] = 504 & 255;
    face[15] = 504 >> 8;
    face[16] = 24;
    for (int y = 0; y < 504; y++) memcpy(face + 18 + (size_t)y * 504 * 3, pixels + stride * y, 504 * 3);
    char path[4096], tmp[4200];
    for (int i = 1; i <= 6; i++) {
        snprintf(path, sizeof path, "%s/F00%d0001.tga", argv[2], i);
        snprintf(tmp, sizeof tmp, "%s.tmp", path);
        int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || write(fd, face, sizeof face) != (ssize_t)sizeof face || fsync(fd) != 0) return 1;
        close(fd);
        rename(tmp, path);
    }
    int folder = open(argv[2], O_RDONLY);
    fsync(folder);
    close(folder);
    free(pixels);
    return 0;
}
