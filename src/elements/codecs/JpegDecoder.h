#pragma once

// The libjpeg decompressor shared by picture reading and thumbnails.
//
// libjpeg reports fatal errors through a callback that must not return; we leave it with
// longjmp. To keep that well-defined in C++, each function that calls setjmp holds no object
// with a destructor, and no C++ code with such objects runs between setjmp and a library call
// that may jump: the library state lives in this plain struct, owned one frame further out.

#include <csetjmp>
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

} // namespace schauplatz
