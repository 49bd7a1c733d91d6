/* Writes a synthetic equirectangular panorama as a JPEG for the benchmarks: smooth sky and
   ground gradients under fine detail, so that it decodes like a photograph, not a flat colour.
   Usage: make_panorama OUT.jpg WIDTH (the height is half the width). */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <jpeglib.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: make_panorama OUT.jpg WIDTH\n");
        return 2;
    }
    const int width = atoi(argv[2]), height = width / 2;
    FILE* out = fopen(argv[1], "wb");
    if (!out || width < 2) {
        perror(argv[1]);
        return 1;
    }
    struct jpeg_compress_struct c;
    struct jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    unsigned char* row = malloc((size_t)width * 3);
    unsigned seed = 12345;
    for (int y = 0; y < height; y++) {
        const double lat = 0.5 - (y + 0.5) / height;
        for (int x = 0; x < width; x++) {
            seed = seed * 1103515245u + 12345u;
            const int noise = (int)((seed >> 16) & 31) - 16;
            const double wave = 20 * sin(x * 0.05) * cos(y * 0.07);
            int r = lat > 0 ? 90 + (int)(100 * lat) : 70, g = lat > 0 ? 140 + (int)(150 * lat) : 110 + (int)(60 * lat),
                b = lat > 0 ? 230 : 60;
            int v[3] = {r + noise + (int)wave, g + noise, b + noise - (int)wave};
            for (int k = 0; k < 3; k++) row[x * 3 + k] = (unsigned char)(v[k] < 0 ? 0 : v[k] > 255 ? 255 : v[k]);
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    fclose(out);
    free(row);
    return 0;
}
