"""Scenarios of controllers plugged in, moved and pulled out through Wine's own stack."""

import subprocess
import time

from harness import *  # noqa: F403


# SDL's axis range and hat bits, as the control file takes them.
SDL_FULL_MINUS, SDL_FULL_PLUS = -32768, 32767
SDL_HAT_UP, SDL_HAT_RIGHT, SDL_HAT_DOWN, SDL_HAT_LEFT = 1, 2, 4, 8

PAD_DEBUG = ",+dinput"


# A cheap digital pad: its Y reads -129 at rest.
USB_PAD = {"kind": "joystick", "name": "USB Gamepad", "vendor": "0079", "product": "0006",
           "axes": 2, "buttons": 12, "hats": 1, "axis": [0, -4227]}
OTHER_PAD = dict(USB_PAD, name="Dual Action", vendor="046d", product="c216", axes=4)
XBOX_PAD = {"kind": "controller", "name": "Xbox 360 Controller", "vendor": "045e",
            "product": "028e", "axes": 6, "buttons": 11, "hats": 1}
XBOX_NAME = "Controller (XBOX 360 For Windows)"  # the name Windows gives it, as Wine does
# Two pedals on X and Y, resting fully up, that travel a quarter of a second as a foot presses.
PEDALS = {"kind": "joystick", "name": "Pedals", "vendor": "1234", "product": "0002", "axes": 2,
          "buttons": 0, "hats": 0, "axis": [SDL_FULL_MINUS, SDL_FULL_MINUS], "travel": 250}
# A PlayStation-style pad, a game controller to SDL, whose sticks wobble. Wine's DirectInput gives
# it the Xbox-style layout, unless the player sets Wine's "override" for it: then its own, with
# the triggers on Z and Rz resting fully released and the D-pad a hat and buttons 12 to 15.
PS_PAD = {"kind": "controller", "name": "PS4 Controller", "vendor": "054c", "product": "09cc",
          "axes": 6, "buttons": 15, "hats": 1, "noise": 1300, "travel": 120}
PS_NAME = "Wireless Controller"  # the name Windows gives it, as Wine does

TEXT_HAT = "ハット（十字キー）は割り当てできません。\nスティックかボタンを使ってください"
TEXT_AXIS = "この軸は割り当てできません。\nスティックかボタンを使ってください"
# A pad plugged in is named this soon: by the look 300 ms after Wine's device-change notification
# (0.4 to 0.7 s from the plug on a busy machine), not by the late look 2 s after it.
ARRIVAL_SECONDS = 1.5
# How long the controller line explains an input that cannot be bound: 50 ticks.
EXPLAIN_TICKS = 50


def controller_line(name):
    return f"コントローラー: {name}"


def plug_pad(program, pad, kind, name=None):
    """Plugs a pad in while the dialog is open: it is named within about a second, through
    nothing but Wine's own device-change notifications. The time is the line's own, watched from
    before the plug, not when a probe started afterwards gets to read it."""
    line = ProbeSession(program.suite, program.env, "watch", str(program.pid), str(ID_CONTROLLER))
    try:
        check(unescape(line.first) == TEXT_NO_CONTROLLER, f"the line reads {line.first!r}")
        began = time.monotonic()
        deadline = began + STATE_SECONDS
        pad.plug(kind)
        wanted = controller_line(name or kind["name"])
        while unescape(line.readline(deadline - time.monotonic())) != wanted:
            check(time.monotonic() < deadline, f"the controller line never read {wanted}")
    finally:
        line.close()
    elapsed = line.came - began
    check(elapsed < ARRIVAL_SECONDS, f"the pad was named only after {elapsed:.1f}s")


def pull_pad(program, pad):
    pad.pull()
    program.wait_for(lambda s: s.text(ID_CONTROLLER) == TEXT_NO_CONTROLLER,
                     "the controller line to say none")


def start_pad_program(start):
    """The program with no controller, ticks counted in Wine's DirectInput trace (with a pad the
    no-controller message stops)."""
    program = start(DEFAULT_IMAGE, debug=PAD_DEBUG)
    program.wait_ready()
    # The line is written by the first tick.
    program.wait_for(lambda s: s.text(ID_CONTROLLER) == TEXT_NO_CONTROLLER,
                     "the controller line to say none before a pad is plugged in")
    return program


