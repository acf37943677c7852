// jpeg_check: a JPEG file read first as stb_image's decoder reads it. The decoder goes wrong
// on Huffman tables declaring more than 256 codes (written past their arrays, in the header
// read as much as in decoding) and on scans coded with a table never defined (decoded with
// whatever memory holds). In coded data that ends at a marker before its blocks do, its bit
// counter goes negative and then shifts by 32 and more; DC sums can overflow int; and blocks
// no scan reaches keep memory it never wrote. So the same markers are read, with the
// decoder's own table builders, and its bit reader and block decoding mirrored step for step,
// with those cases refused. picture_check hands JPEG files here.
#pragma once
#include <physfs.h>
#include <stdint.h>

// The size the frame header declares; 0 x 0 where the file has none the decoder would take.
struct jpeg_size {
    int64_t width, height;
};

// 0 when the file (file_size bytes long) must not reach the decoder; 1 when the decoder may be
// given it (where it fails on its own, it then fails cleanly). A picture larger than
// max_width x max_height is not read past its frame header. Leaves the file's position anywhere.
int jpeg_check_file(PHYSFS_File *file, int64_t file_size, int32_t max_width, int32_t max_height, jpeg_size *size);
