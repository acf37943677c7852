// Preloaded into the runtime by end-to-end tests: attaches a virtual game controller when
// SDL's controller subsystem starts, and sets its buttons and axes from the lines written to
// the FIFO named by ZINTAREL_PAD_FIFO ("button N 0|1", "axis N VALUE"), as a player would;
// "key SYM 0|1" puts a key press or release of that key code into SDL's event queue, for
// keys where no X server types them.
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static SDL_Joystick *pad;

static int read_commands(void *data)
{
    // Opening blocks until the test's driver opens the FIFO for writing.
    FILE *commands = fopen((const char *)data, "r");
    if (!commands) return 0;
    char line[128];
    while (fgets(line, sizeof line, commands)) {
        char kind[16];
        int index, value;
        if (sscanf(line, "%15s %d %d", kind, &index, &value) != 3) continue;
        if (strcmp(kind, "button") == 0) SDL_JoystickSetVirtualButton(pad, index, (Uint8)value);
        else if (strcmp(kind, "axis") == 0) SDL_JoystickSetVirtualAxis(pad, index, (Sint16)value);
        else if (strcmp(kind, "key") == 0) {
            SDL_Event key;
            SDL_zero(key);
            key.type = value ? SDL_KEYDOWN : SDL_KEYUP;
            key.key.state = value ? SDL_PRESSED : SDL_RELEASED;
            key.key.keysym.sym = index;
            SDL_PushEvent(&key);
        }
    }
    fclose(commands);
    return 0;
}

extern "C" int SDL_Init(Uint32 flags)
{
    using init_function = int (*)(Uint32);
    static init_function real = (init_function)dlsym(RTLD_NEXT, "SDL_Init");
    int result = real(flags);
    const char *fifo = getenv("ZINTAREL_PAD_FIFO");
    if (result == 0 && (flags & SDL_INIT_GAMECONTROLLER) && !pad && fifo) {
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = "Test pad";
        int index = SDL_JoystickAttachVirtualEx(&desc);
        if (index >= 0) pad = SDL_JoystickOpen(index);
        if (pad) SDL_DetachThread(SDL_CreateThread(read_commands, "virtual pad", (void *)fifo));
    }
    return result;
}
