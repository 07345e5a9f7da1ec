#include "elements/codecs/JpegDecoder.h"

namespace schauplatz {
namespace {

extern "C" void jpegErrorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(manager->jump, 1);
}

extern "C" void jpegSilentMessage(j_common_ptr) {}

} // namespace

bool jpegBegin(JpegDecoder& decoder, const unsigned char* data, unsigned long size,
               long workMemory) {
    decoder.info.err = jpeg_std_error(&decoder.error.base);
    decoder.error.base.error_exit = jpegErrorExit;
    decoder.error.base.output_message = jpegSilentMessage;
    if (setjmp(decoder.error.jump)) return false;
    jpeg_create_decompress(&decoder.info);
    decoder.created = true;
    decoder.info.mem->max_memory_to_use = workMemory;
    jpeg_mem_src(&decoder.info, data, size);
    jpeg_read_header(&decoder.info, TRUE);
    return true;
}

} // namespace schauplatz
