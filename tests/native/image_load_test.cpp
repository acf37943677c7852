// Pictures through the real loader and through sprite draws: files refused before decoding
// (larger than a texture, shorter than what they declare, headers the decoder mishandles),
// valid files of every PNG colour type and depth and of the other formats loaded exactly as
// the decoder reads them, and a file that failed read again only once it has changed.
#include "support/render_fixture.h"

#include <lodepng.h>
#include <map>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

// The decoder itself, from memory, and its sibling writer: the reference, and the maker of
// BMP, TGA and Radiance files.
#include "render/stb_image_copy.h"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image_write.h>
#pragma GCC diagnostic pop


static std::string be32(uint32_t v) { return {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v}; }

static std::string png_chunk(const char *type, const std::string &data)
{
    std::string body = std::string(type, 4) + data;
    return be32((uint32_t)data.size()) + body + be32(lodepng_crc32((const unsigned char *)body.data(), body.size()));
}

static std::string zlib(const std::string &raw)
{
    unsigned char *out = nullptr;
    size_t size = 0;
    lodepng_zlib_compress(&out, &size, (const unsigned char *)raw.data(), raw.size(), &lodepng_default_compress_settings);
    std::string bytes((const char *)out, size);
    free(out);
    return bytes;
}

// A PNG written chunk by chunk: the header, the given data chunks, the end.
static std::string png_file(uint32_t w, uint32_t h, int depth, int colour, const std::vector<std::string> &data)
{
    std::string file = "\x89PNG\r\n\x1a\n" + png_chunk("IHDR", be32(w) + be32(h) + (char)depth + (char)colour + std::string(3, '\0'));
    for (const std::string &d : data) file += png_chunk("IDAT", d);
    return file + png_chunk("IEND", "");
}

static std::string written(const std::function<int(stbi_write_func *, void *)> &write)
{
    std::string out;
    write([](void *to, void *data, int size) { ((std::string *)to)->append((const char *)data, (size_t)size); }, &out);
    return out;
}

// w x h pixels of comp channels, every value different enough to show a misplaced byte.
static std::vector<uint8_t> samples(int w, int h, int comp)
{
    std::vector<uint8_t> v((size_t)w * h * comp);
    for (size_t i = 0; i < v.size(); i++) v[i] = (uint8_t)(i * 37 + 11);
    return v;
}

static std::string bmp(int w, int h, int comp)
{
    std::vector<uint8_t> px = samples(w, h, comp);
    return written([&](stbi_write_func *f, void *to) { return stbi_write_bmp_to_func(f, to, w, h, comp, px.data()); });
}

static std::string tga(int w, int h, int comp, bool rle)
{
    std::vector<uint8_t> px = samples(w, h, comp);
    stbi_write_tga_with_rle = rle;
    return written([&](stbi_write_func *f, void *to) { return stbi_write_tga_to_func(f, to, w, h, comp, px.data()); });
}

// JPEGs made by another encoder (the writer's own has undefined shifts): baseline colour with
// subsampled chroma, grey, progressive with a table before each scan, both with restart
// markers; and one broken.
static std::string jpeg(const char *name) { return read_file(std::string(ZINTAREL_TEST_DATA "/") + name); }

static std::string hdr(int w, int h)
{
    std::vector<float> px((size_t)w * h * 3);
    for (size_t i = 0; i < px.size(); i++) px[i] = (float)(i % 7) / 3.0f;
    return written([&](stbi_write_func *f, void *to) { return stbi_write_hdr_to_func(f, to, w, h, 3, px.data()); });
}

static size_t hdr_data_at(const std::string &file) { return file.find('\n', file.find("-Y ")) + 1; }

static std::string psd(uint32_t w, uint32_t h, const std::string &data)
{
    return std::string("8BPS\0\1", 6) + std::string(6, '\0') + std::string("\0\4", 2) + be32(h) + be32(w) +
           std::string("\0\x08\0\3", 4) + std::string(12, '\0') + std::string(2, '\0') + data;
}

static std::string patched(std::string file, size_t at, const std::string &bytes) { return file.replace(at, bytes.size(), bytes); }

