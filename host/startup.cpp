#include "host/startup.h"
#include "audio/audio.h"
#include "base/channel.h"
#include "base/files.h"
#include "base/logfile.h"
#include "base/metadata.h"
#include "base/physfsrwops.h"
#include "base/ruby.h"
#include "compile/compile.h"
#include "ffi/ffi.h"
#include "host/game.h"
#include "host/simulation.h"
#include "render/render.h"
#include "services/http_client.h" // shutdown releases the transfers

#include <execinfo.h>
#include <fcntl.h>
#include <mruby/string.h>
#include <mruby/variable.h>
#include <physfs.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

// What start-up makes and shutdown takes down. The game record goes to the simulation thread,
// which alone uses it from then until it is joined.
static struct {
    game_context game;
    thread_channel *channel;
    render_context *render;
    SDL_Thread *simulation;
    SDL_Thread *audio_helper, *gl_library_helper; // see open_audio_device
} host;

void *physfs_sdl_malloc(unsigned long long size) { return SDL_malloc((size_t)size); }
void *physfs_sdl_realloc(void *pointer, unsigned long long size) { return SDL_realloc(pointer, (size_t)size); }
void physfs_sdl_free(void *pointer) { SDL_free(pointer); }

static int wait_helper(SDL_Thread *&thread)
{
    int result = 0;
    SDL_WaitThread(thread, &result);
    thread = nullptr;
    return result;
}

void startup_catch_signal(int number, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, nullptr);
}

// The children of the thread that shows the start-up failure box: SDL shows it from a
// process of its own, which must not outlive ours.
static char box_children_path[64];

// SIGTERM or SIGINT while the failure box waits for its button: the message is on standard
// error already, so the run ends there with the failure's status, and its box with it.
static void end_failed_startup(int)
{
    int fd = open(box_children_path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char list[512];
        ssize_t n = read(fd, list, sizeof list - 1);
        close(fd);
        long pid = 0;
        for (ssize_t i = 0; i <= n; i++) {
            if (i < n && list[i] >= '0' && list[i] <= '9') {
                pid = pid * 10 + (list[i] - '0');
            } else {
                if (pid > 0) kill((pid_t)pid, SIGKILL);
                pid = 0;
            }
        }
    }
    _exit(1);
}

void startup_fail(const char *format, ...)
{
    char message[256];
    va_list ap;
    va_start(ap, format);
    vsnprintf(message, sizeof message, format, ap);
    va_end(ap);
    fprintf(stderr, "\n\n%s:\n%s\n\n", "Startup failure!", message);
    fflush(stderr);
    // A message box would block a headless run forever; show it only with a real display.
    if (!render_driver_is_headless(SDL_getenv("SDL_VIDEODRIVER")))
        if (SDL_getenv("DISPLAY") || SDL_getenv("WAYLAND_DISPLAY")) {
            // SDL's own handlers only queue a quit event that nobody reads any more.
            snprintf(box_children_path, sizeof box_children_path, "/proc/self/task/%ld/children",
                     (long)syscall(SYS_gettid));
            startup_catch_signal(SIGTERM, end_failed_startup);
            startup_catch_signal(SIGINT, end_failed_startup);
            SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Startup failure!", message, nullptr);
        }
    // A helper still loading must finish before the libraries it uses shut down; a device it
    // opened before the step that would have opened it is closed again.
    if (host.gl_library_helper) SDL_WaitThread(host.gl_library_helper, nullptr);
    if (host.audio_helper && wait_helper(host.audio_helper)) audio_quit();
    // PhysicsFS's deinit before its init dereferences an allocator it never set.
    if (PHYSFS_isInit()) PHYSFS_deinit();
    SDL_Quit();
    exit(1);
}

void crash_signal_handler(int signal)
{
    logfile_flush_from_signal();
    void *frames[10];
    int n = backtrace(frames, 10);
    char header[64];
    int len = snprintf(header, sizeof header, "Error: signal %d:\n", signal);
    if (write(2, header, (size_t)len) < 0) _exit(1);
    backtrace_symbols_fd(frames, n, 2);
    _exit(1);
}

// Two start-up steps need nothing from the steps before them and take tens of milliseconds
// each, mostly in loading shared libraries: opening the audio device, and loading the OpenGL
// driver that creating the window needs. Each runs on a helper thread, and start-up waits for
// it at the step that uses it, so effects and failures keep their order.
static int open_audio_device(void *) { return audio_init(); }

