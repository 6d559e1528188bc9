// Writing the pictures: a palette PNG through libpng, an animated GIF
// through giflib. Both carry the film's exact colours, so nothing is
// dithered or blended.
#include <csetjmp>

#include <gif_lib.h>
#include <png.h>

#include "capture.h"
#include "pngtext.h"

// One row of the frame, every pixel repeated `scale` times.
static void scaled_row(const capture_frame& frame, int y, int scale, std::vector<uint8_t>& row)
{
    row.resize((size_t)CAPTURE_WIDTH * scale);
    const uint8_t* from = frame.pixels.data() + (size_t)y * CAPTURE_WIDTH;
    for (int x = 0; x < CAPTURE_WIDTH; x++)
        for (int k = 0; k < scale; k++)
            row[(size_t)x * scale + k] = from[x];
}

bool capture_write_png(FILE* out, const capture_film& film, const capture_frame& frame, int scale,
                       const std::vector<pngtext_item>& texts)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<uint8_t> row;
    // libpng reports a failure by jumping back here.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, CAPTURE_WIDTH * scale, CAPTURE_HEIGHT * scale, 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    for (size_t i = 0; i < film.colors.size(); i++)
        palette[i] = {(png_byte)(film.colors[i] >> 16), (png_byte)(film.colors[i] >> 8), (png_byte)film.colors[i]};
    png_set_PLTE(png, info, palette, (int)film.colors.size());
    png_write_info(png, info);
    for (int y = 0; y < CAPTURE_HEIGHT; y++) {
        scaled_row(frame, y, scale, row);
        for (int k = 0; k < scale; k++)
            png_write_row(png, row.data());
    }
    // The texts go after the image data, compressed: set only now, they
    // are written by png_write_end.
    std::vector<png_text> chunks(texts.size());
    for (size_t i = 0; i < texts.size(); i++) {
        chunks[i].compression = PNG_TEXT_COMPRESSION_zTXt;
        chunks[i].key = const_cast<char*>(texts[i].keyword.c_str());
        chunks[i].text = const_cast<char*>(texts[i].text.c_str());
        chunks[i].text_length = texts[i].text.size();
    }
    if (!chunks.empty())
        png_set_text(png, info, chunks.data(), (int)chunks.size());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return fflush(out) == 0 && !ferror(out);
}

static int gif_write_bytes(GifFileType* gif, const GifByteType* bytes, int n)
{
    return (int)fwrite(bytes, 1, (size_t)n, (FILE*)gif->UserData);
}

// The Netscape block that makes a GIF loop for ever.
static bool gif_loop_forever(GifFileType* gif)
{
    static const GifByteType app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType loop[] = {1, 0, 0};
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof app, app) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
}

// The rectangle in which a frame differs from the one before it; the whole
// frame for the first. A frame that equals the one before (which a film
// never holds twice in a row) gets a single pixel.
struct gif_box {
    int x, y, w, h;
};

static gif_box gif_changed(const capture_frame* before, const capture_frame& frame)
{
    if (!before)
        return {0, 0, CAPTURE_WIDTH, CAPTURE_HEIGHT};
    int x0 = CAPTURE_WIDTH, y0 = CAPTURE_HEIGHT, x1 = -1, y1 = -1;
    for (int y = 0; y < CAPTURE_HEIGHT; y++) {
        const uint8_t* a = before->pixels.data() + (size_t)y * CAPTURE_WIDTH;
        const uint8_t* b = frame.pixels.data() + (size_t)y * CAPTURE_WIDTH;
        for (int x = 0; x < CAPTURE_WIDTH; x++) {
            if (a[x] != b[x]) {
                x0 = x < x0 ? x : x0;
                x1 = x > x1 ? x : x1;
                y0 = y < y0 ? y : y0;
                y1 = y;
            }
        }
    }
    if (x1 < 0)
        return {0, 0, 1, 1};
    return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

// One frame: only what changed is stored, over the frame before, which
// stays in place.
static bool gif_frame(GifFileType* gif, const capture_frame* before, const capture_frame& frame, int delay,
                      int scale)
{
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.DelayTime = delay;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType ext[4];
    EGifGCBToExtension(&gcb, ext);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof ext, ext) != GIF_OK)
        return false;
    gif_box box = gif_changed(before, frame);
    if (EGifPutImageDesc(gif, box.x * scale, box.y * scale, box.w * scale, box.h * scale, false, nullptr) !=
        GIF_OK)
        return false;
    std::vector<uint8_t> row;
    for (int y = box.y; y < box.y + box.h; y++) {
        scaled_row(frame, y, scale, row);
        for (int k = 0; k < scale; k++)
            if (EGifPutLine(gif, row.data() + (size_t)box.x * scale, box.w * scale) != GIF_OK)
                return false;
    }
    return true;
}

bool capture_write_gif(FILE* out, const capture_film& film, int fps, int scale)
{
    int error = 0;
    GifFileType* gif = EGifOpen(out, gif_write_bytes, &error);
    if (!gif)
        return false;
    int size = 2;
    while (size < (int)film.colors.size())
        size *= 2;
    ColorMapObject* map = GifMakeMapObject(size, nullptr);
    bool ok = map != nullptr;
    for (size_t i = 0; ok && i < film.colors.size(); i++)
        map->Colors[i] = {(GifByteType)(film.colors[i] >> 16), (GifByteType)(film.colors[i] >> 8),
                          (GifByteType)film.colors[i]};
    EGifSetGifVersion(gif, true);
    ok = ok && EGifPutScreenDesc(gif, CAPTURE_WIDTH * scale, CAPTURE_HEIGHT * scale, 8, 0, map) == GIF_OK;
    ok = ok && gif_loop_forever(gif);
    // Delays are whole hundredths of a second: each frame ends at the time
    // its last shown frame ends, rounded, so no error builds up.
    long long shown = 0, time = 0;
    const capture_frame* before = nullptr;
    for (const capture_frame& f : film.frames) {
        if (!ok)
            break;
        shown += f.shown;
        long long end = (shown * 100 + fps / 2) / fps;
        ok = gif_frame(gif, before, f, (int)(end - time), scale);
        time = end;
        before = &f;
    }
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK)
        ok = false;
    return ok && fflush(out) == 0 && !ferror(out);
}
