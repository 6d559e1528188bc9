// The last shown frame against NAME.png, pixel for pixel; a difference
// leaves the actual frame and a picture of where they differ.
#include <png.h>

#include <cstdio>
#include <filesystem>

#include "capture.h"
#include "ztest.h"

namespace fs = std::filesystem;

// Marks a differing pixel in NAME.diff.png; the others are the actual
// frame's, dimmed to a quarter.
constexpr uint32_t DIFF_MARK = 0xFF00FF;

// NAME.png as RGB, any PNG format; false when it cannot be read.
static bool read_png(const std::string& path, std::vector<uint32_t>& rgb, int& width, int& height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr))
        return false;
    width = (int)image.width;
    height = (int)image.height;
    rgb.clear();
    for (size_t i = 0; i + 2 < bytes.size(); i += 3)
        rgb.push_back((uint32_t)bytes[i] << 16 | (uint32_t)bytes[i + 1] << 8 | bytes[i + 2]);
    return true;
}

// A picture through capture's encoder: its pixels become a film's frame.
static bool write_picture(const std::string& path, const std::vector<uint32_t>& rgb)
{
    capture_film film;
    capture_frame frame{std::vector<uint8_t>(rgb.size()), 1};
    for (size_t i = 0; i < rgb.size(); i++) {
        size_t k = 0;
        while (k < film.colors.size() && film.colors[k] != rgb[i])
            k++;
        if (k == film.colors.size() && film.colors.size() < 256)
            film.colors.push_back(rgb[i]);
        frame.pixels[i] = (uint8_t)(k < film.colors.size() ? k : film.colors.size() - 1);
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool written = capture_write_png(f, film, frame, 1);
    return fclose(f) == 0 && written;
}

static void write_artifacts(const ztest_case& c, const std::vector<uint32_t>& actual,
                            const std::vector<uint32_t>& expected, const std::string& artifacts, ztest_result& r)
{
    std::error_code error;
    fs::path base_path = fs::path(artifacts) / c.label;
    fs::create_directories(base_path.parent_path(), error);
    std::string base = base_path.string();
    std::vector<uint32_t> marked(actual.size());
    for (size_t i = 0; i < actual.size(); i++)
        marked[i] = i < expected.size() && expected[i] == actual[i] ? (actual[i] >> 2) & 0x3F3F3F : DIFF_MARK;
    if (write_picture(base + ".actual.png", actual) && write_picture(base + ".diff.png", marked))
        r.details += "the actual frame is " + base + ".actual.png, the differences in " + base + ".diff.png\n";
    else
        r.details += "cannot write the frame's pictures into " + artifacts + "\n";
}

bool ztest_compare_frame(const ztest_case& c, const std::vector<uint32_t>& rgb, const std::string& artifacts,
                         ztest_result& r)
{
    std::vector<uint32_t> expected;
    int width = 0, height = 0;
    std::string path = c.name + ".png";
    std::string why;
    if (!read_png(path, expected, width, height)) {
        why = path + " cannot be read as a PNG";
    } else if (width != CAPTURE_WIDTH || height != CAPTURE_HEIGHT) {
        why = path + " is " + std::to_string(width) + "x" + std::to_string(height) + ", the screen " +
              std::to_string(CAPTURE_WIDTH) + "x" + std::to_string(CAPTURE_HEIGHT);
    } else {
        size_t differ = 0, first = 0;
        for (size_t i = 0; i < rgb.size(); i++)
            if (rgb[i] != expected[i] && differ++ == 0)
                first = i;
        if (differ == 0)
            return true;
        char text[160];
        snprintf(text, sizeof text, "the frame differs from %s in %zu pixel%s, the first at x %zu, y %zu", path.c_str(),
                 differ, differ == 1 ? "" : "s", first % CAPTURE_WIDTH, first / CAPTURE_WIDTH);
        why = text;
        snprintf(text, sizeof text, "pixel (%zu, %zu): expected #%06X, actual #%06X\n", first % CAPTURE_WIDTH,
                 first / CAPTURE_WIDTH, expected[first], rgb[first]);
        r.details += text;
    }
    if (!r.summary.empty())
        r.summary += "; ";
    r.summary += why;
    if (!artifacts.empty())
        write_artifacts(c, rgb, expected, artifacts, r);
    return false;
}
