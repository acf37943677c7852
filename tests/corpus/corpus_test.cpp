// Every file of a generated corpus of pictures, fonts and sounds (scripts/broken_assets.py)
// through the real loaders: the texture of a sprite draw and load_image on the software
// renderer, the font atlas through a label draw and text measuring, the audio decoder on
// OpenAL's loopback device. Each file is loaded in a child process of its own, so that a
// crash, a sanitizer report or a leak (the child's exit runs the leak check) names its file
// and the files after it still run. Files that must load have to load, with their size.
//
// ZINTAREL_CORPUS_SIZE (small by default) and ZINTAREL_CORPUS_SEED choose the corpus.
#include "audio/audio.h"
#include "ffi/ffi.h"
#include "render/fontatlas.h"
#include "support/render_fixture.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alext.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <functional>
#include <sstream>
#include <vector>

namespace {

struct corpus_file {
    std::string path, use, expect;
    int width = -1, height = -1;
    std::string first_pixel; // "rrggbbaa" or "-"
};

// What the child found, sent back through a pipe.
struct outcome {
    int loaded;     // sprite texture made / font other than the default / sound playing
    int image;      // load_image answered pixels
    int32_t width, height;
    uint32_t first; // load_image's first pixel, 0xAABBGGRR
};

std::vector<corpus_file> read_manifest(const std::string &dir)
{
    std::vector<corpus_file> files;
    std::istringstream lines(read_file(dir + "/manifest.tsv"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        corpus_file f;
        std::string w, h;
        std::getline(fields, f.path, '\t'), std::getline(fields, f.use, '\t'), std::getline(fields, f.expect, '\t');
        std::getline(fields, w, '\t'), std::getline(fields, h, '\t'), std::getline(fields, f.first_pixel, '\t');
        if (w != "-") f.width = atoi(w.c_str()), f.height = atoi(h.c_str());
        files.push_back(f);
    }
    return files;
}

const char *env_or(const char *name, const char *fallback)
{
    const char *v = getenv(name);
    return v && *v ? v : fallback;
}

class Corpus : public RenderFixture {
  protected:
    void SetUp() override
    {
        RenderFixture::SetUp();
        ASSERT_TRUE(open(0, 320, 240)) << SDL_GetError();
        draw_init(ctx, fx.game_dir.c_str());
        ffi_render_context = ctx;
        const ALCint attributes[] = {ALC_FREQUENCY, 44100, ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                     ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT, 0};
        ASSERT_TRUE(audio_init_device(alcLoopbackOpenDeviceSOFT(nullptr), attributes));
    }

    void TearDown() override
    {
        audio_quit();
        ffi_render_context = nullptr;
        RenderFixture::TearDown();
    }

    // The corpus of one kind, written into the game folder.
    std::vector<corpus_file> generate(const char *kind)
    {
        std::string command = std::string(ZINTAREL_PYTHON " " ZINTAREL_CORPUS_SCRIPT " '") + fx.game_dir +
                              "' --only " + kind + " --size " + env_or("ZINTAREL_CORPUS_SIZE", "small") + " --seed " +
                              env_or("ZINTAREL_CORPUS_SEED", "1") + " > /dev/null";
        EXPECT_EQ(0, system(command.c_str())) << command;
        return read_manifest(fx.game_dir);
    }

    void draw(const std::function<void(threadstream *)> &body)
    {
        threadstream *s = threadstream_allocate();
        frame_write_grid(s, frame_grid{0, 240, -1});
        frame_write_passes(s, 1, 0);
        frame_write_pass_header(s, frame_pass_header{0, 0, 0, 255, {nullptr, 0}, 0, 0, 0});
        body(s);
        frame_write_u32(s, DRAW_END_PASS);
        draw_process_frame(ctx, s, 0, 0);
        threadstream_free(s);
    }

    outcome load_picture(const std::string &path)
    {
        outcome o = {};
        frame_sprite p = {};
        p.path = frame_cstring(path.c_str());
        p.w = p.h = 64;
        p.r = p.g = p.b = p.a = 255;
        p.tile_w = p.tile_h = p.source_w = p.source_h = -1;
        p.angle_anchor_x = p.angle_anchor_y = 0.5f;
        draw([&](threadstream *s) { frame_write_sprite(s, p); });
        draw([&](threadstream *s) { frame_write_sprite(s, p); }); // a failed file is tried again
        texture_cache_entry *entry = texture_cache_lookup(ctx, path.c_str());
        o.loaded = entry && entry->texture;
        uint32_t *pixels = load_image(path.c_str(), &o.width, &o.height);
        if (pixels) {
            o.image = 1;
            if (o.width > 0 && o.height > 0) o.first = pixels[0];
            free_image(pixels);
        }
        return o;
    }

    outcome load_font(const std::string &path)
    {
        outcome o = {};
        // Latin with kerning pairs, accents, Greek, Cyrillic, a ligature, CJK and an emoji the
        // font lacks, at two sizes and both alignments that measure.
        static const char *text = "AVAToWa fi \xc3\xa9\xc3\x9f \xce\xa9\xce\xb1 \xd0\x96\xd1\x8f \xef\xac\x81 "
                                  "\xe6\xbc\xa2 \xf0\x9f\x98\x80 |gjy";
        for (int size : {0, 12})
            for (int align : {0, 1, 2})
                draw([&](threadstream *s) {
                    frame_write_label(s, frame_label{10, 200, frame_cstring(text), frame_cstring(path.c_str()),
                                                     (float)size, align, 255, 255, 255, 255});
                });
        render_font_lock(ctx);
        fontatlas *font = lookup_font(ctx, path.c_str());
        float w = 0, h = 0;
        fontatlas_calcstringrect(font, text, 40, &w, &h);
        o.loaded = font != ctx->default_font;
        render_font_unlock(ctx);
        return o;
    }

    outcome load_sound(const std::string &path)
    {
        outcome o = {};
        audio_source request = {};
        request.kind = AUDIO_SOURCE_FILE;
        request.data.path = path.c_str();
        request.gain = request.pitch = 1.0f;
        for (int attempt = 0; attempt < 2; attempt++) { // a failed file is asked for again
            audio_source *source = audio_play_source(&request);
            if (!source) continue;
            o.loaded = 1;
            float mix[2 * 4410];
            alcRenderSamplesSOFT(audio_playlist.device, mix, 4410);
            audio_update_source(source);
            audio_stop_source(source);
        }
        return o;
    }

    outcome load(const corpus_file &f)
    {
        return f.use == "picture" ? load_picture(f.path) : f.use == "font" ? load_font(f.path) : load_sound(f.path);
    }

    // Loads files [from, to) one after another in a child, storing what each gave. Answers
    // "" when the child got through and exited cleanly, else what ended it; *reached is the
    // file it died in (to when it died at its exit: the leak check).
    std::string run_child(const std::vector<corpus_file> &files, size_t from, size_t to, std::vector<outcome> &results,
                          size_t *reached)
    {
        struct record {
            uint32_t index, done;
            outcome o;
        };
        std::string log = fx.root + "/child.log";
        int channel[2];
        if (pipe(channel) != 0) return "no pipe";
        fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            close(channel[0]);
            int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) dup2(fd, 2);
            for (size_t i = from; i < to; i++) {
                record r = {(uint32_t)i, 0, {}};
                if (write(channel[1], &r, sizeof r) != (ssize_t)sizeof r) _exit(3);
                alarm(30);
                r.o = load(files[i]);
                r.done = 1;
                if (write(channel[1], &r, sizeof r) != (ssize_t)sizeof r) _exit(3);
            }
            exit(0); // exit, not _exit: the leak check runs here
        }
        close(channel[1]);
        record r;
        *reached = from;
        while (read(channel[0], &r, sizeof r) == (ssize_t)sizeof r) {
            if (!r.done) continue;
            results[r.index] = r.o;
            *reached = r.index + 1;
        }
        close(channel[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
        std::string report = read_file(log);
        if (WIFSIGNALED(status))
            return "killed by signal " + std::to_string(WTERMSIG(status)) +
                   (WTERMSIG(status) == SIGALRM ? " (over 30 s)" : "") + "\n" + report.substr(0, 3000);
        // The sanitizer's one-line summary, or the undefined behaviour it stopped at.
        size_t at = report.find("SUMMARY: ");
        at = at != std::string::npos ? at + 9 : report.find("runtime error: ");
        std::string what = at == std::string::npos ? "exit status " + std::to_string(WEXITSTATUS(status))
                                                   : report.substr(at, report.find('\n', at) - at);
        return what + "\n" + report.substr(0, 3000);
    }

    // What is wrong with a file's outcome, or "".
    static std::string judge(const corpus_file &f, const outcome &o)
    {
        char first[16];
        snprintf(first, sizeof first, "%02x%02x%02x%02x", o.first & 0xFF, (o.first >> 8) & 0xFF, (o.first >> 16) & 0xFF,
                 o.first >> 24);
        if (f.expect == "ok" && !o.loaded) return "refused, but it is a valid file";
        if (f.expect == "fail" && o.loaded) return "accepted, but it must be refused";
        if (f.expect == "ok" && f.use == "picture") {
            if (!o.image) return "load_image refused a valid file";
            if (o.width != f.width || o.height != f.height)
                return "load_image gave " + std::to_string(o.width) + " x " + std::to_string(o.height);
            if (f.first_pixel != "-" && f.first_pixel != first)
                return std::string("load_image's first pixel is ") + first + ", not " + f.first_pixel;
        }
        return "";
    }

    // Files go through children in batches; a child that dies names the file it died in and
    // the next child starts after it; a batch that leaks is run again one file per child.
    void run_kind(const char *kind)
    {
        std::vector<corpus_file> files = generate(kind);
        ASSERT_FALSE(files.empty());
        std::vector<outcome> results(files.size());
        std::vector<std::string> problems(files.size());
        const size_t batch = 24;
        for (size_t i = 0; i < files.size();) {
            size_t end = std::min(files.size(), i + batch), reached = i;
            std::string death = run_child(files, i, end, results, &reached);
            if (death.empty()) {
                i = end;
            } else if (reached < end) {
                problems[reached] = death;
                i = reached + 1;
            } else {
                for (size_t j = i; j < end; j++) problems[j] = run_child(files, j, j + 1, results, &reached);
                i = end;
            }
        }
        int failed = 0;
        for (size_t i = 0; i < files.size(); i++) {
            const corpus_file &f = files[i];
            std::string problem = problems[i].empty() ? judge(f, results[i]) : problems[i];
            if (problem.empty()) continue;
            failed++;
            const char *must = f.expect == "ok" ? "load" : f.expect == "fail" ? "be refused" : "be safe";
            ADD_FAILURE() << f.path << " (" << f.use << ", must " << must << "): " << problem;
        }
        printf("%s: %zu files, %d failed\n", kind, files.size(), failed);
    }
};

} // namespace

TEST_F(Corpus, PicturesThroughSpriteDrawsAndLoadImage) { run_kind("pictures"); }
TEST_F(Corpus, FontsThroughLabelDrawsAndMeasuring) { run_kind("fonts"); }
TEST_F(Corpus, SoundsThroughTheDecoderOnALoopbackDevice) { run_kind("sounds"); }