// Under X11 most of the window's cost is loading the OpenGL driver: a helper has SDL load
// its OpenGL library once video is up, while start-up mounts the game and loads the
// framework; the window then finds the driver loaded.
static int load_sdl_gl_library(void *) { return SDL_GL_LoadLibrary(nullptr) == 0; }

// SDL picks X11 when no video driver is named and a display is.
static int video_may_be_x11(void)
{
    const char *driver = SDL_getenv("SDL_VIDEODRIVER");
    return SDL_getenv("DISPLAY") && (!driver || !*driver || SDL_strcasecmp(driver, "x11") == 0);
}

static int is_option(const char *arg, const char *name)
{
    if (arg[0] != '-') return 0;
    while (*arg == '-') arg++;
    return strcmp(arg, name) == 0;
}

// The flags start-up reads off the command line itself; the runtime reads its own options
// from the joined arguments.
struct startup_options {
    int fullscreen, hidden, production;
    const char *game_dir; // the first argument without a dash, if any
};

static startup_options read_options(int argc, char **argv)
{
    startup_options options = {};
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (strncmp(arg, "-psn", 4) == 0) continue;
        if (arg[0] == '-') {
            if (is_option(arg, "fullscreen")) options.fullscreen = 1;
            else if (is_option(arg, "windowed")) options.fullscreen = 0;
            else if (is_option(arg, "production")) options.production = 1;
            else if (is_option(arg, "no-tick") || is_option(arg, "test")) options.hidden = 1;
        } else if (!options.game_dir) {
            options.game_dir = arg;
        }
    }
    return options;
}

// SDL's video, the stream pool, the write lock and PhysicsFS. Answers whether the video is
// X11, whose OpenGL driver a helper starts loading now (and the audio device opens later).
static int start_libraries(int argc, char **argv)
{
    // SDL's first initialisation loads a library of its own; the dynamic loader runs one load
    // at a time, so that is done before a helper's load can hold it up.
    SDL_Init(0);
    int x11 = video_may_be_x11();
    // With a driver to load, the device opens later, while start-up waits for the driver:
    // early on it would slow the load that start-up waits for.
    if (!x11) host.audio_helper = SDL_CreateThread(open_audio_device, "audio init", nullptr);
    if (SDL_Init(SDL_INIT_VIDEO) == -1) startup_fail("SDL_Init(SDL_INIT_VIDEO) failed: %s", SDL_GetError());
    if (x11) host.gl_library_helper = SDL_CreateThread(load_sdl_gl_library, "gl library", nullptr);
    if (!threadstream_init()) startup_fail("Thread initialization failed");
    if (!files_init()) startup_fail("Couldn't create the file write lock: %s", SDL_GetError());

    static const PHYSFS_Allocator allocator = {nullptr, nullptr, physfs_sdl_malloc, physfs_sdl_realloc, physfs_sdl_free};
    if (PHYSFS_isInit() || !PHYSFS_setAllocator(&allocator))
        startup_fail("PHYSFS_setAllocator failed: %s", physfs_last_error());
    if (!PHYSFS_init(argc > 0 ? argv[0] : nullptr)) startup_fail("PHYSFS_init failed: %s", physfs_last_error());
    return x11;
}