def give(program, pad, name, **values):
    """Gives a pad input and lets it go, as a player does: the waiting field takes its name and
    the focus moves on."""
    cid = program.state().focus
    pad.move(**values)
    state = program.wait_for(lambda s: s.text(cid) == name, f"field {cid} to read {name}")
    check(state.focus != cid, f"the focus stayed on {cid} after {name}")
    pad.move()
    return program.wait_for(lambda s: s.readout() == "0 _ 0", "the pad to be let go")


def refuse(program, pad, text, **values):
    """Gives a pad input that binds nothing: the waiting field keeps its text and the focus, and
    the controller line says the text given (the name when it is None) while it is held."""
    before = program.state()
    fields = [before.text(cid) for cid in FIELD_IDS]
    pad.move(**values)
    line = text or before.text(ID_CONTROLLER)
    program.wait_for(lambda s: s.text(ID_CONTROLLER) == line, f"the controller line to say {line!r}")
    wait_quiet(program, lambda s: [s.text(cid) for cid in FIELD_IDS] == fields
               and s.focus == before.focus and s.readout() == "0 _ 0",
               f"{values} was bound or offered")
    pad.move()


def check_explained_for_a_while(program, name):
    """The explanation gives way to the controller's name again about 3 s after it began."""
    start = program.ticks()
    program.wait_for(lambda s: s.text(ID_CONTROLLER) == controller_line(name),
                     "the explanation to end")
    ticks = program.ticks() - start
    check(ticks <= EXPLAIN_TICKS, f"the explanation lasted {ticks} more ticks")


@scenario()
def usb_pad_plugged_bound_and_replugged(start):
    """A plain USB pad, plugged in, bound, pulled out and another plugged in, through Wine's
    device bus and DirectInput: a button binds; only a full push of the stick binds; its hat is
    explained; a different pad binds within about a second; one plugged in while another
    program's window is in front binds once the dialog is back in front."""
    with Pad() as pad:
        program = start_pad_program(start)
        plug_pad(program, pad, USB_PAD)
        watch = JoystickWatch(program)
        try:
            program.focus_field(ID_UP)
            give(program, pad, "JOY1_B1", pressed=[0])
            # 95 % of a full push reads -950, which binds nothing.
            refuse(program, pad, None, axis=[round(SDL_FULL_MINUS * 0.95), 0])
            watch.wait_reading(lambda r: r["x"] == -950, "x at -950")
            give(program, pad, "JOY1_LEFT", axis=[SDL_FULL_MINUS, 0])
            watch.wait_reading(lambda r: r["x"] == -1000, "x at -1000")
            give(program, pad, "JOY1_DOWN", axis=[0, SDL_FULL_PLUS])
            watch.wait_reading(lambda r: r["y"] == 1000, "y at +1000")
            refuse(program, pad, TEXT_HAT, hat=SDL_HAT_UP)
            watch.wait_reading(lambda r: r["pov"] == 0, "the hat up")
        finally:
            watch.close()
        check_explained_for_a_while(program, USB_PAD["name"])
        pull_pad(program, pad)
        plug_pad(program, pad, OTHER_PAD)
        give(program, pad, "JOY1_B3", pressed=[2])
        pull_pad(program, pad)
        # Plugged in behind another program's window: bound once the dialog is back in front.
        cover = ProbeSession(program.suite, program.env, "cover")
        try:
            check(cover.first == "ready", f"no window in front of the dialog: {cover.first!r}")
            program.wait_for(lambda s: not s.foreground, "another window in front of the dialog")
            plug_pad(program, pad, USB_PAD)
        finally:
            cover.close()
        program.focus_field(ID_SHOT)
        give(program, pad, "JOY1_B4", pressed=[3])
        check_fields(program.state(), ["JOY1_B1", "JOY1_LEFT", "JOY1_DOWN", "JOY1_B3", "JOY1_B4",
                                       DEFAULT_NAME, DEFAULT_NAME, DEFAULT_NAME])
        program.click_control(ID_CANCEL)
        program.wait_exit()