static std::string le32(uint32_t v) { return {(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)}; }

// A 24-bit run-length TGA of w x h pixels, its data the given (count, colour) runs, each
// packet at most 128 pixels.
static std::string tga_runs(int w, int h, const std::vector<std::pair<int, uint32_t>> &runs)
{
    std::string file = std::string("\0\0\x0a", 3) + std::string(9, '\0') + (char)w + (char)(w >> 8) + (char)h + (char)(h >> 8) +
                       "\x18" + std::string(1, '\0');
    for (const auto &run : runs) file += (char)(0x80 | (run.first - 1)) + le32(run.second).substr(0, 3);
    return file;
}

// The pixels the decoder itself reads from the bytes (as 0xAABBGGRR).
static std::vector<uint32_t> decoded(const std::string &bytes)
{
    int w = 0, h = 0, n = 0;
    stbi_uc *px = stbi_load_from_memory((const stbi_uc *)bytes.data(), (int)bytes.size(), &w, &h, &n, 4);
    std::vector<uint32_t> out;
    if (px) out.assign((const uint32_t *)px, (const uint32_t *)px + (size_t)w * h);
    stbi_image_free(px);
    return out;
}

// The times files of a folder are opened, by name, as the kernel reports them. Read after
// every frame: the kernel merges an event into the one before it while that is unread.
struct open_counter {
    int fd = inotify_init1(IN_NONBLOCK);
    std::map<std::string, int> opens;
    ~open_counter() { close(fd); }
    void watch(const std::string &dir) { inotify_add_watch(fd, dir.c_str(), IN_OPEN); }
    void poll()
    {
        alignas(inotify_event) char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0)
            for (char *at = buf; at < buf + n; at += sizeof(inotify_event) + ((inotify_event *)at)->len)
                if (((inotify_event *)at)->len) opens[((inotify_event *)at)->name]++;
    }
};

class ImageLoad : public RenderFixture {
  protected:
    static const int W = 512, H = 512;

    void SetUp() override
    {
        RenderFixture::SetUp();
        ASSERT_TRUE(open(0, W, H)) << SDL_GetError();
    }

    open_counter opened;

    // Written aside and moved in: the file is never seen opened by its writer.
    void put(const std::string &name, const std::string &bytes)
    {
        ASSERT_TRUE(write_file(fx.game_dir + "/.next", bytes));
        ASSERT_EQ(0, rename((fx.game_dir + "/.next").c_str(), (fx.game_dir + "/" + name).c_str()));
    }

    // One frame: the window cleared black, the picture drawn 256 x 256 at its top-left corner.
    void draw(const char *path, bool unload_first = false)
    {
        threadstream *s = threadstream_allocate();
        if (unload_first) frame_write_string_record(s, DRAW_UNLOAD_SPRITE, frame_cstring(path));
        frame_write_grid(s, frame_grid{0, (float)H, -1});
        frame_write_passes(s, 1, 0);
        frame_write_pass_header(s, frame_pass_header{0, 0, 0, 255, {nullptr, 0}, 0, 0, 0});
        frame_sprite p = {};
        p.path = frame_cstring(path);
        p.y = H - 256, p.w = p.h = 256;
        p.r = p.g = p.b = p.a = 255;
        p.tile_w = p.tile_h = p.source_w = p.source_h = -1;
        p.angle_anchor_x = p.angle_anchor_y = 0.5f;
        frame_write_sprite(s, p);
        frame_write_u32(s, DRAW_END_PASS);
        draw_process_frame(ctx, s, 0, 0);
        threadstream_free(s);
        opened.poll();
    }

    bool has_texture(const char *path) { return texture_cache_lookup(ctx, path)->texture != nullptr; }
};

