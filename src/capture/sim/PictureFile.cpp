#include "capture/sim/PictureFile.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace vistrel::sim {
namespace {

void SetError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

std::optional<RgbImage> DecodeJpeg(const std::vector<std::uint8_t>& bytes, std::string* error)
{
    std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
    if (!handle)
        return std::nullopt;
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), &width, &height,
                            &subsampling, &colourspace) != 0) {
        SetError(error, tjGetErrorStr2(handle.get()));
        return std::nullopt;
    }
    // A file of tables only (SOI, EOI) reads as a header of size 0.
    if (width <= 0 || height <= 0) {
        SetError(error, "no picture in the JPEG file");
        return std::nullopt;
    }
    if (std::int64_t(width) * height > kMaxPicturePixels) {
        SetError(error, "picture too large");
        return std::nullopt;
    }
    RgbImage image(width, height);
    if (tjDecompress2(handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), image.pixels.data(),
                      width, 0, height, TJPF_RGB, 0) != 0) {
        SetError(error, tjGetErrorStr2(handle.get()));
        return std::nullopt;
    }
    return image;
}

// Binary PPM (P6) with a maximum value of 255.
std::optional<RgbImage> DecodePpm(const std::vector<std::uint8_t>& bytes, std::string* error)
{
    std::size_t pos = 2;
    auto number = [&]() -> std::int64_t {
        while (pos < bytes.size()) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n')
                    ++pos;
            } else if (std::isspace(bytes[pos])) {
                ++pos;
            } else {
                break;
            }
        }
        std::int64_t value = -1;
        while (pos < bytes.size() && std::isdigit(bytes[pos]) && value < kMaxPicturePixels)
            value = (value < 0 ? 0 : value * 10) + (bytes[pos++] - '0');
        return value;
    };
    const auto width = number(), height = number(), maxValue = number();
    if (width <= 0 || height <= 0 || maxValue != 255 || width * height > kMaxPicturePixels) {
        SetError(error, "unsupported PPM header");
        return std::nullopt;
    }
    ++pos; // the single whitespace after the header
    const auto size = std::size_t(width * height * 3);
    if (pos > bytes.size() || bytes.size() - pos < size) {
        SetError(error, "truncated PPM data");
        return std::nullopt;
    }
    RgbImage image {std::int32_t(width), std::int32_t(height)};
    std::copy_n(bytes.begin() + std::ptrdiff_t(pos), size, image.pixels.begin());
    return image;
}

} // namespace

bool IsPictureFileReadable(const std::string& path, std::string* error)
{
    std::error_code failure;
    if (!std::filesystem::is_regular_file(path, failure)) {
        SetError(error, "not a regular file: " + path);
        return false;
    }
    const auto size = std::filesystem::file_size(path, failure);
    if (failure || size > static_cast<std::uintmax_t>(kMaxPictureFileBytes)) {
        SetError(error, "file too large: " + path);
        return false;
    }
    return true;
}

std::optional<RgbImage> LoadPictureFile(const std::string& path, std::string* error)
{
    if (!IsPictureFileReadable(path, error))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        SetError(error, "cannot open " + path);
        return std::nullopt;
    }
    // The size looked at above, whatever the file has become since.
    std::error_code failure;
    const std::uintmax_t size = std::filesystem::file_size(path, failure);
    if (failure || size > static_cast<std::uintmax_t>(kMaxPictureFileBytes)) {
        SetError(error, "cannot read " + path);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    if (in.bad()) {
        SetError(error, "cannot read " + path);
        return std::nullopt;
    }
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8)
        return DecodeJpeg(bytes, error);
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '6')
        return DecodePpm(bytes, error);
    SetError(error, "not a JPEG or binary PPM file: " + path);
    return std::nullopt;
}

RgbImage ResampleToCover(const RgbImage& source, std::int32_t width, std::int32_t height)
{
    RgbImage out(width, height);
    if (source.Empty() || out.Empty())
        return out;
    const double scale = std::max(double(width) / source.width, double(height) / source.height);
    const double offsetX = (source.width - width / scale) / 2.0, offsetY = (source.height - height / scale) / 2.0;
    // Column positions and weights are the same for every row.
    struct Tap {
        std::int32_t x0, x1;
        float weight;
    };
    std::vector<Tap> columns(static_cast<std::size_t>(width));
    for (std::int32_t x = 0; x < width; ++x) {
        const double sx = std::clamp(offsetX + (x + 0.5) / scale - 0.5, 0.0, double(source.width - 1));
        const auto x0 = std::int32_t(sx);
        columns[std::size_t(x)] = {3 * x0, 3 * std::min(x0 + 1, source.width - 1), float(sx - x0)};
    }
    for (std::int32_t y = 0; y < height; ++y) {
        const double sy = std::clamp(offsetY + (y + 0.5) / scale - 0.5, 0.0, double(source.height - 1));
        const auto y0 = std::int32_t(sy);
        const std::uint8_t* top = source.Row(y0);
        const std::uint8_t* bottom = source.Row(std::min(y0 + 1, source.height - 1));
        const float fy = float(sy - y0);
        auto* row = out.Row(y);
        for (std::int32_t x = 0; x < width; ++x) {
            const Tap& t = columns[std::size_t(x)];
            for (int c = 0; c < 3; ++c) {
                const float upper = top[t.x0 + c] + (top[t.x1 + c] - top[t.x0 + c]) * t.weight;
                const float lower = bottom[t.x0 + c] + (bottom[t.x1 + c] - bottom[t.x0 + c]) * t.weight;
                row[3 * x + c] = std::uint8_t(upper + (lower - upper) * fy + 0.5f);
            }
        }
    }
    return out;
}

} // namespace vistrel::sim
