// FFI::Draw and the native pixel upload, called through the real interpreter: each call
// must leave exactly its record (defaults, saturation, NaN, argument errors), and nothing
// while no frame is being built.
#include "ffi/extension_api.h"
#include "render/render.h"
#include "support/host_test.h"

#include <gtest/gtest.h>
#include <string>

class DrawMethods : public HostTest {
  protected:
    void TearDown() override
    {
        threadstream_free(test_game.current_frame_stream);
        test_game.current_frame_stream = nullptr;
        HostTest::TearDown();
    }
};

static std::string str(frame_string s) { return s.text ? "'" + std::string(s.text, s.length) + "'" : "null"; }
static std::string str(const char *s) { return s; }
static std::string str(int32_t i) { return std::to_string(i); }
static std::string str(uint32_t u) { return std::to_string(u); }
static std::string str(float f)
{
    char b[32];
    snprintf(b, sizeof b, "%g", (double)f);
    return b;
}

template <typename... T> static std::string join(const T &...v)
{
    std::string out;
    ((out += (out.empty() ? "" : " ") + str(v)), ...);
    return out;
}

// Every record of the stream as text, one per line; "!" marks a stream read past its end.
static std::string records(threadstream *s)
{
    static const char *const names[] = {"nop",     "solid",  "sprite", "label",  "line",   "border", "screenshot", "grid",
                                        "passes",  "end",    "unload", "cursor", "fullscreen", "upload", "openurl"};
    std::string out;
    s->read_position = 0;
    while (!threadstream_eos(s)) {
        uint32_t code = frame_read_u32(s);
        out += code < DRAW_OPCODE_COUNT ? names[code] : "code";
        frame_rect r;
        frame_sprite p;
        frame_label l;
        frame_screenshot c;
        frame_grid g;
        frame_upload u;
        switch (code) {
        case DRAW_SOLID:
        case DRAW_BORDER:
        case DRAW_LINE:
            frame_read_rect(s, &r);
            out += " " + join(r.x, r.y, r.w, r.h, r.r, r.g, r.b, r.a);
            break;
        case DRAW_SPRITE:
            frame_read_sprite(s, &p);
            out += " " + join(p.path, p.x, p.y, p.w, p.h, "a", p.angle, p.r, p.g, p.b, p.a, "t", p.tile_x, p.tile_y,
                              p.tile_w, p.tile_h, "s", p.source_x, p.source_y, p.source_w, p.source_h, "f",
                              p.flip_horizontally, p.flip_vertically, "@", p.angle_anchor_x, p.angle_anchor_y);
            break;
        case DRAW_LABEL:
            frame_read_label(s, &l);
            out += " " + join(l.x, l.y, l.text, l.font, l.size_enum, l.alignment_enum, l.r, l.g, l.b, l.a);
            break;
        case DRAW_SCREENSHOT:
            frame_read_screenshot(s, &c);
            out += " " + join(c.path, c.x, c.y, c.w, c.h, "t", c.tolerance, c.r, c.g, c.b, c.a);
            break;
        case DRAW_SET_GRID:
            frame_read_grid(s, &g);
            out += " " + join(g.x, g.y, g.scale);
            break;
        case DRAW_UNLOAD_SPRITE:
        case DRAW_OPENURL: out += " " + str(frame_read_string(s)); break;
        case DRAW_TOGGLE_CURSOR:
        case DRAW_TOGGLE_FULLSCREEN: out += " " + str(frame_read_u32(s)); break;
        case DRAW_UPLOAD_PIXEL_ARRAY:
            frame_read_upload(s, &u);
            out += " " + join(u.name, u.width, "x", u.height);
            for (size_t i = 0; i + 4 <= u.pixels.length; i += 4) {
                char hex[16];
                uint32_t px;
                memcpy(&px, u.pixels.text + i, 4);
                snprintf(hex, sizeof hex, " %08X", px);
                out += hex;
            }
            break;
        default: out += " " + str(code);
        }
        out += s->error ? "!\n" : "\n";
    }
    return out;
}