TEST_F(ImageLoad, HostileFilesAreRefusedOrReadSafely)
{
    std::string rgb_rows = std::string("\0\x0a\x14\x1e\x28\x32\x3c", 7); // one filtered row of two pixels
    std::string jpg = jpeg("colour.jpg");
    std::string hdr16 = hdr(16, 2);
    std::string bmp24 = bmp(2, 2, 3), tga24 = tga(2, 2, 3, false);
    // 3 x 3 at 24 bits: rows of 9 bytes padded to 12; the last row's padding may be missing.
    std::string bmp3 = bmp(3, 3, 3), bmp3_exact = bmp3.substr(0, bmp3.size() - 3);
    std::string tga3 = tga(3, 3, 3, false);
    // 200 pixels take two run-length packets at least.
    std::string tga_two_runs = tga_runs(20, 10, {{128, 0xFF0000u}, {72, 0x0000FFu}});
    size_t scan = jpg.find("\xff\xda"), frame = jpg.find("\xff\xc0");
    struct {
        const char *name;
        std::string bytes;
        std::vector<uint32_t> pixels; // empty: refused
    } cases[] = {
        // 16-bit samples take their high byte.
        {"a.png", "P5\n2 2\n65535\n" + std::string("\x12\x34\xab\xcd\x00\xff\xff\x00", 8),
         {0xFF121212u, 0xFFABABABu, 0xFF000000u, 0xFFFFFFFFu}},
        {"deep.ppm", "P6\n1 1\n65535\n\x12\x34\x56\x78\x9a\xbc", {0xFF9A5612u}},
        {"short.pgm", "P5\n16000 16000\n65535\n", {}},
        {"digits.pgm", "P5\n99999999999 1\n255\n" + std::string(64, 'x'), {}},
        {"zero.pgm", "P5\n0 0\n255\n\x01", {}},
        // An empty first data chunk is legal: the picture is that of the data after it.
        {"empty_idat.png", png_file(2, 1, 8, 2, {"", zlib(rgb_rows)}), {0xFF1E140Au, 0xFF3C3228u}},
        {"empty_idats.png", png_file(2, 1, 8, 2, {"", "", zlib(rgb_rows)}), {0xFF1E140Au, 0xFF3C3228u}},
        {"tall16.png", png_file(16384, 65536, 16, 0, {zlib(std::string(1, '\0'))}), {}},
        {"huge.png", png_file(30000, 30000, 1, 0, {zlib(std::string(1, '\0'))}), {}},
        {"deep_rgba16.png", png_file(16384, 16384, 16, 6, {zlib(std::string(1, '\0'))}), {}},
        {"inflates.png", png_file(1, 1, 8, 6, {zlib(std::string(8 << 20, '\0'))}), {}},
        {"bmp_int_min.bmp", patched(bmp24, 22, le32(0x80000000u)), {}},
        {"bmp_short.bmp", patched(bmp24, 18, le32(8000) + le32(8000)), {}},
        {"tga_short.tga", patched(tga24, 12, std::string("\0\x10\0\x10", 4)), {}},
        // Files exactly as long as their header asks, and a byte, a row or a packet short.
        {"bmp_whole.bmp", bmp3, decoded(bmp3)},
        {"bmp_exact.bmp", bmp3_exact, decoded(bmp3)},
        {"bmp_byte_short.bmp", bmp3_exact.substr(0, bmp3_exact.size() - 1), {}},
        {"bmp_row_short.bmp", bmp3.substr(0, bmp3.size() - 12), {}},
        {"tga_whole.tga", tga3, decoded(tga3)},
        {"tga_byte_short.tga", tga3.substr(0, tga3.size() - 1), {}},
        {"tga_row_short.tga", tga3.substr(0, tga3.size() - 9), {}},
        {"tga_runs_whole.tga", tga_two_runs, decoded(tga_two_runs)},
        {"tga_run_short.tga", tga_two_runs.substr(0, tga_two_runs.size() - 4), {}},
        {"tga_runs_none.tga", tga_runs(2, 2, {}), {}},
        {"psd_short.psd", psd(8000, 8000, ""), {}},
        {"jpeg_codes.jpg", patched(jpg, jpg.find("\xff\xc4") + 5, "\xff\xff"), {}},
        {"jpeg_no_table.jpg", patched(jpg, scan + 6, "\x33"), {}},        // a scan decoded with tables never defined
        {"jpeg_no_quant.jpg", patched(jpg, frame + 12, "\x03"), {}},      // nor its quantizer
        // Found by fuzzing: coded data ending at a marker in the middle of a coefficient.
        {"jpeg_short_scan.jpg", jpeg("short_scan.jpg"), {}},
        {"hdr_zero_run.hdr", patched(hdr16, hdr_data_at(hdr16) + 4, std::string(1, '\0')), {}},
        {"hdr_cut.hdr", hdr16.substr(0, hdr_data_at(hdr16) + 6), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        put(c.name, c.bytes);
        int32_t w = -1, h = -1;
        uint32_t *px = load_image(c.name, &w, &h);
        EXPECT_EQ(!c.pixels.empty(), px != nullptr);
        if (px && !c.pixels.empty()) {
            EXPECT_EQ(c.pixels.size(), (size_t)w * h);
            EXPECT_EQ(c.pixels, std::vector<uint32_t>(px, px + (size_t)w * h));
        }
        free_image(px);
        draw(c.name);
        EXPECT_EQ(!c.pixels.empty(), has_texture(c.name));
        EXPECT_EQ(c.pixels.empty() ? RED : c.pixels[0], pixel(0, 0)); // the missing texture's border is red
    }
}

TEST_F(ImageLoad, ValidFilesLoadAsTheDecoderReadsThem)
{
    struct shape {
        LodePNGColorType type;
        unsigned depth;
        int key; // 0 none; 1 a transparent colour (tRNS)
    };
    std::vector<shape> pngs;
    for (unsigned d : {1u, 2u, 4u, 8u, 16u}) pngs.push_back({LCT_GREY, d, 0});
    for (unsigned d : {8u, 16u}) pngs.insert(pngs.end(), {{LCT_GREY_ALPHA, d, 0}, {LCT_RGB, d, 0}, {LCT_RGBA, d, 0}, {LCT_RGB, d, 1}});
    for (unsigned d : {1u, 2u, 4u, 8u}) pngs.insert(pngs.end(), {{LCT_PALETTE, d, 0}, {LCT_PALETTE, d, 1}, {LCT_GREY, d, 1}});
    std::vector<std::pair<std::string, std::string>> files;
    for (const shape &s : pngs)
        for (unsigned interlace : {0u, 1u}) {
            LodePNGState state;
            lodepng_state_init(&state);
            state.encoder.auto_convert = 0;
            state.info_png.interlace_method = interlace;
            for (LodePNGColorMode *mode : {&state.info_raw, &state.info_png.color}) {
                mode->colortype = s.type, mode->bitdepth = s.depth;
                for (unsigned i = 0; s.type == LCT_PALETTE && i < (1u << s.depth); i++)
                    lodepng_palette_add(mode, (unsigned char)(i * 50), (unsigned char)(255 - i * 9), (unsigned char)(i * 3),
                                        s.key && i % 3 == 0 ? (unsigned char)(i * 7) : 255);
                mode->key_defined = s.key && s.type != LCT_PALETTE;
                mode->key_r = mode->key_g = mode->key_b = 1;
            }
            size_t raw_size = lodepng_get_raw_size(7, 5, &state.info_raw);
            std::vector<uint8_t> raw(raw_size);
            for (size_t i = 0; i < raw_size; i++) raw[i] = (uint8_t)(i * 37 + 11 + (i % 9 == 0 ? 0 : 1));
            if (s.key) raw[0] = 0, raw[1] = s.depth == 16 ? 1 : raw[1]; // one pixel takes the key (grey 1)
            unsigned char *out = nullptr;
            size_t size = 0;
            ASSERT_EQ(0u, lodepng_encode(&out, &size, raw.data(), 7, 5, &state)) << s.type << " " << s.depth;
            files.push_back({"png_" + std::to_string(s.type) + "_" + std::to_string(s.depth) + "_" + std::to_string(s.key) + "_" +
                                 std::to_string(interlace) + ".png",
                             std::string((const char *)out, size)});
            free(out);
            lodepng_state_cleanup(&state);
        }
    for (int comp : {3, 4}) files.push_back({"bmp" + std::to_string(comp) + ".bmp", bmp(5, 3, comp)});
    // Rows stored top-down (a negative height) read the same.
    std::string bottom_up = bmp(5, 3, 3), top_down = patched(bottom_up, 22, le32((uint32_t)-3));
    for (int row = 0; row < 3; row++) top_down.replace(54 + row * 16, 16, bottom_up, 54 + (2 - row) * 16, 16);
    files.push_back({"bmp_top_down.bmp", top_down});
    for (int comp = 1; comp <= 4; comp++)
        for (bool rle : {false, true}) files.push_back({"tga" + std::to_string(comp) + (rle ? "rle" : "") + ".tga", tga(9, 4, comp, rle)});
    for (const char *name : {"colour.jpg", "grey.jpg", "progressive.jpg", "restarts.jpg", "progressive_restarts.jpg"})
        files.push_back({name, jpeg(name)});
    files.push_back({"flat.hdr", hdr(5, 3)});
    files.push_back({"rle.hdr", hdr(40, 3)});
    files.push_back({"grey.pgm", "P5\n# comment\n3 1\n255\n\x01\x80\xff"});
    files.push_back({"colour.ppm", std::string("P6 1 1 255 \x01\x02\x03", 14)});
    files.push_back({"raw.psd", psd(2, 1, std::string("\x01\x02\x03\x04\x05\x06\xff\xff", 8))});
    // A GIF of two pixels: a colour table of red and blue, LZW codes clear, 0, 1, end.
    files.push_back({"two.gif", std::string("GIF89a\x02\0\x01\0\x80\0\0\xff\0\0\0\0\xff,\0\0\0\0\x02\0\x01\0\0\x02\x02\x44\x0a\0;", 35)});
    for (const auto &f : files) {
        SCOPED_TRACE(f.first);
        put(f.first, f.second);
        int rw = 0, rh = 0, n = 0;
        stbi_uc *reference = stbi_load_from_memory((const stbi_uc *)f.second.data(), (int)f.second.size(), &rw, &rh, &n, 4);
        ASSERT_TRUE(reference);
        int32_t w = 0, h = 0;
        uint32_t *px = load_image(f.first.c_str(), &w, &h);
        ASSERT_TRUE(px);
        EXPECT_EQ(rw, w);
        EXPECT_EQ(rh, h);
        EXPECT_EQ(0, memcmp(reference, px, (size_t)w * h * 4));
        free_image(px);
        stbi_image_free(reference);
    }
}

TEST_F(ImageLoad, AFailedFileIsReadAgainOnlyOnceItChanges)
{
    opened.watch(fx.game_dir);
    std::string good = png_file(1, 1, 8, 2, {zlib(std::string("\0\x10\x20\x30", 4))});
    put("bad.png", "not a picture at all");
    for (int frame = 0; frame < 5; frame++) draw("bad.png");
    EXPECT_EQ(1, opened.opens["bad.png"]);
    EXPECT_FALSE(has_texture("bad.png"));
    put("bad.png", good); // another size: picked up at the next draw
    draw("bad.png");
    EXPECT_EQ(2, opened.opens["bad.png"]);
    EXPECT_EQ(0xFF302010u, pixel(0, 0));

    // A missing file is looked for without opening anything until it appears.
    for (int frame = 0; frame < 3; frame++) draw("later.png");
    EXPECT_EQ(RED, pixel(0, 0));
    put("later.png", good);
    draw("later.png");
    EXPECT_EQ(0xFF302010u, pixel(0, 0));
    EXPECT_EQ(1, opened.opens["later.png"]);

    // Unloading a sprite reads its file again at the next draw, even unchanged.
    put("broken.png", good.substr(0, 40));
    draw("broken.png");
    draw("broken.png");
    draw("broken.png", true);
    EXPECT_EQ(2, opened.opens["broken.png"]);

    // Too large for any texture: refused from its header, said once by name.
    sdl_log_capture log;
    put("vast.png", png_file(30000, 30000, 1, 0, {zlib(std::string(1, '\0'))}));
    for (int frame = 0; frame < 5; frame++) draw("vast.png");
    EXPECT_EQ(1, log.count("Image \"vast.png\" is 30000 x 30000 pixels, larger than the largest texture"));
    EXPECT_EQ(1, opened.opens["vast.png"]);
}
