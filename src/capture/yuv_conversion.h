// Packed 4:2:2 video (two pixels sharing one U and one V) into the Frame
// buffer's 0x00RRGGBB words, with the arithmetic of GStreamer's own
// converter at its defaults, so that a camera's YUY2 picture reaches the
// spot detector exactly as the converter would have made it: linear chroma
// between pair centres, then a 16-bit fixed-point matrix on values taken
// about 128.
#pragma once

#include <cstdint>

enum class PackedYuvLayout {
    kYuy2,  // Y0 U Y1 V
    kUyvy,  // U Y0 V Y1
};

// The matrix in 1/256 units, as the converter rounds it.
struct YuvMatrix {
    int16_t luma;
    int16_t redFromV;
    int16_t greenFromU;
    int16_t greenFromV;
    int16_t blueFromU;
};

// kr and kb: the luma weights of red and blue (0.299 and 0.114 for BT.601).
// Studio range puts luma on 16..235 and chroma on 16..240; full range uses
// all of 0..255.
YuvMatrix MakeYuvMatrix(double kr, double kb, bool fullRange);

// One row of width pixels (even, at least 2) from in to out.
void ConvertPackedYuvRow(const unsigned char* in, uint32_t* out, int width, PackedYuvLayout layout,
                         const YuvMatrix& matrix);

// The red channel alone, as 0x00RR0000 words, of columns firstColumn to
// lastColumn of one row; the words of some columns around them may be
// written too. Red equals the whole conversion's red on every pixel.
void ConvertPackedYuvRowRed(const unsigned char* in, uint32_t* out, int width, int firstColumn, int lastColumn,
                            PackedYuvLayout layout, const YuvMatrix& matrix);