TEST_F(DrawMethods, EachMethodWritesExactlyItsRecord)
{
    struct {
        const char *call, *record;
    } cases[] = {
        {"d.draw_solid(nil, nil, nil, nil, nil, nil, nil, nil)", "solid 0 0 0 0 0 0 0 255"},
        {"d.draw_solid(1.5, -2, 3, 4, 300, 12.9, -1, 'x')", "solid 1.5 -2 3 4 300 12 -1 255"},
        // Floats saturate into 32 bits and NaN gives 0; Integers keep their low 32 bits.
        {"d.draw_border(0, 0, 0, 0, 1e12, -1e12, 0.0/0.0, 4294967297)",
         "border 0 0 0 0 2147483647 -2147483648 0 1"},
        {"d.draw_line(1, 2, 3, 4, 5, 6, 7, nil)", "line 1 2 3 4 5 6 7 255"},
        {"d.draw_label(1, 2, 'hi', 2.7, 1.9, nil, nil, nil, nil, nil)", "label 1 2 'hi' null 2.7 1 0 0 0 255"},
        {"d.draw_label(1, 2, 'hi', 0, 2, 1, 2, 3, 4, 'f.ttf')", "label 1 2 'hi' 'f.ttf' 0 2 1 2 3 4"},
        // A font that is no String draws in the default font.
        {"d.draw_label(0, 0, '', 0, 0, 0, 0, 0, 0, :sym)", "label 0 0 '' null 0 0 0 0 0 0"},
        {"d.draw_sprite(1, 2, 3, 4, 'p.png')", "sprite 'p.png' 1 2 3 4 a 0 255 255 255 255 t 0 0 -1 -1 s 0 0 -1 -1 f 0 0 @ 0.5 0.5"},
        {"d.draw_sprite_2(1, 2, 3, 4, 'p', 45, nil)", "sprite 'p' 1 2 3 4 a 45 255 255 255 255 t 0 0 -1 -1 s 0 0 -1 -1 f 0 0 @ 0.5 0.5"},
        {"d.draw_sprite_2(1, 2, 3, 4, 'p', nil, 7)", "sprite 'p' 1 2 3 4 a 0 255 255 255 7 t 0 0 -1 -1 s 0 0 -1 -1 f 0 0 @ 0.5 0.5"},
        {"d.draw_sprite_3(1, 2, 3, 4, 'p', *[nil] * 17)",
         "sprite 'p' 1 2 3 4 a 0 255 255 255 255 t 0 0 -1 -1 s 0 0 -1 -1 f 0 0 @ 0.5 0.5"},
        // Ruby order angle, a, r, g, b; the record keeps r, g, b, a. Any flag but nil and false is set.
        {"d.draw_sprite_3(1, 2, 3, 4, 'p', 9, 10, 11, 12, 13, 1, 2, 3, 4, '', [], 0.1, 0.2, 5, 6, 7, 8)",
         "sprite 'p' 1 2 3 4 a 9 11 12 13 10 t 1 2 3 4 s 5 6 7 8 f 1 1 @ 0.1 0.2"},
        {"d.draw_sprite_3(0, 0, 0, 0, 'p', 0, 0, 0, 0, 0, 0, 0, 0, 0, false, 0, 0, 0, 0, 0, 0, 0)",
         "sprite 'p' 0 0 0 0 a 0 0 0 0 0 t 0 0 0 0 s 0 0 0 0 f 0 1 @ 0 0"},
        // The tolerance rides in angle; the sprite tail is read and ignored.
        {"d.draw_screenshot('s.png', 1, 2, 3, 4, 10.7, 5, 6, 7, 8, *[9] * 12)", "screenshot 's.png' 1 2 3 4 t 10 6 7 8 5"},
        {"d.draw_screenshot('s.png', *[nil] * 21)", "screenshot 's.png' 0 0 0 0 t 0 0 0 0 0"},
        {"d.set_grid(640, 360.5, -1)", "grid 640 360.5 -1"},
        {"d.unload_sprite('a.png'); d.openurl('http://x')", "unload 'a.png'\nopenurl 'http://x'"},
        {"d.toggle_cursor(nil); d.toggle_fullscreen(0)", "cursor 0\nfullscreen 1"},
        {"d.upload_pixel_array('pa', 2, 1, [0xFF0000FF, -1])", "upload 'pa' 2 x 1 FF0000FF FFFFFFFF"},
        {"d.upload_pixel_array('empty', 0, 0, [])", "upload 'empty' 0 x 0"},
        // Refused before anything is written: negative sides, counts that do not match, sides
        // whose product would overflow.
        {"d.upload_pixel_array('n', -1, -1, [0])", ""},
        {"d.upload_pixel_array('n', 2, 2, [0, 0, 0])", ""},
        {"d.upload_pixel_array('n', 4294967296, 4294967296, [])", ""},
        {"d.upload_pixel_array('n', 65536, 65536, [])", ""},
    };
    for (const auto &c : cases) {
        test_game.current_frame_stream = threadstream_allocate();
        std::string answer = host_fixture_eval(std::string("d = FFI::Draw.new; ") + c.call);
        std::string want = c.record[0] ? std::string(c.record) + "\n" : "";
        EXPECT_EQ(want, records(test_game.current_frame_stream)) << c.call << " answered " << answer;
        threadstream_free(test_game.current_frame_stream);
        test_game.current_frame_stream = nullptr;
    }
}