@scenario()
def xbox_pad_binds_stick_and_buttons(start):
    """An Xbox-style pad, a game controller to SDL, through Wine's XInput-style HID device: named
    as Windows names it; a face button and a full push of the left stick bind; the D-pad is
    explained as a hat; a full pull of one trigger, which DirectInput reads as Z at +996 or -996
    (both triggers share Z, resting in the middle), is explained and binds nothing; keys still
    bind while it rests."""
    with Pad() as pad:
        program = start_pad_program(start)
        plug_pad(program, pad, XBOX_PAD, XBOX_NAME)
        watch = JoystickWatch(program)
        try:
            program.focus_field(ID_UP)
            give(program, pad, "JOY1_B1", pressed=[0])  # A
            refuse(program, pad, TEXT_HAT, hat=SDL_HAT_LEFT)
            watch.wait_reading(lambda r: r["pov"] == 27000, "the D-pad left")
            give(program, pad, "JOY1_LEFT", axis=[SDL_FULL_MINUS, 0, 0, 0, 0, 0])
            # The triggers are SDL's axes 4 and 5; the second one's pull falls in the first one's
            # explanation.
            for trigger, z in [(4, 996), (5, -996)]:
                refuse(program, pad, TEXT_AXIS, axis=[SDL_FULL_PLUS if a == trigger else 0
                                                      for a in range(6)])
                watch.wait_reading(lambda r: r["z"] == z, f"z at {z}")
            watch.wait_reading(lambda r: r["z"] == 0, "z back at rest")
        finally:
            watch.close()
        check_a_binds(program, ID_LEFT, "beside the pad")
        program.click_control(ID_CANCEL)
        program.wait_exit()


@scenario()
def pedals_bind_each_press_once(start):
    """Two pedals resting fully up at one end of X and Y, pressed down and let up over a quarter
    of a second as a foot does, through the middle: each press binds its direction once, no
    release binds, and keys bind while they rest."""
    with Pad() as pad:
        program = start_pad_program(start)
        plug_pad(program, pad, PEDALS)
        watch = JoystickWatch(program)
        try:
            program.focus_field(ID_UP)
            for axis, cid, name in [("x", ID_UP, "JOY1_RIGHT"), ("y", ID_LEFT, "JOY1_DOWN")]:
                pad.move(axis=[SDL_FULL_PLUS if a == axis else SDL_FULL_MINUS for a in "xy"])
                watch.wait_reading(lambda r: -1000 < r[axis] < 1000, f"{axis} on its way")
                program.wait_for(lambda s: s.text(cid) == name, f"field {cid} to read {name}")
                pad.move()
                watch.wait_reading(lambda r: r[axis] == -1000, f"{axis} back at its rest")
                wait_quiet(program, lambda s: s.text(cid + 1) == DEFAULT_NAME and s.focus == cid + 1
                           and s.readout() == "0 _ 0", "the pedal let go was offered or bound")
                check_a_binds(program, cid + 1, "beside the pedals")
        finally:
            watch.close()
        program.click_control(ID_CANCEL)
        program.wait_exit()


@scenario()
def pad_with_triggers_resting_at_an_end(start):
    """A PlayStation-style pad with Wine's "override" set for it, so that DirectInput reads its own
    layout: triggers resting fully released at one end of Z and Rz, sticks that wobble, the D-pad a
    hat and buttons. Its first button binds with no word on the axes; a trigger pulled is
    explained; the D-pad binds its button with no word on the hat, and no axis is explained
    after it; keys bind beside it."""
    with Pad() as pad:
        program = start_pad_program(start)
        subprocess.run([program.suite.wine, "reg", "add", r"HKCU\Software\Wine\DirectInput\Joysticks",
                        "/v", PS_NAME, "/d", "override", "/f"], env=program.env, check=True,
                       capture_output=True)
        plug_pad(program, pad, PS_PAD, PS_NAME)
        line = controller_line(PS_NAME)
        program.focus_field(ID_UP)
        give(program, pad, "JOY1_B1", pressed=[0])
        check(program.state().text(ID_CONTROLLER) == line, "an axis was explained at a button")
        refuse(program, pad, TEXT_AXIS, axis=[0, 0, 0, 0, SDL_FULL_PLUS, 0])
        check_explained_for_a_while(program, PS_NAME)
        give(program, pad, "JOY1_B14", hat=SDL_HAT_LEFT)
        wait_quiet(program, lambda s: s.text(ID_CONTROLLER) == line, "the hat or an axis explained")
        check_a_binds(program, ID_LEFT, "beside the pad")
        program.click_control(ID_CANCEL)
        program.wait_exit()
