// FFI::Draw and the native pixel upload, called through the real interpreter: each call
// must leave exactly its record (defaults, saturation, NaN, argument errors), and nothing
// while no frame is being built.
#include "render/native_exports.h"
#include "render/render.h"
#include "support/host_fixture.h"

#include <gtest/gtest.h>
#include <string>

class DrawMethods : public ::testing::Test {
  protected:
    host_fixture fx;
    void SetUp() override { ASSERT_TRUE(host_fixture_up(&fx, false)); }
    void TearDown() override
    {
        threadstream_free(current_frame_stream);
        current_frame_stream = nullptr;
        host_fixture_down(&fx);
    }
};

static std::string text_of(frame_string s) { return s.text ? "'" + std::string(s.text, s.length) + "'" : "null"; }

static std::string num(float f)
{
    char b[32];
    snprintf(b, sizeof b, "%g", (double)f);
    return b;
}

// Every record of the stream as text, one per line; "!" marks a stream read past its end.
static std::string records(threadstream *s)
{
    std::string out;
    s->read_position = 0;
    while (!threadstream_eos(s)) {
        uint32_t code = frame_read_u32(s);
        switch (code) {
        case DRAW_SOLID:
        case DRAW_BORDER:
        case DRAW_LINE: {
            frame_rect r;
            frame_read_rect(s, &r);
            out += std::string(code == DRAW_SOLID ? "solid" : code == DRAW_BORDER ? "border" : "line") + " " +
                   num(r.x) + " " + num(r.y) + " " + num(r.w) + " " + num(r.h) + " " + std::to_string(r.r) + " " +
                   std::to_string(r.g) + " " + std::to_string(r.b) + " " + std::to_string(r.a);
            break;
        }
        case DRAW_SPRITE: {
            frame_sprite p;
            frame_read_sprite(s, &p);
            out += "sprite " + text_of(p.path) + " " + num(p.x) + " " + num(p.y) + " " + num(p.w) + " " + num(p.h) +
                   " a" + num(p.angle) + " " + std::to_string(p.r) + " " + std::to_string(p.g) + " " +
                   std::to_string(p.b) + " " + std::to_string(p.a) + " t" + num(p.tile_x) + "," + num(p.tile_y) + "," +
                   num(p.tile_w) + "," + num(p.tile_h) + " s" + num(p.source_x) + "," + num(p.source_y) + "," +
                   num(p.source_w) + "," + num(p.source_h) + " f" + std::to_string(p.flip_horizontally) +
                   std::to_string(p.flip_vertically) + " @" + num(p.angle_anchor_x) + "," + num(p.angle_anchor_y);
            break;
        }
        case DRAW_LABEL: {
            frame_label l;
            frame_read_label(s, &l);
            out += "label " + num(l.x) + " " + num(l.y) + " " + text_of(l.text) + " " + text_of(l.font) + " " +
                   num(l.size_enum) + " " + std::to_string(l.alignment_enum) + " " + std::to_string(l.r) + " " +
                   std::to_string(l.g) + " " + std::to_string(l.b) + " " + std::to_string(l.a);
            break;
        }
        case DRAW_SCREENSHOT: {
            frame_screenshot c;
            frame_read_screenshot(s, &c);
            out += "screenshot " + text_of(c.path) + " " + num(c.x) + " " + num(c.y) + " " + num(c.w) + " " +
                   num(c.h) + " t" + std::to_string(c.tolerance) + " " + std::to_string(c.r) + " " +
                   std::to_string(c.g) + " " + std::to_string(c.b) + " " + std::to_string(c.a);
            break;
        }
        case DRAW_SET_GRID: {
            frame_grid g;
            frame_read_grid(s, &g);
            out += "grid " + num(g.x) + " " + num(g.y) + " " + std::to_string(g.scale);
            break;
        }
        case DRAW_UNLOAD_SPRITE:
        case DRAW_OPENURL:
            out += std::string(code == DRAW_OPENURL ? "openurl " : "unload ") + text_of(frame_read_string(s));
            break;
        case DRAW_TOGGLE_CURSOR:
        case DRAW_TOGGLE_FULLSCREEN:
            out += std::string(code == DRAW_TOGGLE_CURSOR ? "cursor " : "fullscreen ") +
                   std::to_string(frame_read_u32(s));
            break;
        case DRAW_UPLOAD_PIXEL_ARRAY: {
            frame_upload u;
            frame_read_upload(s, &u);
            out += "upload " + text_of(u.name) + " " + std::to_string(u.width) + "x" + std::to_string(u.height);
            char hex[16];
            for (size_t i = 0; i + 4 <= u.pixels.length; i += 4) {
                uint32_t px;
                memcpy(&px, u.pixels.text + i, 4);
                snprintf(hex, sizeof hex, " %08X", px);
                out += hex;
            }
            break;
        }
        default: out += "code " + std::to_string(code);
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
        {"d.draw_sprite(1, 2, 3, 4, 'p.png')", "sprite 'p.png' 1 2 3 4 a0 255 255 255 255 t0,0,-1,-1 s0,0,-1,-1 f00 @0.5,0.5"},
        {"d.draw_sprite_2(1, 2, 3, 4, 'p', 45, nil)", "sprite 'p' 1 2 3 4 a45 255 255 255 255 t0,0,-1,-1 s0,0,-1,-1 f00 @0.5,0.5"},
        {"d.draw_sprite_2(1, 2, 3, 4, 'p', nil, 7)", "sprite 'p' 1 2 3 4 a0 255 255 255 7 t0,0,-1,-1 s0,0,-1,-1 f00 @0.5,0.5"},
        {"d.draw_sprite_3(1, 2, 3, 4, 'p', *[nil] * 17)",
         "sprite 'p' 1 2 3 4 a0 255 255 255 255 t0,0,-1,-1 s0,0,-1,-1 f00 @0.5,0.5"},
        // Ruby order angle, a, r, g, b; the record keeps r, g, b, a. Any flag but nil and false is set.
        {"d.draw_sprite_3(1, 2, 3, 4, 'p', 9, 10, 11, 12, 13, 1, 2, 3, 4, '', [], 0.1, 0.2, 5, 6, 7, 8)",
         "sprite 'p' 1 2 3 4 a9 11 12 13 10 t1,2,3,4 s5,6,7,8 f11 @0.1,0.2"},
        {"d.draw_sprite_3(0, 0, 0, 0, 'p', 0, 0, 0, 0, 0, 0, 0, 0, 0, false, 0, 0, 0, 0, 0, 0, 0)",
         "sprite 'p' 0 0 0 0 a0 0 0 0 0 t0,0,0,0 s0,0,0,0 f01 @0,0"},
        // The tolerance rides in angle; the sprite tail is read and ignored.
        {"d.draw_screenshot('s.png', 1, 2, 3, 4, 10.7, 5, 6, 7, 8, *[9] * 12)", "screenshot 's.png' 1 2 3 4 t10 6 7 8 5"},
        {"d.draw_screenshot('s.png', *[nil] * 21)", "screenshot 's.png' 0 0 0 0 t0 0 0 0 0"},
        {"d.set_grid(640, 360.5, -1)", "grid 640 360.5 -1"},
        {"d.unload_sprite('a.png'); d.openurl('http://x')", "unload 'a.png'\nopenurl 'http://x'"},
        {"d.toggle_cursor(nil); d.toggle_fullscreen(0)", "cursor 0\nfullscreen 1"},
        {"d.upload_pixel_array('pa', 2, 1, [0xFF0000FF, -1])", "upload 'pa' 2x1 FF0000FF FFFFFFFF"},
        {"d.upload_pixel_array('empty', 0, 0, [])", "upload 'empty' 0x0"},
        // Refused before anything is written: negative sides, counts that do not match, sides
        // whose product would overflow.
        {"d.upload_pixel_array('n', -1, -1, [0])", ""},
        {"d.upload_pixel_array('n', 2, 2, [0, 0, 0])", ""},
        {"d.upload_pixel_array('n', 4294967296, 4294967296, [])", ""},
        {"d.upload_pixel_array('n', 65536, 65536, [])", ""},
    };
    for (const auto &c : cases) {
        current_frame_stream = threadstream_allocate();
        std::string answer = host_fixture_eval(std::string("d = FFI::Draw.new; ") + c.call);
        std::string want = c.record[0] ? std::string(c.record) + "\n" : "";
        EXPECT_EQ(want, records(current_frame_stream)) << c.call << " answered " << answer;
        threadstream_free(current_frame_stream);
        current_frame_stream = nullptr;
    }
}

TEST_F(DrawMethods, WrongArgumentsRaiseBeforeWritingAndNoFrameMeansNoRecord)
{
    current_frame_stream = threadstream_allocate();
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
    EXPECT_EQ(0u, current_frame_stream->length);
    EXPECT_EQ("\"\"", host_fixture_eval("d = FFI::Draw.new; d.to_s + d.inspect + d.serialize"));
    threadstream_free(current_frame_stream);

    current_frame_stream = nullptr;
    EXPECT_EQ("nil", host_fixture_eval("d = FFI::Draw.new; d.draw_solid(*[1] * 8); d.set_grid(0, 0, 1); "
                                       "d.upload_pixel_array('n', 1, 1, [1])"));
    uint32_t px[2] = {0x11223344u, 0x55667788u};
    znt_upload_pixel_array("n", 2, 1, px);

    // A stream whose error is set takes nothing more.
    current_frame_stream = threadstream_allocate();
    current_frame_stream->error = 1;
    host_fixture_eval("FFI::Draw.new.draw_solid(*[1] * 8)");
    znt_upload_pixel_array("n", 2, 1, px);
    EXPECT_EQ(0u, current_frame_stream->length);
    current_frame_stream->error = 0;

    // The native upload copies the caller's pixels and refuses what does not add up.
    znt_upload_pixel_array("n", 2, 1, px);
    znt_upload_pixel_array("n", -2, -1, px);
    znt_upload_pixel_array("n", 1 << 20, 1 << 20, px);
    znt_upload_pixel_array(nullptr, 2, 1, px);
    znt_upload_pixel_array("n", 2, 1, nullptr);
    px[0] = 0;
    EXPECT_EQ("upload 'n' 2x1 11223344 55667788\n", records(current_frame_stream));
}
