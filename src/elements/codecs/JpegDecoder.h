#pragma once

// The libjpeg decompressor shared by picture reading and thumbnails.
//
// libjpeg reports fatal errors through a callback that must not return; we leave it with
// longjmp. To keep that well-defined in C++, each function that calls setjmp holds no object
// with a destructor, and no C++ code with such objects runs between setjmp and a library call
// that may jump: the library state lives in this plain struct, owned one frame further out.

#include "elements/codecs/JpegCodec.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>

namespace schauplatz {

struct JpegErrorManager {
    jpeg_error_mgr base; // first member: libjpeg passes &base
    std::jmp_buf jump;
};

struct JpegDecoder {
    jpeg_decompress_struct info{};
    JpegErrorManager error{};
    bool created = false;

    JpegDecoder() = default;
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
    ~JpegDecoder() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

// Creates the decompressor over data, silences its messages, limits its working memory
// besides the output picture and reads the header; false on a fatal library error.
bool jpegBegin(JpegDecoder& decoder, const unsigned char* data, unsigned long size,
               long workMemory);
// jpegBegin over the whole of data, which must not be empty, and the header's picture size
// within the limits (refused before the library allocates anything for it).
bool jpegOpen(JpegDecoder& decoder, ByteSpan data, long workMemory);

// jpeg_start_decompress with the scan limits of JpegCodec.h. A file of one scan starts as usual. A
// file of several scans starts in buffered-image mode: its scans are read until the end of the file
// or a limit, and the output then shows what was read up to there, exactly as a plain decode
// of the scans read would. False on a fatal library error. A decode started so ends with
// jpegEnd.
bool jpegStartLimited(JpegDecoder& decoder, JpegScans& scans);
// Ends a decode whose rows were all read: jpeg_finish_decompress for a file of one scan
// (so damage after the picture is noticed, as always), jpeg_abort_decompress after reading
// scans in buffered-image mode (the scans beyond a limit are never read). False on a fatal
// library error.
bool jpegEnd(JpegDecoder& decoder);

// Turns pixels that hold the stored C, M, Y, K bytes (as the library writes JCS_CMYK, in memory
// order) into 32-bit colours in place: each channel is round(channel * K / 255), alpha 255.
void cmykToColours(TColor32* pixels, std::size_t count);

} // namespace schauplatz