// The search path (the executable, the installation folder, the game's folder, and in
// production the per-user folder first), the write directory, the controller mappings, and
// the game's two directories.
static void mount_game(startup_options *options, int argc, char **argv)
{
    if (argc > 0 && argv[0]) PHYSFS_mount(argv[0], nullptr, 0);
    char *base_path = SDL_GetBasePath();
    if (!base_path) startup_fail("Couldn't find installation directory: %s", SDL_GetError());
    if (!PHYSFS_mount(base_path, nullptr, 0))
        startup_fail("Couldn't mount installation directory: %s", physfs_last_error());

    char *mygame_dir = nullptr;
    if (options->game_dir) {
        if (!PHYSFS_mount(options->game_dir, nullptr, 0))
            startup_fail("Couldn't mount '%s' directory: %s", options->game_dir, physfs_last_error());
    } else if (!PHYSFS_exists("app") && PHYSFS_exists("mygame")) {
        mygame_dir = sprintf_alloc("%s/mygame", base_path);
        if (!mygame_dir) startup_fail("Out of memory!");
        if (!PHYSFS_mount(mygame_dir, nullptr, 0))
            startup_fail("Couldn't mount '%s' directory: %s", mygame_dir, physfs_last_error());
        options->game_dir = mygame_dir;
    }

    game_metadata_record *metadata = game_metadata_mutable();
    PHYSFS_Stat marker;
    if (!options->production && PHYSFS_stat("metadata/ZINTAREL_PRODUCTION_BUILD", &marker) && marker.modtime >= 1)
        options->production = 1;
    const char *write_dir = base_path;
    if (options->production) {
        metadata->production = 1;
        // The titles come from a file the author edits: each must stay one folder name.
        char organisation[sizeof metadata->devtitle], application[sizeof metadata->gametitle];
        metadata_folder_name(metadata->devtitle, organisation, sizeof organisation);
        metadata_folder_name(metadata->gametitle, application, sizeof application);
        write_dir = PHYSFS_getPrefDir(organisation, application);
        if (!write_dir) startup_fail("Couldn't mount write directory: %s", physfs_last_error());
    }
    if (!PHYSFS_setWriteDir(write_dir)) startup_fail("Couldn't set write directory: %s", physfs_last_error());
    if (strcmp(write_dir, base_path) != 0 && !PHYSFS_mount(write_dir, nullptr, 0))
        startup_fail("Couldn't mount write directory: %s", physfs_last_error());

    static const char *const mapping_files[] = {"metadata/engine_controller_mappings.txt",
                                                "metadata/game_controller_mappings.txt",
                                                "user_controller_mappings.txt"};
    for (const char *file : mapping_files) {
        SDL_RWops *rw = PHYSFSRWOPS_openRead(file);
        if (rw) SDL_GameControllerAddMappingsFromRW(rw, 1);
    }
    SDL_SetHint("SDL_ACCELEROMETER_AS_JOYSTICK", "0");
    SDL_Init(SDL_INIT_GAMECONTROLLER);

    if (options->production) {
        host.game.game_dir = SDL_strdup(write_dir);
        host.game.base_dir = SDL_strdup(write_dir);
    } else {
        host.game.game_dir = options->game_dir ? SDL_strdup(options->game_dir) : sprintf_alloc("%s/mygame", base_path);
        host.game.base_dir = SDL_strdup(base_path);
    }
    if (!host.game.game_dir || !host.game.base_dir) startup_fail("Out of memory!");
    options->game_dir = nullptr; // it may have been mygame_dir
    SDL_free(mygame_dir);
    SDL_free(base_path);
}

// The interpreter with the framework, the channel, the window and renderer, audio and the
// FFI classes, then the runtime object, whose drawing while it is made is the first frame.
static void start_subsystems(const startup_options &options, int x11, int argc, char **argv)
{
    game_context &game = host.game;
    if (!game_open_interpreter(&game)) startup_fail("Couldn't load the framework: %s", SDL_GetError());
    game_pre_init(&game, argc, argv);

    host.channel = thread_channel_create();
    if (!host.channel) startup_fail("Couldn't create the thread channel: %s", SDL_GetError());
    game.channel = host.channel;
    if (x11) host.audio_helper = SDL_CreateThread(open_audio_device, "audio init", nullptr);
    int gl_loaded = host.gl_library_helper ? wait_helper(host.gl_library_helper) : 0;
    host.render = render_context_new(host.channel, options.fullscreen, options.hidden, game.logical_width,
                                     game.logical_height, game.argv_window_width, game.argv_window_height,
                                     game.argv_window_position_x, game.argv_window_position_y);
    if (!host.render) startup_fail("Couldn't create render context: %s", SDL_GetError());
    // The window holds the driver now.
    if (gl_loaded) SDL_GL_UnloadLibrary();
    if (!(host.audio_helper ? wait_helper(host.audio_helper) : audio_init())) startup_fail("Couldn't initialize audio");
    ffi_init(&game, host.render);
    draw_init(host.render, game.game_dir);
    draw_define_class(game.interpreter, game.ffi_module);

    game.current_frame_stream = threadstream_allocate();
    game_init(&game, argc, argv);
    static const char default_tick[] = "def tick args; end;";
    ruby_load(game.interpreter, default_tick, sizeof default_tick - 1, "(default tick)");
    ruby_log_exception(game.interpreter);
    simulation_queue_frame(&game);
}

