#include "images/AtomicFile.h"
#include "images/Encoders.h"
#include "images/ExifSegment.h"

#include <cstdio>   // jpeglib.h needs FILE
#include <jpeglib.h>

#include <csetjmp>
#include <memory>
#include <vector>

namespace vistrel {

namespace {

constexpr int kJpegQuality = 100;
constexpr std::uint8_t kUnitsDotsPerInch = 1;
constexpr std::int32_t kBandRows = 16;                 // two rows of 8 x 8 blocks
constexpr std::size_t kOutputBufferBytes = 256 * 1024;
constexpr std::size_t kMarkerHeaderBytes = 4;          // FF En and the 16-bit length

// libjpeg reports errors by calling error_exit, which must not return: it jumps back into
// EncodeJpeg. Only plain data lives in the frames it jumps over.
struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Encoded bytes go to the file a buffer at a time; a failed write ends the encoding.
struct Destination
{
    jpeg_destination_mgr base;
    FileSink* sink;
    JOCTET* buffer;
    bool writeFailed;
};

void InitDestination(j_compress_ptr info)
{
    auto* d = reinterpret_cast<Destination*>(info->dest);
    d->base.next_output_byte = d->buffer;
    d->base.free_in_buffer = kOutputBufferBytes;
}

void Flush(j_compress_ptr info, std::size_t count)
{
    auto* d = reinterpret_cast<Destination*>(info->dest);
    if (!d->sink->Write(d->buffer, count)) {
        d->writeFailed = true;
        info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
    }
}

boolean EmptyOutputBuffer(j_compress_ptr info)
{
    Flush(info, kOutputBufferBytes);
    InitDestination(info);
    return TRUE;
}

void TermDestination(j_compress_ptr info)
{
    Flush(info, kOutputBufferBytes - info->dest->free_in_buffer);
}

// The libjpeg state of one encoding, released whichever way it ends.
struct Compressor
{
    jpeg_compress_struct info{};
    ErrorManager error{};
    Destination destination{};
    ~Compressor() { jpeg_destroy_compress(&info); }
};

// What TurboJPEG sets for quality 100 at 4:4:4, so the file holds the same coefficients.
void SetParameters(jpeg_compress_struct& info, const RowSource& picture, std::int32_t dotsPerInch)
{
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.in_color_space = JCS_EXT_BGRX;
    info.input_components = 4;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kJpegQuality, TRUE);
    info.dct_method = JDCT_ISLOW;
    jpeg_set_colorspace(&info, JCS_YCbCr);
    // Full-resolution chroma: an archival scan keeps its colour detail.
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    if (dotsPerInch > 0 && dotsPerInch <= 0xFFFF) {
        info.density_unit = kUnitsDotsPerInch;
        info.X_density = static_cast<UINT16>(dotsPerInch);
        info.Y_density = static_cast<UINT16>(dotsPerInch);
    }
}

} // namespace

HRESULT EncodeJpeg(const RowSource& picture, const SaveMetadata& metadata, FileSink& out, Reason* reason)
{
    const std::vector<std::uint8_t> exif = ExifSegment(metadata.captureTime, metadata.dotsPerInch);
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(picture.width) * 4;
    std::vector<std::uint8_t> band(static_cast<std::size_t>(stride) * kBandRows);
    std::vector<JSAMPROW> rows(kBandRows);
    for (std::int32_t r = 0; r < kBandRows; ++r) {
        rows[static_cast<std::size_t>(r)] = band.data() + r * stride;
    }
    std::vector<JOCTET> buffer(kOutputBufferBytes);

    Compressor c;
    c.info.err = jpeg_std_error(&c.error.base);
    c.error.base.error_exit = JumpOnError;
    c.destination = {{}, &out, buffer.data(), false};
    c.destination.base.init_destination = InitDestination;
    c.destination.base.empty_output_buffer = EmptyOutputBuffer;
    c.destination.base.term_destination = TermDestination;
    if (setjmp(c.error.jump)) {
        if (c.destination.writeFailed) {
            *reason = Reason(ReasonCode::WriteFailed, {}, out.Error());
        } else {
            char message[JMSG_LENGTH_MAX] = {};
            c.error.base.format_message(reinterpret_cast<j_common_ptr>(&c.info), message);
            *reason = Reason(ReasonCode::EncodeFailed).WithDetail(std::string("JPEG: ") + message);
        }
        return E_FAIL;
    }
    jpeg_create_compress(&c.info);
    c.info.dest = &c.destination.base;
    SetParameters(c.info, picture, metadata.dotsPerInch);
    jpeg_start_compress(&c.info, TRUE);   // writes SOI and JFIF APP0; JFIF readers expect it first, Exif follows
    if (exif.size() > kMarkerHeaderBytes) {
        jpeg_write_marker(&c.info, JPEG_APP0 + 1, exif.data() + kMarkerHeaderBytes,
                          static_cast<unsigned int>(exif.size() - kMarkerHeaderBytes));
    }
    for (std::int32_t y = 0; y < picture.height; y += kBandRows) {
        const std::int32_t count = std::min(kBandRows, picture.height - y);
        picture.fill(y, count, band.data(), stride);
        jpeg_write_scanlines(&c.info, rows.data(), static_cast<JDIMENSION>(count));
    }
    jpeg_finish_compress(&c.info);
    return S_OK;
}

} // namespace vistrel
