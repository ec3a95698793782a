/* A stand-in for libSDL2-2.0.so.0 that Wine's device bus (winebus.sys) loads in the end-to-end
 * runs, so that a controller can be plugged in, moved and pulled out through Wine's own stack:
 * the bus, hidclass, the device-interface notifications and DirectInput's HID joystick.
 *
 * It offers the functions the bus looks up and presents at most one controller, described by the
 * text file named by KEYCONFIG_PAD; every call the bus makes and every event it is given are
 * written to the same path with the extension ".log". One "key value" line each:
 *
 *   attached 1                    0: no controller (also when the file is missing)
 *   kind joystick                 or "controller": what SDL_IsGameController answers
 *   name USB Gamepad
 *   vendor 0079                   vendor and product ids, hexadecimal
 *   product 0006
 *   axes 2                        how many axes, buttons and hats (0 or 1)
 *   buttons 12
 *   hats 1
 *   axis 0 -32768                 the axes' values in SDL's range -32768..32767, in order
 *   pressed 0 3                   the buttons held
 *   hat 0                         the hat's SDL_HAT_* bits; a controller's D-pad
 *   travel 250                    milliseconds an axis takes to reach a new value (0: at once)
 *   noise 1300                    how far an axis away from its ends wobbles round its value
 *
 * A controller's axes and buttons are SDL's game controller ones, in SDL's order. The bus reads
 * the values with the getters when it starts a device and from events after that, so a change
 * of a value becomes an event; a change of anything else is the pad pulled out and another one
 * plugged in. The file is read whenever the bus waits for an event, every 10 ms: write it whole
 * (a new file renamed over the old one). An axis moves as a real one does: over `travel` in
 * steps of 10 ms, and, unless it is at an end, to within `noise` of its value whenever the file
 * changes (SDL tells nothing of a wobble until the pad sends something else). */
#include <SDL.h>

#include <pthread.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define MAX_AXES 8 /* the absolute axes the bus describes */
#define MAX_BUTTONS 32
#define QUEUE_SIZE 128

struct pad_kind {
    int attached, controller, axes, buttons, hats, vendor, product, travel, noise;
    char name[64];
};

struct pad_values {
    int axis[MAX_AXES], button[MAX_BUTTONS], hat;
};

struct _SDL_Joystick {
    SDL_JoystickID id;
    struct pad_kind kind;
};

struct _SDL_GameController {
    SDL_Joystick* joystick;
};

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static char g_file_text[4096];
static struct pad_kind g_kind;
static struct pad_values g_values; /* as last told to the bus */
static int g_target[MAX_AXES];     /* where the file puts the axes */
static double g_moved;             /* when the axes last took a step */
static unsigned g_seed = 1;
static SDL_JoystickID g_instance = -1; /* the pad plugged in, or the last one */
static SDL_Event g_queue[QUEUE_SIZE];
static unsigned g_head, g_tail;
static Uint32 g_next_user_event = SDL_USEREVENT;
static FILE* g_log;