// The batch writer for plain Hashes and sprite Arrays must leave the bytes the Ruby readers
// leave, and hand back (answer 0) every sprite it cannot read as they would.
TEST_F(DrawMethods, PlainSpritesWriteWhatTheReadersWriteOrAreHandedBack)
{
    struct {
        const char *sprite;
        int native; // 1 when written natively, 0 when left to the readers
    } cases[] = {
        {"{ x: 1, y: 2, w: 3, h: 4, path: 'a.png' }", 1},
        {"{ x: 1.5, y: -2, w: 0.0 / 0, h: 1e12, path: 'a.png', angle: 30, a: 300, r: -5, g: 7.9, b: nil }", 1},
        {"{ x: 1, y: 2, w: 3, h: 4, path: 'a.png', tile_x: 1, tile_y: 2, tile_w: 3, tile_h: 4, source_x: 5, "
         "source_y: 6, source_w: 7, source_h: 8, flip_horizontally: 1, flip_vertically: false, "
         "angle_anchor_x: 0, angle_anchor_y: 1, 'x' => 99, other: 5 }", 1},
        {"{ x: 1, y: 2, w: 3, h: 4 }", 1},
        {"[1, 2, 3, 4, 'a.png', 45, 128, 1, 2, 3].tap(&:mark_as_sprite!)", 1},
        {"[1, 2, 3, 4, 'a.png'].tap(&:mark_as_sprite!)", 1},
        {"{ rect: [1, 2, 3, 4], path: 'a.png' }", 0},
        {"{ x: 1, y: 2, w: 3, h: 4, path: 'a.png', rgb: [1, 2, 3] }", 0},
        {"{ x: 1, y: 2, w: 3, h: 4, path: :target }", 0},
        {"Hash.new(5).merge(x: 1, y: 2, w: 3, h: 4, path: 'a.png')", 0},
        {"[1, 2, 3, 4, 'a.png']", 0},
    };
    // The submission's reader path, without the rest of a runtime.
    host_fixture_eval("$r = ZOQ::Runtime.allocate; $r.instance_variable_set(:@ffi_draw, FFI::Draw.new)");
    for (const auto &c : cases) {
        std::string sprite = c.sprite;
        test_game.current_frame_stream = threadstream_allocate();
        std::string answer = host_fixture_eval("$r.draw_sprite(" + sprite + "); nil");
        std::string by_readers((const char *)test_game.current_frame_stream->data, test_game.current_frame_stream->length);
        test_game.current_frame_stream->length = 0;
        answer += host_fixture_eval("FFI::Draw.new.draw_plain_sprites([" + sprite +
                                    "], 0, 1, ZOQ::Primitive::SpriteArray)");
        std::string batch((const char *)test_game.current_frame_stream->data, test_game.current_frame_stream->length);
        EXPECT_EQ("nil" + std::to_string(c.native), answer) << sprite;
        if (c.native) EXPECT_EQ(by_readers, batch) << sprite;
        else EXPECT_EQ("", batch) << sprite;
        threadstream_free(test_game.current_frame_stream);
        test_game.current_frame_stream = nullptr;
    }
}

TEST_F(DrawMethods, WrongArgumentsRaiseBeforeWritingAndNoFrameMeansNoRecord)
{
    test_game.current_frame_stream = threadstream_allocate();
    const char *refused[] = {
        "d.draw_sprite(0, 0, 0, 0, nil)", "d.draw_label(0, 0, nil, 0, 0, 0, 0, 0, 0, nil)",
        "d.draw_solid(1, 2)",              "d.set_grid('a', 0, 1)",
        "d.unload_sprite(5)",              "d.upload_pixel_array('n', 1, 1, 5)",
        "d.draw_screenshot(nil, *[0] * 21)",
    };
    for (const char *call : refused) {
        std::string answer = host_fixture_eval(std::string("d = FFI::Draw.new; ") + call);
        EXPECT_TRUE(answer.find("Error") != std::string::npos) << call << " answered " << answer;
    }
    EXPECT_EQ(0u, test_game.current_frame_stream->length);
    EXPECT_EQ("\"\"", host_fixture_eval("d = FFI::Draw.new; d.to_s + d.inspect + d.serialize"));
    threadstream_free(test_game.current_frame_stream);

    test_game.current_frame_stream = nullptr;
    EXPECT_EQ("nil", host_fixture_eval("d = FFI::Draw.new; d.draw_solid(*[1] * 8); d.set_grid(0, 0, 1); "
                                       "d.upload_pixel_array('n', 1, 1, [1])"));
    uint32_t px[2] = {0x11223344u, 0x55667788u};
    znt_upload_pixel_array("n", 2, 1, px);

    // A stream whose error is set takes nothing more.
    test_game.current_frame_stream = threadstream_allocate();
    test_game.current_frame_stream->error = 1;
    host_fixture_eval("FFI::Draw.new.draw_solid(*[1] * 8)");
    znt_upload_pixel_array("n", 2, 1, px);
    EXPECT_EQ(0u, test_game.current_frame_stream->length);
    test_game.current_frame_stream->error = 0;

    // The native upload copies the caller's pixels and refuses what does not add up.
    znt_upload_pixel_array("n", 2, 1, px);
    znt_upload_pixel_array("n", -2, -1, px);
    znt_upload_pixel_array("n", 1 << 20, 1 << 20, px);
    znt_upload_pixel_array(nullptr, 2, 1, px);
    znt_upload_pixel_array("n", 2, 1, nullptr);
    px[0] = 0;
    EXPECT_EQ("upload 'n' 2 x 1 11223344 55667788\n", records(test_game.current_frame_stream));
}