// The per-user folder goes under XDG_DATA_HOME only when that is an absolute path, else under
// $HOME/.local/share. PhysicsFS takes any value (an empty one put the folder at the root of
// the file system, a relative one under the current directory) and, without one, the home of
// the user's account rather than $HOME. Done before any thread reads the environment.
static void ignore_unusable_data_home(void)
{
    const char *data_home = getenv("XDG_DATA_HOME");
    if (data_home && data_home[0] == '/') return;
    const char *home = getenv("HOME");
    char *default_home = home && home[0] == '/' ? sprintf_alloc("%s/.local/share", home) : nullptr;
    if (default_home) setenv("XDG_DATA_HOME", default_home, 1);
    else unsetenv("XDG_DATA_HOME");
    SDL_free(default_home);
}

void main_startup(int argc, char **argv)
{
    ignore_unusable_data_home();
    startup_options options = read_options(argc, argv);
    SDL_SetHint("SDL_IOS_ORIENTATIONS", "LandscapeLeft LandscapeRight");
    int x11 = start_libraries(argc, argv);
    mount_game(&options, argc, argv);
    start_subsystems(options, x11, argc, argv);
}

// How long a quit event (SIGTERM, the window's close) waits for the simulation to come back
// from its step before the run is given up.
#define QUIT_GRACE_MS 5000

// The simulation did not come back from its step after a quit event: its thread holds the
// interpreter, so none of the runtime's shutdown can run. The log says so, and the process
// ends with a failure status at once.
static void abandon_stuck_game(void)
{
    static const char message[] = "* ERROR: The game did not stop within 5 seconds of the request to quit (a tick or "
                                  "a test that never returns): exiting without its shutdown.\n";
    fputs(message, stdout);
    fputs(message, stderr);
    fflush(stdout);
    fflush(stderr);
    // _exit skips the log's own close: what the stuck step logged goes out first. The stuck
    // thread may be the one holding a lock, and may still be logging.
    if (!logfile_flush_for_exit(250)) logfile_flush_from_signal();
    if (!game_metadata()->production && files_write_lock_within(250)) {
        if (PHYSFS_setWriteDir(host.game.base_dir)) write_file_ex(1, "logs/log.txt", message, sizeof message - 1);
        files_write_unlock();
    }
    _exit(1);
}

void main_render_loop(void)
{
    SDL_AtomicSet(&host.channel->quit, 0);
    draw_iteration(host.render);
    render_context_startup_shown(host.render);
    host.simulation = SDL_CreateThreadWithStackSize(simulation_thread_main, "simulation", 0x800000, &host.game);
    if (!host.simulation) startup_fail("Couldn't create simulation thread: %s", SDL_GetError());
    while (SDL_AtomicGet(&host.channel->quit) == 0) {
        draw_iteration(host.render);
        thread_channel_serve_clipboard(host.channel);
        if (thread_channel_quit_overdue(host.channel, QUIT_GRACE_MS)) abandon_stuck_game();
    }
    SDL_WaitThread(host.simulation, nullptr);
    host.simulation = nullptr;
    // The last step's frame may carry a screenshot or a URL: run what is still queued.
    if (threadstreamqueue_getcount(host.channel->frame_queue) > 0) draw_iteration(host.render);
    exit(engine_shutdown());
}

int engine_shutdown(void)
{
    http_quit();
    // 0 unless the runtime asks for another status (a test run that did not pass, exit 3):
    // one a process can report as it is, any other that is not 0 as 1.
    int status = 0;
    if (host.game.interpreter) {
        ruby_call0(host.game.interpreter, host.game.runtime, "quit!");
        mrb_value asked = ruby_call0(host.game.interpreter, host.game.runtime, "exit_status");
        if (mrb_integer_p(asked) && mrb_integer(asked) != 0)
            status = mrb_integer(asked) > 0 && mrb_integer(asked) < 256 ? (int)mrb_integer(asked) : 1;
    }
    logfile_close();
    audio_quit();
    render_context_delete(host.render);
    host.render = nullptr;
    host.game.channel = nullptr;
    thread_channel_delete(host.channel);
    host.channel = nullptr;
    controller_slots_close(&host.game.controllers);
    threadstream_quit();
    SDL_Quit();
    if (PHYSFS_isInit()) PHYSFS_deinit();
    return status;
}