static double now_seconds(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

/* One line of the log, stamped with the monotonic clock (Python's time.monotonic). */
static void say(const char* format, ...) {
    const char* path = getenv("KEYCONFIG_PAD");
    const char* dot = path ? strrchr(path, '.') : NULL;
    char log_path[4096];
    if (!g_log && dot &&
        snprintf(log_path, sizeof log_path, "%.*s.log", (int)(dot - path), path) <
            (int)sizeof log_path) {
        g_log = fopen(log_path, "a");
    }
    if (!g_log) {
        return;
    }
    va_list args;
    va_start(args, format);
    fprintf(g_log, "%.3f ", now_seconds());
    vfprintf(g_log, format, args);
    fputc('\n', g_log);
    fflush(g_log);
    va_end(args);
}

static void push(const SDL_Event* event) {
    if (g_head - g_tail == QUEUE_SIZE) {
        say("queue full, event %#x dropped", event->type);
        return;
    }
    g_queue[g_head++ % QUEUE_SIZE] = *event;
}

/* An event about the pad; "value" is an axis value, a button state or the hat. */
static void push_pad_event(Uint32 type, int index, int value) {
    SDL_Event e;
    memset(&e, 0, sizeof e);
    e.type = type;
    e.common.timestamp = SDL_GetTicks();
    e.jdevice.which = type == SDL_JOYDEVICEADDED ? 0 : g_instance; /* added: a device index */
    e.jbutton.button = (Uint8)index;                               /* also the axis and the hat */
    if (type == SDL_JOYAXISMOTION || type == SDL_CONTROLLERAXISMOTION) {
        e.jaxis.value = (Sint16)value;
    } else if (type == SDL_JOYHATMOTION) {
        e.jhat.value = (Uint8)value;
    } else {
        e.jbutton.state = (Uint8)value;
    }
    say("event %#x which %d index %d value %d", type, (int)e.jdevice.which, index, value);
    push(&e);
}

/* A button of the pad; a controller's D-pad is the hat of the file. */
static int button_of(const struct pad_values* v, int controller, int b) {
    static const int dpad[SDL_CONTROLLER_BUTTON_MAX] = {
        [SDL_CONTROLLER_BUTTON_DPAD_UP] = SDL_HAT_UP,
        [SDL_CONTROLLER_BUTTON_DPAD_DOWN] = SDL_HAT_DOWN,
        [SDL_CONTROLLER_BUTTON_DPAD_LEFT] = SDL_HAT_LEFT,
        [SDL_CONTROLLER_BUTTON_DPAD_RIGHT] = SDL_HAT_RIGHT,
    };
    if (controller && b < SDL_CONTROLLER_BUTTON_MAX && dpad[b]) {
        return (v->hat & dpad[b]) != 0;
    }
    return b >= 0 && b < MAX_BUTTONS && v->button[b];
}

static int clamp(int value, int max) {
    return value < 0 ? 0 : value > max ? max : value;
}

static void parse(char* text, struct pad_kind* k, struct pad_values* v) {
    memset(k, 0, sizeof *k);
    memset(v, 0, sizeof *v);
    for (char *line = text, *next; line && *line; line = next) {
        next = strchr(line, '\n');
        if (next) {
            *next++ = '\0';
        }
        char* rest = line + strcspn(line, " ");
        if (*rest) {
            *rest++ = '\0';
        }
        int* list = !strcmp(line, "axis") ? v->axis : !strcmp(line, "pressed") ? v->button : NULL;
        for (int i = 0; list && i < MAX_BUTTONS; ++i) {
            char* end;
            long n = strtol(rest, &end, 10);
            if (end == rest) {
                break;
            }
            if (list == v->axis && i < MAX_AXES) {
                v->axis[i] = (int)n;
            } else if (list == v->button && n >= 0 && n < MAX_BUTTONS) {
                v->button[n] = 1;
            }
            rest = end;
        }
        if (!strcmp(line, "attached")) {
            k->attached = atoi(rest);
        } else if (!strcmp(line, "kind")) {
            k->controller = !strcmp(rest, "controller");
        } else if (!strcmp(line, "name")) {
            snprintf(k->name, sizeof k->name, "%s", rest);
        } else if (!strcmp(line, "vendor") || !strcmp(line, "product")) {
            *(line[0] == 'v' ? &k->vendor : &k->product) = (int)strtol(rest, NULL, 16);
        } else if (!strcmp(line, "axes")) {
            k->axes = clamp(atoi(rest), MAX_AXES);
        } else if (!strcmp(line, "buttons")) {
            k->buttons = clamp(atoi(rest), MAX_BUTTONS);
        } else if (!strcmp(line, "hats")) {
            k->hats = clamp(atoi(rest), 1);
        } else if (!strcmp(line, "hat")) {
            v->hat = atoi(rest);
        } else if (!strcmp(line, "travel") || !strcmp(line, "noise")) {
            *(line[0] == 't' ? &k->travel : &k->noise) = atoi(rest);
        }
    }
}

/* Moves each axis a step towards where the file puts it; when the file changed, one away from
 * its ends (a trigger's end is its rest, 0) wobbles. Each new value becomes an event. */
static void move_axes(int changed) {
    const double now = now_seconds();
    if (!changed && now - g_moved < 0.01) {
        return;
    }
    const double step =
        g_kind.travel > 0 ? 65535.0 * (now - g_moved) * 1000 / g_kind.travel : 65535;
    g_moved = now;
    const int c = g_kind.controller;
    for (int i = 0; g_kind.attached && i < (c ? SDL_CONTROLLER_AXIS_MAX : g_kind.axes); ++i) {
        const int target = g_target[i];
        const int at_end = target <= SDL_JOYSTICK_AXIS_MIN + 1 || target >= SDL_JOYSTICK_AXIS_MAX ||
                           (c && i >= SDL_CONTROLLER_AXIS_TRIGGERLEFT && target <= 0);
        int value = g_values.axis[i];
        if (value - target > step || target - value > step) {
            value += (int)(value < target ? step : -step); /* on its way */
        } else if (changed && g_kind.noise && !at_end) {
            g_seed = g_seed * 1103515245 + 12345; /* the C standard's example generator */
            value = target + (int)(g_seed >> 16) % (2 * g_kind.noise + 1) - g_kind.noise;
            value = value < SDL_JOYSTICK_AXIS_MIN ? SDL_JOYSTICK_AXIS_MIN
                                                  : clamp(value, SDL_JOYSTICK_AXIS_MAX);
        } else if (at_end || !g_kind.noise) {
            value = target;
        }
        if (value != g_values.axis[i]) {
            g_values.axis[i] = value;
            push_pad_event(c ? SDL_CONTROLLERAXISMOTION : SDL_JOYAXISMOTION, i, value);
        }
    }
}

/* Reads the control file; what changed since the last read becomes events. */
static void refresh(void) {
    const char* path = getenv("KEYCONFIG_PAD");
    char text[sizeof g_file_text] = "";
    FILE* file = path ? fopen(path, "r") : NULL;
    if (file) {
        text[fread(text, 1, sizeof text - 1, file)] = '\0';
        fclose(file);
    }
    if (!strcmp(text, g_file_text)) {
        move_axes(0);
        return;
    }
    memcpy(g_file_text, text, sizeof text);
    struct pad_kind k;
    struct pad_values v;
    parse(text, &k, &v);
    if (memcmp(&k, &g_kind, sizeof k) != 0) {
        if (g_kind.attached) {
            push_pad_event(SDL_JOYDEVICEREMOVED, 0, 0);
        }
        say("pad %s: %s \"%s\" %04x:%04x, %d axes, %d buttons, %d hats",
            k.attached ? "plugged in" : "pulled out", k.controller ? "controller" : "joystick",
            k.name, k.vendor, k.product, k.axes, k.buttons, k.hats);
        g_kind = k;
        g_values = v;
        memcpy(g_target, v.axis, sizeof g_target);
        if (k.attached) {
            ++g_instance;
            push_pad_event(SDL_JOYDEVICEADDED, 0, 0);
        }
        return;
    }
    const int c = k.controller;
    memcpy(g_target, v.axis, sizeof g_target);
    memcpy(v.axis, g_values.axis, sizeof v.axis);
    for (int b = 0; b < (c ? SDL_CONTROLLER_BUTTON_MAX : k.buttons); ++b) {
        const int down = button_of(&v, c, b);
        if (down != button_of(&g_values, c, b)) {
            push_pad_event(c ? (down ? SDL_CONTROLLERBUTTONDOWN : SDL_CONTROLLERBUTTONUP)
                             : (down ? SDL_JOYBUTTONDOWN : SDL_JOYBUTTONUP),
                           b, down);
        }
    }
    if (!c && k.hats && v.hat != g_values.hat) {
        push_pad_event(SDL_JOYHATMOTION, 0, v.hat);
    }
    g_values = v;
    move_axes(1);
}

int SDL_Init(Uint32 flags) {
    say("SDL_Init(%#x)", flags);
    return 0;
}

const char* SDL_GetError(void) {
    return "no such controller";
}

Uint32 SDL_GetTicks(void) {
    static double start;
    if (start == 0) {
        start = now_seconds();
    }
    return (Uint32)((now_seconds() - start) * 1000);
}

Uint32 SDL_RegisterEvents(int count) {
    const Uint32 first = g_next_user_event;
    g_next_user_event += (Uint32)count;
    say("SDL_RegisterEvents(%d) = %#x", count, first);
    return first;
}

int SDL_PushEvent(SDL_Event* event) {
    pthread_mutex_lock(&g_lock);
    say("SDL_PushEvent(%#x)", event->type);
    push(event);
    pthread_mutex_unlock(&g_lock);
    return 1;
}

int SDL_WaitEventTimeout(SDL_Event* event, int timeout) {
    pthread_mutex_lock(&g_lock);
    if (g_head == g_tail) {
        refresh();
    }
    const int got = g_head != g_tail;
    if (got) {
        *event = g_queue[g_tail++ % QUEUE_SIZE];
    }
    pthread_mutex_unlock(&g_lock);
    if (!got) {
        nanosleep(&(struct timespec){0, timeout * 1000000L}, NULL);
    }
    return got;
}

SDL_Joystick* SDL_JoystickOpen(int index) {
    pthread_mutex_lock(&g_lock);
    SDL_Joystick* joystick = index == 0 && g_kind.attached ? malloc(sizeof *joystick) : NULL;
    if (joystick) {
        joystick->id = g_instance;
        joystick->kind = g_kind;
    }
    say("SDL_JoystickOpen(%d) = instance %d", index, joystick ? joystick->id : -1);
    pthread_mutex_unlock(&g_lock);
    return joystick;
}

void SDL_JoystickClose(SDL_Joystick* joystick) {
    say("SDL_JoystickClose(instance %d)", joystick ? joystick->id : -1);
    free(joystick);
}

SDL_GameController* SDL_GameControllerOpen(int index) {
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    SDL_GameController* controller = joystick ? malloc(sizeof *controller) : NULL;
    if (controller) {
        controller->joystick = joystick;
    }
    return controller;
}

void SDL_GameControllerClose(SDL_GameController* controller) {
    if (controller) {
        SDL_JoystickClose(controller->joystick);
    }
    free(controller);
}

/* A value of a joystick that is still the one plugged in; a pulled-out one reads at rest.
 * axis -1: the button given; both -1: the hat. */
static int value_of(SDL_Joystick* joystick, int axis, int button) {
    pthread_mutex_lock(&g_lock);
    int value = 0;
    if (g_kind.attached && joystick->id == g_instance) {
        value = axis >= 0     ? (axis < MAX_AXES ? g_values.axis[axis] : 0)
                : button >= 0 ? button_of(&g_values, joystick->kind.controller, button)
                              : g_values.hat;
    }
    pthread_mutex_unlock(&g_lock);
    return value;
}

static int answer(const char* call, int value) {
    say("%s = %d", call, value);
    return value;
}

static const char* answer_text(const char* call, const char* value) {
    say("%s = %s", call, value ? value : "(none)");
    return value;
}

/* What the bus asks about a pad, each answer logged; and no rumble or force feedback (the bus
 * asks for haptics only when SDL_JoystickIsHaptic says so, and takes a failed rumble for none). */
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define ANSWER(type, name, params, value)                                                          \
    type name params {                                                                             \
        return answer(#name, value);                                                               \
    }
#define ANSWER_TEXT(name, params, value)                                                           \
    const char* name params {                                                                      \
        return answer_text(#name, value);                                                          \
    }
#define REFUSE(type, name, params, value)                                                          \
    type name params {                                                                             \
        return value;                                                                              \
    }

ANSWER(int, SDL_JoystickEventState, (int state), state)
ANSWER(int, SDL_GameControllerEventState, (int state), state)
ANSWER(int, SDL_GameControllerAddMapping, (const char* mapping), 0)
ANSWER(SDL_bool, SDL_IsGameController, (int index),
       index == 0 && g_kind.attached && g_kind.controller)
ANSWER(SDL_JoystickID, SDL_JoystickInstanceID, (SDL_Joystick * j), j->id)
ANSWER_TEXT(SDL_JoystickName, (SDL_Joystick * j), j->kind.name)
ANSWER_TEXT(SDL_GameControllerName, (SDL_GameController * c), c->joystick->kind.name)
ANSWER_TEXT(SDL_JoystickGetSerial, (SDL_Joystick * j), NULL)
ANSWER(Uint16, SDL_JoystickGetVendor, (SDL_Joystick * j), j->kind.vendor)
ANSWER(Uint16, SDL_JoystickGetProduct, (SDL_Joystick * j), j->kind.product)
ANSWER(Uint16, SDL_JoystickGetProductVersion, (SDL_Joystick * j), 0x100)
ANSWER(SDL_JoystickType, SDL_JoystickGetType, (SDL_Joystick * j),
       j->kind.controller ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN)
ANSWER(int, SDL_JoystickNumAxes, (SDL_Joystick * j), j->kind.axes)
ANSWER(int, SDL_JoystickNumButtons, (SDL_Joystick * j), j->kind.buttons)
ANSWER(int, SDL_JoystickNumHats, (SDL_Joystick * j), j->kind.hats)
ANSWER(int, SDL_JoystickNumBalls, (SDL_Joystick * j), 0)
ANSWER(Sint16, SDL_JoystickGetAxis, (SDL_Joystick * j, int axis), value_of(j, axis, -1))
ANSWER(Uint8, SDL_JoystickGetHat, (SDL_Joystick * j, int hat), hat ? 0 : value_of(j, -1, -1))
ANSWER(Sint16, SDL_GameControllerGetAxis, (SDL_GameController * c, SDL_GameControllerAxis axis),
       value_of(c->joystick, axis, -1))
ANSWER(Uint8, SDL_GameControllerGetButton,
       (SDL_GameController * c, SDL_GameControllerButton button), value_of(c->joystick, -1, button))
ANSWER(int, SDL_JoystickIsHaptic, (SDL_Joystick * j), 0)
ANSWER(int, SDL_JoystickRumble, (SDL_Joystick * j, Uint16 low, Uint16 high, Uint32 ms), -1)
ANSWER(int, SDL_JoystickRumbleTriggers, (SDL_Joystick * j, Uint16 left, Uint16 right, Uint32 ms),
       -1)
REFUSE(SDL_Haptic*, SDL_HapticOpenFromJoystick, (SDL_Joystick * j), NULL)
REFUSE(void, SDL_HapticClose, (SDL_Haptic * h), )
REFUSE(void, SDL_HapticDestroyEffect, (SDL_Haptic * h, int e), )
REFUSE(int, SDL_HapticGetEffectStatus, (SDL_Haptic * h, int e), -1)
REFUSE(int, SDL_HapticNewEffect, (SDL_Haptic * h, SDL_HapticEffect* e), -1)
REFUSE(int, SDL_HapticPause, (SDL_Haptic * h), -1)
REFUSE(unsigned int, SDL_HapticQuery, (SDL_Haptic * h), 0)
REFUSE(int, SDL_HapticRumbleInit, (SDL_Haptic * h), -1)
REFUSE(int, SDL_HapticRumblePlay, (SDL_Haptic * h, float strength, Uint32 ms), -1)
REFUSE(int, SDL_HapticRumbleStop, (SDL_Haptic * h), -1)
REFUSE(int, SDL_HapticRumbleSupported, (SDL_Haptic * h), 0)
REFUSE(int, SDL_HapticRunEffect, (SDL_Haptic * h, int e, Uint32 n), -1)
REFUSE(int, SDL_HapticSetAutocenter, (SDL_Haptic * h, int autocenter), -1)
REFUSE(int, SDL_HapticSetGain, (SDL_Haptic * h, int gain), -1)
REFUSE(int, SDL_HapticStopAll, (SDL_Haptic * h), -1)
REFUSE(int, SDL_HapticStopEffect, (SDL_Haptic * h, int e), -1)
REFUSE(int, SDL_HapticUnpause, (SDL_Haptic * h), -1)
REFUSE(int, SDL_HapticUpdateEffect, (SDL_Haptic * h, int e, SDL_HapticEffect* d), -1)
#pragma GCC diagnostic pop

/* An SDL-style GUID, from which the bus makes up a serial number: bus (USB), vendor, product. */
SDL_JoystickGUID SDL_JoystickGetGUID(SDL_Joystick* j) {
    SDL_JoystickGUID guid = {{0x03}};
    memcpy(&guid.data[4], &j->kind.vendor, 2); /* little-endian, as SDL's */
    memcpy(&guid.data[8], &j->kind.product, 2);
    return guid;
}

void SDL_JoystickGetGUIDString(SDL_JoystickGUID guid, char* text, int size) {
    for (int i = 0; i < 16 && 2 * i + 2 < size; ++i) {
        snprintf(text + 2 * i, 3, "%02x", guid.data[i]);
    }
}
