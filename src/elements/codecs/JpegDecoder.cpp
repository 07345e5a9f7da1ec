#include "elements/codecs/JpegDecoder.h"

namespace schauplatz {
namespace {

extern "C" void jpegErrorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(manager->jump, 1);
}

extern "C" void jpegSilentMessage(j_common_ptr) {}

// round(a * b / 255) for 8-bit values; exact because a * b / 255 never ends in .5.
constexpr std::uint32_t mulDiv255(std::uint32_t a, std::uint32_t b) {
    return (a * b + 127) / 255;
}

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

bool jpegOpen(JpegDecoder& decoder, ByteSpan data, long workMemory) {
    if (data.empty()) return false;
    if (!jpegBegin(decoder, data.data(), static_cast<unsigned long>(data.size()), workMemory))
        return false;
    return pictureSizeAllowed(decoder.info.image_width, decoder.info.image_height);
}

bool jpegStartLimited(JpegDecoder& decoder, JpegScans& scans) {
    if (setjmp(decoder.error.jump)) return false;
    jpeg_decompress_struct& info = decoder.info;
    scans = JpegScans{};
    if (!jpeg_has_multiple_scans(&info)) {
        jpeg_start_decompress(&info);
        scans.read = 1;
        return true;
    }
    info.buffered_image = TRUE;
    jpeg_start_decompress(&info); // in buffered-image mode this reads no scan yet
    // Entropy decoding costs about the same for every block a scan covers.
    long long blocks = 0;
    for (int c = 0; c < info.num_components; ++c)
        blocks += static_cast<long long>(info.comp_info[c].width_in_blocks) *
                  info.comp_info[c].height_in_blocks;
    const long long budget = kJpegScanWorkFactor * blocks + kJpegScanWorkAllowance;
    long long work = 0;
    while (!jpeg_input_complete(&info)) {
        const int status = jpeg_consume_input(&info);
        if (status == JPEG_SUSPENDED || status == JPEG_REACHED_EOI) break;
        if (status != JPEG_ROW_COMPLETED && status != JPEG_SCAN_COMPLETED) continue;
        for (int c = 0; c < info.comps_in_scan; ++c)
            work += static_cast<long long>(info.cur_comp_info[c]->width_in_blocks) *
                    info.cur_comp_info[c]->v_samp_factor;
        if (status == JPEG_SCAN_COMPLETED && (++scans.read >= kMaxJpegScans || work > budget)) {
            scans.stoppedEarly = true;
            break;
        }
    }
    jpeg_start_output(&info, info.input_scan_number);
    return true;
}

bool jpegEnd(JpegDecoder& decoder) {
    if (setjmp(decoder.error.jump)) return false;
    if (decoder.info.buffered_image)
        jpeg_abort_decompress(&decoder.info);
    else
        jpeg_finish_decompress(&decoder.info);
    return true;
}

void cmykToColours(TColor32* pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto* cmyk = reinterpret_cast<const std::uint8_t*>(pixels + i);
        const std::uint32_t k = cmyk[3];
        pixels[i] = Color32(mulDiv255(cmyk[0], k), mulDiv255(cmyk[1], k), mulDiv255(cmyk[2], k));
    }
}

} // namespace schauplatz
