// picture_check: the checks a picture file passes before stb_image decodes it. stb_image
// believes what a file declares, so the file is read first as the decoder would read it, and
// refused when the picture is larger than allowed, when the file is too short for what it
// declares (the decoder would hand back memory it never wrote, or build a huge picture of
// nothing), and where the decoder goes wrong: 16-bit PGM/PPM samples (converted past its
// buffer), an empty first PNG data chunk (a copy to a null pointer), Radiance run lengths of
// zero (an endless loop), numbers past int, and JPEG tables and coded data (jpeg_check).
// Every format the decoder takes is checked: PNM, PNG, BMP, TGA, PSD, PIC, HDR and JPEG here,
// the rest by the decoder's own header reader.
#pragma once
#include <physfs.h>
#include <stdint.h>

// Why a picture was refused before decoding, for the reason a game author needs to read.
enum image_refusal {
    IMAGE_NOT_REFUSED,
    IMAGE_LARGER_THAN_ALLOWED,  // wider or taller than the limit asked for
    IMAGE_TOO_LARGE_TO_DECODE,  // within it, but beyond the decoder's arithmetic (16 bits a sample)
};

// What the check found, and what decoding must do differently for the file.
struct picture_check {
    int64_t width, height;      // as declared; a top-down picture's height made positive
    image_refusal too_large;
    bool corrupt;               // refused: never decoded
    int64_t data_at;            // PGM/PPM: where the samples start
    int pnm_channels, pnm_sample_bytes; // 2 bytes: decoded at 16 bits, high bytes kept
    int64_t empty_idat_at;      // PNG: the first of empty_idats empty data chunks in a row,
    int empty_idats;            // to be shown to the decoder as ancillary chunks
};

// Reads what the file (file_size bytes long) declares into check, which starts zero-filled:
// corrupt, or too_large past max_width x max_height, when it may not be decoded. Leaves the
// file's position anywhere.
void picture_check_file(PHYSFS_File *file, int64_t file_size, int32_t max_width, int32_t max_height,
                        picture_check *check);

// stb_image's reading callbacks over a PhysicsFS file (user), for the checks and the decoder
// alike: a read error is the end of the data, and so is a position that cannot be read.
int picture_physfs_read(void *user, char *buffer, int size);
void picture_physfs_skip(void *user, int n);
int picture_physfs_eof(void *user);
