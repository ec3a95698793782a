#!/usr/bin/python3
"""End-to-end tests of keyconfig.exe under Wine.

Drives the real program as a player does: starts it in a fresh working directory, clicks fields
and buttons at the positions the program reports, holds keys down and lets them go through the X
server, presses message box buttons, then reads the dialog through keyconfig_probe.exe (control
texts, visibility, focus, message boxes) and the bytes of config.ini. Where what matters is what a
player sees (text cut off, Japanese drawn as boxes, a warning in red), the scenarios read the
pixels of a screenshot within the places the probe reports. Every wait polls for a state and
gives up at a deadline.

Run by tests/e2e/run_e2e.sh, which provides the X server (DISPLAY) and the Wine prefix
(WINEPREFIX, WINELOADER, WINEDLLOVERRIDES).
"""

import argparse
import os
import queue
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import traceback
from pathlib import Path

CONFIG_FILE = "config.ini"
CAPTION = "コンフィグ"
CANCEL_TEXT = "キャンセル"
BOX_CAPTION_ERROR = "DirectInput"
TEXT_CREATING = "コンフィグファイルを作成します"
TEXT_BROKEN = "コンフィグファイルが壊れています"
TEXT_SAVE_FAILED = "コンフィグファイルを保存できませんでした"
BOX_CAPTION_SAVED = "更新しました"
TEXT_SAVED = "更新完了"
# The device layer's message when no joystick exists, written on every poll, as a debugger
# receives it: code page 932 bytes.
JOYSTICK_MESSAGE = "\nジョイスティック未初期化\n\n".encode("cp932")

ID_OK = 1
ID_CANCEL = 2
ID_OPTION1 = 1001
FIELD_IDS = list(range(1003, 1011))  # UP, DOWN, LEFT, RIGHT, shot, bomb, button 3, button 4
VISIBLE_FIELD_IDS = FIELD_IDS[:6]
HIDDEN_FIELD_IDS = FIELD_IDS[6:]
ID_READOUT = 1012
ID_UP, ID_DOWN, ID_LEFT, ID_RIGHT, ID_SHOT, ID_BOMB = VISIBLE_FIELD_IDS
VISIBLE_LABELS = ["UP", "DOWN", "LEFT", "RIGHT", "ショット", "ボム"]
HIDDEN_LABELS = ["ボタン３", "ボタン４"]

# DirectInput key codes of the keys the scenarios press, by X key name.
DIK = {"a": 30, "s": 31, "z": 44, "c": 46, "Escape": 1, "Return": 28, "space": 57, "Up": 200,
       "Down": 208}
TEXT_FOLDER_GONE = "フォルダーが見つかりません"
TEXT_NO_TEMP_NAME = "一時ファイルの名前がすべて使われています"
TEXT_WINDOWS_FOLDER = "保存先がWindowsフォルダーです: "
TEXT_TEMPORARY_FOLDER = "保存先が一時フォルダーです: "

ID_INSTRUCTION, ID_CONTROLLER, ID_CONFIG_PATH = 1013, 1014, 1015
TEXT_INSTRUCTION = "欄をクリックしてから、\nキー・ボタン・スティックを押してください"
TEXT_NO_CONTROLLER = "コントローラー: なし"
# The Wine virtual desktop the scenarios run in (scripts/wine.sh).
DESKTOP = (800, 600)

DEFAULT_BINDING = (99, 255)
DEFAULT_NAME = "JOY99_B252"

JAPANESE = "ja_JP.UTF-8"
WESTERN = "C.UTF-8"

START_SECONDS = 40  # a cold Wine start of the program
STATE_SECONDS = 15
EXIT_SECONDS = 15
POLL_SECONDS = 0.1
# Ticks of the program's 60 ms timer to watch for a thing that must not happen.
QUIET_TICKS = 6


class Failure(Exception):
    pass


class ProbeError(Failure):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def config_image(bindings, header=(1, 8)):
    data = bytearray(header)
    for device, code in bindings:
        data += bytes((device, code))
    return bytes(data)


DEFAULT_IMAGE = config_image([DEFAULT_BINDING] * 8)


def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r"}.get(m.group(1), m.group(1)), text)


class Control:
    def __init__(self, cid, cls, visible, rect, text):
        self.id, self.cls, self.visible, self.rect, self.text = cid, cls, visible, rect, text

    def centre(self):
        left, top, right, bottom = self.rect
        return (left + right) // 2, (top + bottom) // 2


class MessageBox:
    def __init__(self, owner, icon, has_ok, caption, text):
        self.owner, self.icon, self.has_ok, self.caption, self.text = (
            owner, icon, has_ok, caption, text)

    def __repr__(self):
        return f"<box {self.caption!r}: {self.text!r}, owner {self.owner}, icon {self.icon}>"


RECT = r"rect=(-?\d+),(-?\d+),(-?\d+),(-?\d+)"
DIALOG_LINE = re.compile(
    r"^dialog pid=(\d+) visible=(\d) foreground=(\d) " + RECT
    + r"(?: closebox=(-?\d+),(-?\d+))? caption=(.*)$")
CONTROL_LINE = re.compile(r"^control id=(-?\d+) class=(\S*) visible=(\d) " + RECT + r" text=(.*)$")
FOCUS_LINE = re.compile(r"^focus id=(-?\d+) in_dialog=(\d)$")
BOX_LINE = re.compile(r"^msgbox owner=(\S+) icon=(\d) ok=(\d) caption=(.*?) text=(.*)$")


class State:
    """What keyconfig_probe state printed: the dialog, its controls, the focus, message boxes."""

    def __init__(self, output):
        self.dialog = False
        self.pid = None
        self.visible = self.foreground = False
        self.rect = None
        self.closebox = None
        self.caption = None
        self.controls = {}
        self.labels = {}
        self.focus = None
        self.boxes = []
        self.menus = 0
        lines = output.splitlines()
        if not lines or lines[-1] != "end":
            raise Failure(f"keyconfig_probe printed an incomplete state: {output!r}")
        for line in lines[:-1]:
            if m := DIALOG_LINE.match(line):
                self.dialog = True
                self.pid = int(m.group(1))
                self.visible, self.foreground = m.group(2) == "1", m.group(3) == "1"
                self.rect = tuple(int(v) for v in m.group(4, 5, 6, 7))
                if m.group(8) is not None:
                    self.closebox = (int(m.group(8)), int(m.group(9)))
                self.caption = unescape(m.group(10))
            elif m := CONTROL_LINE.match(line):
                control = Control(int(m.group(1)), m.group(2), m.group(3) == "1",
                                  tuple(int(v) for v in m.group(4, 5, 6, 7)), unescape(m.group(8)))
                if control.cls.lower() == "static":
                    self.labels[control.text] = control
                self.controls[control.id] = control
            elif m := FOCUS_LINE.match(line):
                self.focus = int(m.group(1)) if m.group(2) == "1" else None
            elif m := BOX_LINE.match(line):
                self.boxes.append(MessageBox(m.group(1), m.group(2) == "1", m.group(3) == "1",
                                             unescape(m.group(4)), unescape(m.group(5))))
            elif line == "menu":
                self.menus += 1
            elif line not in ("dialog none", "focus none"):
                raise Failure(f"keyconfig_probe printed an unknown line: {line!r}")

    def text(self, cid):
        control = self.controls.get(cid)
        return control.text if control else None

    def readout(self):
        return self.text(ID_READOUT)

    def box(self, caption):
        return next((b for b in self.boxes if b.caption == caption), None)

    def summary(self):
        if not self.dialog:
            return f"no dialog; boxes {self.boxes}"
        fields = ", ".join(f"{cid}={self.text(cid)!r}" for cid in FIELD_IDS)
        return (f"caption {self.caption!r}, visible {self.visible}, foreground {self.foreground}, "
                f"focus {self.focus}, readout {self.readout()!r}, fields {fields}, "
                f"boxes {self.boxes}")


def debug_strings(log_path):
    """The OutputDebugStringA strings in a Wine log of the warn+debugstr channel, as bytes."""
    strings = []
    pattern = re.compile(rb'warn:debugstr:OutputDebugStringA "(.*)"\s*$')
    escapes = {b"n": b"\n", b"r": b"\r", b"t": b"\t", b'"': b'"', b"\\": b"\\"}
    for line in log_path.read_bytes().splitlines():
        m = pattern.search(line)
        if not m:
            continue
        body = m.group(1)
        out = bytearray()
        i = 0
        while i < len(body):
            if body[i:i + 1] == b"\\" and body[i + 1:i + 2] == b"x":
                out.append(int(body[i + 2:i + 4], 16))
                i += 4
            elif body[i:i + 1] == b"\\":
                out += escapes.get(body[i + 1:i + 2], body[i + 1:i + 2])
                i += 2
            else:
                out += body[i:i + 1]
                i += 1
        strings.append(bytes(out))
    return strings


class Suite:
    def __init__(self, args):
        self.exe = Path(args.exe).resolve()
        self.probe = Path(args.probe).resolve()
        self.out = Path(args.out).resolve()
        self.wine = os.environ.get("WINELOADER", "/usr/lib/wine/wine64")
        (self.out / "work").mkdir(parents=True, exist_ok=True)
        (self.out / "logs").mkdir(parents=True, exist_ok=True)
        self.holder = None

    def hold_desktop(self):
        """Brings the Wine desktop up and keeps it up for the whole run (keyconfig_probe hold)."""
        self.holder = ProbeSession(self, os.environ, "hold")
        check(self.holder.first == "ready",
              f"the Wine desktop did not come up: {self.holder.first!r}")

    def release_desktop(self):
        if self.holder is not None:
            self.holder.close()


class Program:
    """One run of keyconfig.exe in its own working directory, and the player's hands on it."""

    def __init__(self, suite, name, lang, config=None, folder_of=None, debug=""):
        """config: the bytes of config.ini, or a function that prepares the fresh working
        directory and may return another folder to start the program in."""
        self.suite = suite
        self.lang = lang
        # A second copy runs in the first one's folder.
        self.workdir = folder_of.workdir if folder_of else suite.out / "work" / name
        if folder_of is None:
            if self.workdir.exists():
                chattr_clear(self.workdir)
                shutil.rmtree(self.workdir)
            self.workdir.mkdir(parents=True)
        if callable(config):
            self.workdir = config(self.workdir) or self.workdir
        elif config is not None:
            (self.workdir / CONFIG_FILE).write_bytes(config)
        # The Windows process id of the program, once known: with it the probe reads only this
        # copy's dialog and message boxes.
        self.pid = None
        self.log_path = suite.out / "logs" / f"{name}.log"
        self.held = []
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith("LC_") and k != "LANGUAGE"}
        self.env["LANG"] = lang
        self.env["WINEDEBUG"] = "warn+debugstr" + debug
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen([self.suite.wine, str(self.suite.exe)],
                                            cwd=self.workdir, env=self.env,
                                            stdin=subprocess.DEVNULL, stdout=log,
                                            stderr=subprocess.STDOUT)
        self.last = None

    # Reading the program.

    def probe(self, *args):
        env = dict(self.env, WINEDEBUG="-all")
        return subprocess.run([self.suite.wine, str(self.suite.probe), *map(str, args)], env=env,
                              capture_output=True, timeout=START_SECONDS)

    def state(self):
        result = self.probe("state", *([self.pid] if self.pid else []))
        output = result.stdout.decode("utf-8", errors="replace").replace("\r", "")
        if result.returncode != 0 or not output.endswith("end\n"):
            raise ProbeError(f"keyconfig_probe failed (code {result.returncode}): "
                             f"{output!r} {result.stderr.decode(errors='replace')!r}")
        self.last = State(output)
        return self.last

    def wait_for(self, condition, what, seconds=STATE_SECONDS):
        deadline = time.monotonic() + seconds
        while True:
            # A probe that could not read the dialog this once (Wine starting a process while
            # another ends) is asked again; only the deadline ends the wait.
            try:
                state = self.state()
                if condition(state):
                    return state
                seen = f"last state: {state.summary()}"
            except ProbeError as error:
                seen = str(error)
            code = self.process.poll()
            if code is not None:
                raise Failure(f"the program exited (code {code}) while waiting for {what}")
            if time.monotonic() > deadline:
                raise Failure(f"timed out after {seconds}s waiting for {what}; {seen}")
            time.sleep(POLL_SECONDS)

    def wait_ready(self):
        """Waits until the dialog is up, shown and in the foreground with no message box."""
        return self.wait_for(lambda s: s.dialog and s.visible and s.foreground and not s.boxes
                             and s.readout() is not None, "the dialog", START_SECONDS)

    def ticks(self):
        """Polls the program has made so far: each writes the joystick message (no controller),
        and each reads the keyboard, which Wine's +dinput trace shows (controller or not)."""
        if "+dinput" in self.env["WINEDEBUG"]:
            return keyboard_reads(self.log_path)
        return sum(1 for s in debug_strings(self.log_path) if s == JOYSTICK_MESSAGE)

    def wait_ticks(self, count):
        start = self.ticks()
        deadline = time.monotonic() + STATE_SECONDS
        while self.ticks() < start + count:
            check(self.process.poll() is None, "the program exited")
            check(time.monotonic() < deadline, f"the program stopped polling ({count} ticks)")
            time.sleep(POLL_SECONDS)

    def file_bytes(self):
        path = self.workdir / CONFIG_FILE
        return path.read_bytes() if path.is_file() else None

    def wait_exit(self):
        try:
            code = self.process.wait(timeout=EXIT_SECONDS)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not exit; last state: {self.state().summary()}")
        check(code == 0, f"the program exited with code {code}, not 0")

    # The player's hands.

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], check=True, timeout=STATE_SECONDS,
                       stdout=subprocess.DEVNULL)

    def desktop_window(self):
        result = subprocess.run(["xdotool", "search", "--name", "Wine desktop"],
                                capture_output=True, text=True, timeout=STATE_SECONDS)
        windows = result.stdout.split()
        check(windows, "no Wine desktop window on the X display")
        return windows[0]

    def click(self, x, y):
        self.xdotool("mousemove", "--window", self.desktop_window(), str(x), str(y), "click", "1")

    def click_control(self, cid):
        state = self.last if self.last and cid in self.last.controls else self.state()
        check(cid in state.controls, f"no control {cid} in the dialog")
        self.click(*state.controls[cid].centre())

    def focus_field(self, cid):
        self.click_control(cid)
        return self.wait_for(lambda s: s.focus == cid and s.foreground, f"the focus on {cid}")

    def key_down(self, key):
        self.xdotool("keydown", key)
        self.held.append(key)

    def key_up(self, key):
        self.xdotool("keyup", key)
        self.held.remove(key)

    def press(self, key):
        """Presses a key as a player does: down until the program has seen it, then up."""
        code = DIK[key]
        self.key_down(key)
        self.wait_for(lambda s: s.readout() == f"0 _ {code}", f"the readout to show key {key}")
        self.key_up(key)
        return self.wait_for(lambda s: s.readout() == "0 _ 0", f"key {key} to be let go")

    def press_box_ok(self, caption):
        result = self.probe("press-ok", caption, *([self.pid] if self.pid else []))
        check(result.returncode == 0, f"no message box {caption!r} to press OK on")
        self.wait_for(lambda s: s.box(caption) is None, f"the box {caption!r} to close")

    def claim_dialog(self, others=()):
        """Learns which dialog is this copy's: the one whose process is none of the others'."""
        deadline = time.monotonic() + START_SECONDS
        while self.pid is None:
            output = self.probe("list").stdout.decode(errors="replace")
            pids = [int(p) for p in re.findall(r"^dialog pid=(\d+)", output, re.M)]
            self.pid = next((p for p in pids if p not in others), None)
            check(time.monotonic() < deadline, f"no dialog of this copy: {output!r}")
            time.sleep(POLL_SECONDS)
        return self.pid

    def move(self, x, y):
        check(self.probe("move", self.pid, x, y).returncode == 0, "could not move the dialog")
        self.last = None  # the controls' places have changed

    def save_and_exit(self):
        """OK, then OK on the confirmation; the program ends."""
        self.click_control(ID_OK)
        self.wait_for(lambda s: s.box(BOX_CAPTION_SAVED), "the saved message")
        self.press_box_ok(BOX_CAPTION_SAVED)
        self.wait_exit()

    def pixels(self, name):
        """Saves the dialog as the X server shows it and returns the whole desktop's pixels, in
        the coordinates the probe reports."""
        self.screenshot(name)
        data = subprocess.run(["import", "-window", self.desktop_window(), "-depth", "8",
                               "ppm:-"], check=True, capture_output=True,
                              timeout=STATE_SECONDS).stdout
        return Pixels(data)

    def screenshot(self, name, whole_desktop=False):
        """Saves the dialog (or the whole desktop) as the X server shows it, for a person to
        look at."""
        crop = []
        if not whole_desktop:
            state = self.state()
            check(state.dialog, "no dialog to photograph")
            left, top, right, bottom = state.rect
            crop = ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
        path = self.suite.out / name
        subprocess.run(["import", "-window", self.desktop_window(), *crop, str(path)],
                       check=True, timeout=STATE_SECONDS)
        return path

    def close(self):
        """Lets go of every key and ends the program if it still runs (by its process id)."""
        for key in list(self.held):
            try:
                self.key_up(key)
            except Exception:  # best effort on the way out
                pass
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=EXIT_SECONDS)


class Pixels:
    """A screenshot's pixels as the X server showed them, read from a binary PPM."""

    def __init__(self, ppm):
        # "P6", width, height and the largest value, each followed by one whitespace byte.
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        check(header is not None, f"the screenshot is no 8-bit PPM: {ppm[:20]!r}")
        self.width, self.height = int(header.group(1)), int(header.group(2))
        self.data = ppm[header.end():]

    def rgb(self, x, y):
        at = 3 * (y * self.width + x)
        return tuple(self.data[at:at + 3])

    def ink(self, rect, inset=0):
        """Which pixels of a control's rectangle (less inset on every side) are drawn: darker by
        far than the rectangle's most common colour, its background. Rows of booleans."""
        left, top, right, bottom = rect
        area = [[self.rgb(x, y) for x in range(left + inset, right - inset)]
                for y in range(top + inset, bottom - inset)]
        counts = {}
        for row in area:
            for colour in row:
                counts[colour] = counts.get(colour, 0) + 1
        background = sum(max(counts, key=counts.get))
        return [[background - sum(colour) > 3 * 80 for colour in row] for row in area]


def spans(flags):
    """The runs of consecutive true flags, as (first, past the last) pairs."""
    found, start = [], None
    for i, flag in enumerate(list(flags) + [False]):
        if flag and start is None:
            start = i
        elif not flag and start is not None:
            found.append((start, i))
            start = None
    return found


def row_groups(ink):
    """The runs of rows that hold ink: one per row of text."""
    return spans(any(row) for row in ink)


def column_groups(ink):
    """The runs of columns that hold ink: one per glyph, roughly."""
    return spans(any(row[x] for row in ink) for x in range(len(ink[0])))


def boxes_drawn(ink):
    """Glyphs drawn as empty boxes, what a font without Japanese draws: a glyph whose outline
    fills the edge of its bounding box and leaves the inside empty."""
    boxes = 0
    for x0, x1 in column_groups(ink):
        rows = [y for y, row in enumerate(ink) if any(row[x0:x1])]
        y0, y1 = rows[0], rows[-1] + 1
        if x1 - x0 < 4 or y1 - y0 < 6:
            continue
        edge = [ink[y][x] for y in (y0, y1 - 1) for x in range(x0, x1)] + \
               [ink[y][x] for y in range(y0, y1) for x in (x0, x1 - 1)]
        inside = [ink[y][x] for y in range(y0 + 1, y1 - 1) for x in range(x0 + 1, x1 - 1)]
        if sum(edge) >= 0.85 * len(edge) and sum(inside) <= 0.15 * len(inside):
            boxes += 1
    return boxes


def check_drawn_in_japanese(pixels, control, what):
    ink = pixels.ink(control.rect, 2)
    glyphs = len(column_groups(ink))
    check(glyphs >= 3, f"{what} shows {glyphs} glyphs")
    check(boxes_drawn(ink) == 0, f"{what} is drawn as {boxes_drawn(ink)} empty boxes")


def chattr_clear(folder):
    """A scenario cut short may have left its folder immutable."""
    subprocess.run(["chattr", "-R", "-i", str(folder)], stderr=subprocess.DEVNULL)


# Checks shared by the scenarios.

def check_dialog(state):
    check(state.caption == CAPTION, f"caption {state.caption!r}, not {CAPTION!r}")
    check(state.controls.get(ID_OK) and state.controls[ID_OK].text == "OK", "no OK button")
    check(state.controls.get(ID_CANCEL) and state.controls[ID_CANCEL].text == CANCEL_TEXT,
          f"Cancel reads {state.text(ID_CANCEL)!r}, not {CANCEL_TEXT!r}")
    for cid in [ID_OK, ID_CANCEL] + VISIBLE_FIELD_IDS:
        check(state.controls[cid].visible, f"control {cid} is hidden")
    for cid in [ID_OPTION1, ID_READOUT] + HIDDEN_FIELD_IDS:
        check(cid in state.controls, f"control {cid} is missing")
        check(not state.controls[cid].visible, f"control {cid} is visible")
    for label in VISIBLE_LABELS:
        check(label in state.labels and state.labels[label].visible, f"label {label!r} missing")
    for label in HIDDEN_LABELS:
        check(label in state.labels and not state.labels[label].visible,
              f"label {label!r} missing or visible")


def check_fields(state, names):
    actual = [state.text(cid) for cid in FIELD_IDS]
    check(actual == list(names), f"fields read {actual}, expected {list(names)}")


def check_box(box, caption, text, icon, owner):
    check(box is not None, f"no message box {caption!r}")
    check(box.text == text, f"box {caption!r} says {box.text!r}, not {text!r}")
    check(box.icon == icon, f"box {caption!r} {'lacks' if icon else 'has'} an icon")
    check(box.owner == owner, f"box {caption!r} is owned by {box.owner}, not {owner}")
    check(box.has_ok, f"box {caption!r} has no OK button")


def check_debugger_message(program):
    strings = debug_strings(program.log_path)
    check(JOYSTICK_MESSAGE in strings,
          f"the debugger output lacks {JOYSTICK_MESSAGE!r}; it has {sorted(set(strings))[:5]}")


def check_start_up_box_holds_the_dialog(program):
    """With the creation box open, clicks UP and OK and holds a key, as an impatient player
    does: the dialog behind the box takes none of it, since the creation that follows the box
    would overwrite whatever it took. Then the player answers the box."""
    program.click_control(ID_UP)
    program.key_down("a")
    program.wait_ticks(2)
    program.click_control(ID_OK)
    wait_quiet(program, lambda s: s.dialog and s.box(BOX_CAPTION_ERROR) and len(s.boxes) == 1
               and s.focus != ID_UP and s.text(ID_UP) == "",
               "the dialog took a click or a key behind the start-up box")
    program.key_up("a")
    program.press_box_ok(BOX_CAPTION_ERROR)


def check_a_binds(program, cid, what):
    """A key still binds to the waiting field, cid."""
    state = program.press("a")
    check(state.text(cid) == "KEY_A", f"A gave {state.text(cid)!r} {what}")


def wait_quiet(program, condition, what):
    """Watches QUIET_TICKS ticks of the program and fails if the condition stops holding."""
    start = program.ticks()
    deadline = time.monotonic() + STATE_SECONDS
    while True:
        state = program.state()
        check(condition(state), f"{what}; state: {state.summary()}")
        if program.ticks() >= start + QUIET_TICKS:
            return state
        check(time.monotonic() < deadline, "the program stopped polling")
        time.sleep(POLL_SECONDS)


# The scenarios. Each gets a Program factory bound to its name and system language.

SCENARIOS = []


def scenario(*langs):
    """Registers a scenario to run under each system language given (Japanese by default)."""
    def register(function):
        for lang in langs or (JAPANESE,):
            SCENARIOS.append((function.__name__, lang, function))
        return function
    return register


VALID_BINDINGS = [(0, 30), (1, 4), (0, 200), (1, 0), (0, 1), (1, 35), (0, 44), (1, 3)]
VALID_NAMES = ["KEY_A", "JOY1_B1", "KEY_↑", "JOY1_UP", "KEY_ESC", "JOY1_B32", "KEY_Z",
               "JOY1_RIGHT"]
VALID_IMAGE = config_image(VALID_BINDINGS)


@scenario()
def first_start_creates_the_file(start):
    program = start()
    state = program.wait_for(lambda s: s.box(BOX_CAPTION_ERROR), "the creation message",
                             START_SECONDS)
    check_box(state.box(BOX_CAPTION_ERROR), BOX_CAPTION_ERROR, TEXT_CREATING, True, "none")
    check(len(state.boxes) == 1, f"more than one message box: {state.boxes}")
    program.screenshot("first-start-message.png", whole_desktop=True)
    check_start_up_box_holds_the_dialog(program)
    state = program.wait_ready()
    check_dialog(state)
    check_fields(state, [DEFAULT_NAME] * 8)
    check(program.file_bytes() == DEFAULT_IMAGE,
          f"config.ini holds {program.file_bytes()!r}, not {DEFAULT_IMAGE!r}")
    check(state.focus == ID_OK, f"the focus starts on {state.focus}, not on OK")
    check_debugger_message(program)
    program.click_control(ID_CANCEL)
    program.wait_exit()
    check(program.file_bytes() == DEFAULT_IMAGE, "Cancel changed the created file")


@scenario()
def valid_file_is_shown(start):
    """The stored Bindings, what to do, the controller and the file being edited, in a dialog
    centred on the desktop; a click on a label waits for its field's input."""
    program = start(VALID_IMAGE)
    state = program.wait_ready()
    check_dialog(state)
    check_fields(state, VALID_NAMES)
    check(state.readout() == "0 _ 0", f"the readout reads {state.readout()!r} at rest")
    check(state.text(ID_INSTRUCTION) == TEXT_INSTRUCTION, "no instruction under the fields")
    check(state.text(ID_CONTROLLER) == TEXT_NO_CONTROLLER,
          f"the controller line reads {state.text(ID_CONTROLLER)!r}")
    folder = "Z:" + str(program.workdir).replace("/", "\\")
    check(state.text(ID_CONFIG_PATH) == f"保存先: {folder}\\{CONFIG_FILE}",
          f"the path line reads {state.text(ID_CONFIG_PATH)!r}")
    left, top, right, bottom = state.rect
    check(abs(left + right - DESKTOP[0]) <= 2 and abs(top + bottom - DESKTOP[1]) <= 2,
          f"the dialog at {state.rect} is not centred on the desktop")
    program.click(*state.labels["ショット"].centre())
    program.wait_for(lambda s: s.focus == ID_SHOT, "the focus on shot after a click on its label")
    program.screenshot("dialog-ja.png")
    program.click_control(ID_CANCEL)
    program.wait_exit()
    check(program.file_bytes() == VALID_IMAGE, "Cancel changed config.ini")


@scenario()
def broken_header_is_reported(start):
    broken = config_image(VALID_BINDINGS, header=(2, 8))
    program = start(broken)
    state = program.wait_for(lambda s: s.box(BOX_CAPTION_ERROR), "the broken-file message",
                             START_SECONDS)
    check_box(state.box(BOX_CAPTION_ERROR), BOX_CAPTION_ERROR, TEXT_BROKEN, True, "none")
    program.press_box_ok(BOX_CAPTION_ERROR)
    state = program.wait_ready()
    check_dialog(state)
    check_fields(state, [""] * 8)
    check(program.file_bytes() == broken, "the broken file was touched before OK")
    program.focus_field(ID_UP)
    state = program.press("a")
    check(state.text(ID_UP) == "KEY_A", f"UP reads {state.text(ID_UP)!r} after A")
    check(program.file_bytes() == broken, "the broken file was touched before OK")
    program.click_control(ID_OK)
    state = program.wait_for(lambda s: s.box(BOX_CAPTION_SAVED), "the saved message")
    expected = config_image([(0, 30)] + [(0, 0)] * 7)
    check(program.file_bytes() == expected,
          f"OK wrote {program.file_bytes()!r}, not {expected!r}")
    program.press_box_ok(BOX_CAPTION_SAVED)
    program.wait_exit()


@scenario()
def short_header_is_reported(start):
    broken = config_image(VALID_BINDINGS[:7], header=(1, 7))
    program = start(broken)
    state = program.wait_for(lambda s: s.box(BOX_CAPTION_ERROR), "the broken-file message",
                             START_SECONDS)
    check_box(state.box(BOX_CAPTION_ERROR), BOX_CAPTION_ERROR, TEXT_BROKEN, True, "none")
    program.press_box_ok(BOX_CAPTION_ERROR)
    check_fields(program.wait_ready(), [""] * 8)
    program.click_control(ID_CANCEL)
    program.wait_exit()
    check(program.file_bytes() == broken, "Cancel changed the broken file")


@scenario()
def key_binds_and_focus_moves(start):
    program = start(DEFAULT_IMAGE)
    state = program.wait_ready()
    check(state.focus == ID_OK, f"the focus starts on {state.focus}, not on OK")
    program.focus_field(ID_UP)
    program.key_down("a")
    state = program.wait_for(lambda s: s.readout() == "0 _ 30", "the readout 0 _ 30")
    state = program.wait_for(lambda s: s.text(ID_UP) == "KEY_A", "UP to read KEY_A")
    check(state.focus == ID_DOWN, f"the focus is on {state.focus}, not on DOWN")
    program.key_up("a")
    state = program.wait_for(lambda s: s.readout() == "0 _ 0", "the readout 0 _ 0")
    check_fields(state, ["KEY_A"] + [DEFAULT_NAME] * 7)
    check_dialog(state)
    # The focus runs on round the six fields, bomb back to UP.
    for key, cid, name in [("s", ID_DOWN, "KEY_S"), ("z", ID_LEFT, "KEY_Z"),
                           ("Up", ID_RIGHT, "KEY_↑"), ("a", ID_SHOT, "KEY_A"),
                           ("s", ID_BOMB, "KEY_S")]:
        state = program.press(key)
        check(state.text(cid) == name, f"field {cid} reads {state.text(cid)!r}, not {name!r}")
    check(state.focus == ID_UP, f"after bomb the focus is on {state.focus}, not UP")
    check_fields(state, ["KEY_A", "KEY_S", "KEY_Z", "KEY_↑", "KEY_A", "KEY_S", DEFAULT_NAME,
                         DEFAULT_NAME])
    # Keys tapped for 10 ms, between two ticks, bind the fields in turn; so does Pause, which
    # keyboards send down and up at once.
    taps = [("s", "KEY_S"), ("z", "KEY_Z"), ("c", "KEY_C"), ("a", "KEY_A"), ("Up", "KEY_↑")]
    for cid, (key, name) in zip(VISIBLE_FIELD_IDS, taps + [("Pause", "KEY_PAUSE")]):
        program.xdotool(*(["key", key] if key == "Pause" else
                          ["keydown", key, "sleep", "0.01", "keyup", key]))
        state = program.wait_for(lambda s, c=cid, n=name: s.text(c) == n, f"{key} to bind {cid}")
    check(state.focus == ID_UP, f"after the taps the focus is on {state.focus}, not UP")
    program.click_control(ID_CANCEL)
    program.wait_exit()
    check(program.file_bytes() == DEFAULT_IMAGE, "Cancel changed config.ini")


@scenario()
def held_key_binds_once(start):
    program = start(DEFAULT_IMAGE)
    program.wait_ready()
    program.focus_field(ID_UP)
    program.key_down("a")
    program.wait_for(lambda s: s.text(ID_UP) == "KEY_A" and s.focus == ID_DOWN, "UP = KEY_A")
    wait_quiet(program, lambda s: s.text(ID_DOWN) == DEFAULT_NAME and s.focus == ID_DOWN
               and s.readout() == "0 _ 30", "the held key was bound again")
    program.key_up("a")
    program.wait_for(lambda s: s.readout() == "0 _ 0", "the key to be let go")
    state = program.press("a")
    check(state.text(ID_DOWN) == "KEY_A", "pressing the key again did not bind DOWN")
    check(state.focus == ID_LEFT, f"the focus is on {state.focus}, not on LEFT")
    program.click_control(ID_CANCEL)
    program.wait_exit()


@scenario()
def escape_enter_space_are_bound(start):
    program = start(DEFAULT_IMAGE)
    program.wait_ready()
    program.focus_field(ID_UP)
    for key, cid, name in [("Escape", ID_UP, "KEY_ESC"), ("Return", ID_DOWN, "KEY_Enter"),
                           ("space", ID_LEFT, "KEY_SPACE")]:
        state = program.press(key)
        check(state.text(cid) == name, f"{key} gave {state.text(cid)!r}, not {name!r}")
    wait_quiet(program, lambda s: s.dialog and s.visible and not s.boxes,
               "the dialog closed or showed a message")
    check(program.process.poll() is None, "the program ended")
    check(program.file_bytes() == DEFAULT_IMAGE, "a key saved config.ini")
    program.click_control(ID_CANCEL)
    program.wait_exit()


@scenario()
def tab_and_f1_suspend_capture(start):
    program = start(DEFAULT_IMAGE)
    program.wait_ready()
    program.focus_field(ID_UP)
    # Tab held: A is not captured and the focus stays; letting Tab go binds the A still down.
    program.key_down("Tab")
    program.wait_ticks(2)
    program.key_down("a")
    wait_quiet(program, lambda s: s.text(ID_UP) == DEFAULT_NAME and s.focus == ID_UP
               and s.readout() == "0 _ 0", "capture went on or the focus moved while Tab was held")
    program.key_up("Tab")
    state = program.wait_for(lambda s: s.text(ID_UP) == "KEY_A", "A to bind once Tab is up")
    check(state.focus == ID_DOWN, f"the focus is on {state.focus}, not on DOWN")
    program.key_up("a")
    program.wait_for(lambda s: s.readout() == "0 _ 0", "the key to be let go")
    # F1 held: a key pressed and let go meanwhile is never seen.
    program.key_down("F1")
    program.wait_ticks(2)
    program.key_down("s")
    program.wait_ticks(2)
    program.key_up("s")
    program.wait_ticks(2)
    program.key_up("F1")
    wait_quiet(program, lambda s: s.text(ID_DOWN) == DEFAULT_NAME and s.focus == ID_DOWN
               and s.readout() == "0 _ 0", "capture went on or the focus moved while F1 was held")
    program.click_control(ID_CANCEL)
    program.wait_exit()


@scenario()
def caps_lock_is_never_bound(start):
    program = start(DEFAULT_IMAGE)
    program.wait_ready()
    program.focus_field(ID_UP)
    program.key_down("Caps_Lock")
    try:
        wait_quiet(program, lambda s: s.text(ID_UP) == DEFAULT_NAME and s.focus == ID_UP
                   and s.readout() == "0 _ 0", "Caps Lock was offered or bound")
        # Caps Lock does not suspend capture either.
        program.key_down("a")
        program.wait_for(lambda s: s.text(ID_UP) == "KEY_A", "A to bind with Caps Lock down")
        program.key_up("a")
        program.key_up("Caps_Lock")
    finally:
        # Pressing it twice leaves the X server's lock as it was.
        if "Caps_Lock" in program.held:
            program.key_up("Caps_Lock")
        program.xdotool("key", "Caps_Lock")
    program.wait_for(lambda s: s.readout() == "0 _ 0", "the keys to be let go")
    program.click_control(ID_CANCEL)
    program.wait_exit()


@scenario()
def ok_saves_and_confirms(start):
    program = start(VALID_IMAGE)
    program.wait_ready()
    program.focus_field(ID_UP)
    program.press("s")
    program.click_control(ID_OK)
    state = program.wait_for(lambda s: s.box(BOX_CAPTION_SAVED), "the saved message")
    check_box(state.box(BOX_CAPTION_SAVED), BOX_CAPTION_SAVED, TEXT_SAVED, False, "dialog")
    expected = config_image([(0, 31)] + VALID_BINDINGS[1:])
    check(program.file_bytes() == expected,
          f"OK wrote {program.file_bytes()!r}, not {expected!r}")
    program.press_box_ok(BOX_CAPTION_SAVED)
    program.wait_exit()
    check(program.file_bytes() == expected, "config.ini changed after the save")


@scenario()
def ok_saves_unchanged_file(start):
    program = start(DEFAULT_IMAGE)
    program.wait_ready()
    program.click_control(ID_OK)
    program.wait_for(lambda s: s.box(BOX_CAPTION_SAVED), "the saved message")
    check(program.file_bytes() == DEFAULT_IMAGE, "OK changed an unchanged configuration")
    program.press_box_ok(BOX_CAPTION_SAVED)
    program.wait_exit()


def discard_scenario(start, close):
    program = start(VALID_IMAGE)
    program.wait_ready()
    program.focus_field(ID_UP)
    state = program.press("s")
    check(state.text(ID_UP) == "KEY_S", "S did not bind")
    close(program, state)
    program.wait_exit()
    check(program.file_bytes() == VALID_IMAGE, "config.ini changed without OK")
    check(sorted(p.name for p in program.workdir.iterdir()) == [CONFIG_FILE],
          f"the working directory holds {sorted(p.name for p in program.workdir.iterdir())}")


@scenario()
def cancel_discards(start):
    discard_scenario(start, lambda program, state: program.click_control(ID_CANCEL))


@scenario()
def close_box_discards(start):
    def click_close_box(program, state):
        check(state.closebox is not None, "the dialog has no close box")
        program.click(*state.closebox)
    discard_scenario(start, click_close_box)


@scenario(JAPANESE, WESTERN)
def alt_and_f10_leave_the_next_keys_to_capture(start):
    """Letting go of Alt or F10 must not hand the next keys to the system menu as well, where
    Down opens it and C closes the dialog; Alt+F4 still closes it without saving."""
    def tap_alt_and_f10_then_alt_f4(program, state):
        fields = iter([ID_DOWN, ID_LEFT, ID_RIGHT, ID_SHOT])  # S bound UP
        for tap in ["Alt_L", "F10"]:
            program.key_down(tap)
            program.wait_ticks(2)
            program.key_up(tap)
            for key, name in [("Down", "KEY_↓"), ("c", "KEY_C")]:
                cid = next(fields)
                check(program.press(key).text(cid) == name, f"after {tap}, {key} gave no {name}")
        program.xdotool("key", "alt+F4")
    discard_scenario(start, tap_alt_and_f10_then_alt_f4)


@scenario()
def failed_save_keeps_dialog_and_file(start):
    """A save that cannot be written says why, keeps the dialog open with its Bindings and leaves
    the file as it was: a folder that cannot be written in, a read-only config.ini (which Wine
    itself would replace), and the folder renamed while the dialog was open."""
    program = start(VALID_IMAGE)
    program.wait_ready()
    program.focus_field(ID_UP)
    program.press("s")
    config, folder = program.workdir / CONFIG_FILE, program.workdir
    # Root writes through permission bits, so the folder is made immutable; a file without write
    # bits is what attrib +r makes of it under Wine.
    ways = [("フォルダーに書き込む権限がありません",
             lambda: subprocess.run(["chattr", "+i", str(config), str(folder)], check=True),
             lambda: subprocess.run(["chattr", "-i", str(config), str(folder)], check=True)),
            ("ファイルが読み取り専用です", lambda: config.chmod(0o444), lambda: config.chmod(0o644)),
            (TEXT_FOLDER_GONE, lambda: folder.rename(moved), lambda: moved.rename(folder))]
    moved = folder.with_name(folder.name + "-moved")
    for cause, lock, unlock in ways:
        lock()
        try:
            program.click_control(ID_OK)
            state = program.wait_for(lambda s: s.boxes, "a message after the failed save")
            check(state.box(BOX_CAPTION_SAVED) is None, f"a failed save confirmed: {state.boxes}")
            check_box(state.box(BOX_CAPTION_ERROR), BOX_CAPTION_ERROR,
                      f"{TEXT_SAVE_FAILED}\n{cause}", True, "dialog")
            program.press_box_ok(BOX_CAPTION_ERROR)
            state = wait_quiet(program, lambda s: s.dialog and s.visible and not s.boxes,
                               "the dialog closed or showed another message after the failed save")
            check(state.text(ID_UP) == "KEY_S", "the dialog lost its Bindings")
        finally:
            unlock()
        check(program.file_bytes() == VALID_IMAGE, f"the failed save ({cause}) changed config.ini")
    program.click_control(ID_CANCEL)
    program.wait_exit()
    check(program.file_bytes() == VALID_IMAGE, "config.ini changed")


@scenario()
def two_copies_keep_both_changes(start):
    """Two copies open on one config.ini, each binding other fields: each OK writes what its player
    bound over the file as it is then, so neither loses the other's change. The second one
    presses again on LEFT what it loaded there, after the first changed LEFT: that choice, saved
    last, stands."""
    first = start(VALID_IMAGE)
    first.pid = first.wait_ready().pid
    second = start(folder_of=first)
    second.claim_dialog(others=[first.pid])
    second.wait_ready()
    first.move(10, 40)
    second.move(410, 40)
    for program, field, key in [(first, ID_UP, "s"), (first, ID_LEFT, "z"),
                                (second, ID_DOWN, "c"), (second, ID_LEFT, "Up")]:
        program.focus_field(field)
        program.press(key)
    first.save_and_exit()
    second.save_and_exit()
    expected = config_image([(0, 31), (0, 46), (0, 200)] + VALID_BINDINGS[3:])
    check(first.file_bytes() == expected, f"config.ini holds {first.file_bytes()!r}, not {expected!r}")


@scenario(WESTERN)
def western_system_reads_japanese(start):
    program = start()
    state = program.wait_for(lambda s: s.box(BOX_CAPTION_ERROR), "the creation message",
                             START_SECONDS)
    check_box(state.box(BOX_CAPTION_ERROR), BOX_CAPTION_ERROR, TEXT_CREATING, True, "none")
    check_start_up_box_holds_the_dialog(program)
    state = program.wait_ready()
    check_dialog(state)
    check_fields(state, [DEFAULT_NAME] * 8)
    program.focus_field(ID_UP)
    state = program.press("Up")
    check(state.text(ID_UP) == "KEY_↑", f"the Up key reads {state.text(ID_UP)!r}")
    # The dialog's own font has no Japanese here: the one it takes instead draws it.
    pixels = program.pixels("dialog-western.png")
    for control, what in [(state.labels["ショット"], "the shot label"),
                          (state.controls[ID_CANCEL], "Cancel"),
                          (state.controls[ID_INSTRUCTION], "the instruction")]:
        check_drawn_in_japanese(pixels, control, what)
    check_debugger_message(program)
    program.click_control(ID_CANCEL)
    program.wait_exit()


# Controllers through Wine's own stack: the stand-in controller library (tests/e2e/pad/pad.c) is
# Wine's SDL, so a controller is plugged in, moved and pulled out as Wine's device bus sees one,
# and everything from there on is Wine's: hidclass, the device-interface notifications, DirectInput.

# SDL's axis range and hat bits, as the control file takes them.
SDL_FULL_MINUS, SDL_FULL_PLUS = -32768, 32767
SDL_HAT_UP, SDL_HAT_RIGHT, SDL_HAT_DOWN, SDL_HAT_LEFT = 1, 2, 4, 8

# What Wine's DirectInput trace writes each time the program reads the keyboard, once a tick.
KEYBOARD_READ = re.compile(rb"dinput_device_GetDeviceState iface \w+, size 256,")
PAD_DEBUG = ",+dinput"


def keyboard_reads(log_path):
    return len(KEYBOARD_READ.findall(log_path.read_bytes()))


class Pad:
    """The one controller of the stand-in library, set through its control file (the format is
    in tests/e2e/pad/pad.c); its log, pad.log beside it, tells what Wine asked and was told.
    Pulled out when the scenario ends, so that the next one starts with none."""

    def __init__(self):
        self.path = Path(os.environ["KEYCONFIG_PAD"])
        self.kind = None

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.pull()

    def plug(self, kind):
        self.kind = kind
        self.move()

    def move(self, **values):
        """Sets the inputs; those not given rest."""
        fields = {**self.kind, **values} if self.kind else {}
        lines = [f"attached {int(self.kind is not None)}"] + [
            f"{key} {' '.join(map(str, value)) if isinstance(value, list) else value}"
            for key, value in fields.items()]
        new = self.path.with_suffix(".new")
        new.write_text("\n".join(lines) + "\n")
        os.replace(new, self.path)

    def pull(self):
        self.kind = None
        self.move()


class ProbeSession:
    """A keyconfig_probe command that runs beside the program until its standard input closes;
    its lines are collected as they come."""

    def __init__(self, suite, env, command, *args):
        self.process = subprocess.Popen([suite.wine, str(suite.probe), command, *args],
                                        env=dict(env, WINEDEBUG="-all"), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.lines = queue.Queue()
        threading.Thread(target=self.collect, daemon=True).start()
        self.first = self.readline(START_SECONDS)

    def collect(self):
        for line in self.process.stdout:
            text = line.decode("utf-8", errors="replace").rstrip("\r\n")
            self.lines.put((time.monotonic(), text))

    def readline(self, seconds):
        """The next line, or "" when none comes in time; self.came is when it came."""
        try:
            self.came, line = self.lines.get(timeout=max(seconds, 0))
            return line
        except queue.Empty:
            return ""

    def close(self):
        self.process.stdin.close()
        try:
            self.process.wait(timeout=EXIT_SECONDS)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class JoystickWatch(ProbeSession):
    """DirectInput's reading of the first game controller, read as the program sets it up
    (keyconfig_probe joystick): its product name, then each state it reads."""

    def __init__(self, program):
        super().__init__(program.suite, program.env, "joystick")
        check(self.first.startswith("joystick name="), f"DirectInput lists no joystick: {self.first!r}")
        self.name = unescape(self.first[len("joystick name="):])
        self.reading = None

    def wait_reading(self, condition, what):
        """Waits until DirectInput reads a state that meets the condition, and returns it."""
        deadline = time.monotonic() + STATE_SECONDS
        while self.reading is None or not condition(self.reading):
            check(time.monotonic() < deadline, f"DirectInput never read {what}: {self.reading}")
            line = self.readline(deadline - time.monotonic())
            if line.startswith("reading "):
                self.reading = {k: v if k == "buttons" else int(v)
                                for k, v in (f.split("=", 1) for f in line.split()[1:])}
        return self.reading


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


# The fields that show an underscore and nothing below the line but it, in VALID_NAMES.
UNDERSCORED_FIELDS = [ID_UP, ID_DOWN, ID_RIGHT, ID_SHOT, ID_BOMB]


def set_dpi(program, dpi):
    """The screen's DPI, as a player sets it; a program started afterwards draws at it."""
    result = subprocess.run([program.suite.wine, "reg", "add", r"HKCU\Control Panel\Desktop", "/v",
                             "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                            env=dict(os.environ, WINEDEBUG="-all"), capture_output=True,
                            timeout=START_SECONDS)
    check(result.returncode == 0, f"could not set {dpi} DPI")


@scenario()
def dialog_reads_whole_at_every_dpi(start):
    """At 96, 144 and 192 DPI, as the pixels show: the instruction on two whole rows inside its
    place, and every field's underscore drawn."""
    first = start(VALID_IMAGE)
    first.wait_ready()
    first.click_control(ID_CANCEL)
    first.wait_exit()
    try:
        for dpi in [96, 144, 192]:
            set_dpi(first, dpi)
            program = start(VALID_IMAGE)
            state = program.wait_ready()
            pixels = program.pixels(f"dialog-ja-{dpi}dpi.png")
            instruction = state.controls[ID_INSTRUCTION]
            ink = pixels.ink(instruction.rect)
            rows = row_groups(ink)
            check(len(rows) == 2, f"at {dpi} DPI the instruction shows {len(rows)} rows")
            heights = [y1 - y0 for y0, y1 in rows]
            check(abs(heights[0] - heights[1]) <= 1 and rows[1][1] < len(ink),
                  f"at {dpi} DPI the instruction's second row is cut: rows {rows} of {len(ink)}")
            check(all(not row[0] and not row[-1] for row in ink),
                  f"at {dpi} DPI the instruction runs into its edges")
            for cid in UNDERSCORED_FIELDS:
                ink = pixels.ink(state.controls[cid].rect, 2)
                lowest = max(y for y, row in enumerate(ink) if any(row))
                check(len(spans(ink[lowest])) == 1 and sum(ink[lowest]) >= 3,
                      f"at {dpi} DPI {state.text(cid)!r} lacks its underscore")
            program.click_control(ID_CANCEL)
            program.wait_exit()
    finally:
        set_dpi(first, 96)


@scenario()
def menus_bind_nothing(start):
    """A field has no right-click menu, so Escape after a right-click is a key like any other;
    while the system menu is open its keys bind nothing, nor does the Escape that closed it."""
    program = start(DEFAULT_IMAGE)
    state = program.wait_ready()
    program.focus_field(ID_UP)
    program.xdotool("mousemove", "--window", program.desktop_window(),
                    *map(str, state.controls[ID_UP].centre()), "click", "3")
    wait_quiet(program, lambda s: s.menus == 0 and s.focus == ID_UP, "a field showed a menu")
    check(program.press("Escape").text(ID_UP) == "KEY_ESC", "Escape did not bind UP")
    left, top, right, _ = state.rect
    program.xdotool("mousemove", "--window", program.desktop_window(), str((left + right) // 2),
                    str(top + 8), "click", "3")
    program.wait_for(lambda s: s.menus == 1, "the system menu")
    for key in ["Down", "Escape"]:
        program.key_down(key)
        program.wait_ticks(2)
    program.wait_for(lambda s: s.menus == 0, "the system menu to close")
    wait_quiet(program, lambda s: s.text(ID_DOWN) == DEFAULT_NAME and s.focus == ID_DOWN,
               "a key of the system menu was bound")
    for key in ["Down", "Escape"]:
        program.key_up(key)
    check_a_binds(program, ID_DOWN, "after the menu")
    program.click_control(ID_CANCEL)
    program.wait_exit()


@scenario()
def linked_config_is_saved_through_the_link(start):
    """A config.ini that is a symbolic link, shared with another install, stays a link: the path
    line names the file it leads to, and OK writes that file."""
    def link_to_shared(workdir):
        shared = workdir / "shared"
        shared.mkdir()
        (shared / "keys.bin").write_bytes(VALID_IMAGE)
        (workdir / "game").mkdir()
        (workdir / "game" / CONFIG_FILE).symlink_to(shared / "keys.bin")
        return workdir / "game"
    program = start(link_to_shared)
    state = program.wait_ready()
    shared = program.workdir.parent / "shared"
    target = "Z:" + str(shared / "keys.bin").replace("/", "\\")
    check(state.text(ID_CONFIG_PATH) == f"保存先: {target}",
          f"the path line reads {state.text(ID_CONFIG_PATH)!r}")
    program.focus_field(ID_UP)
    program.press("s")
    program.save_and_exit()
    check((program.workdir / CONFIG_FILE).is_symlink(), "config.ini is no link any more")
    expected = config_image([(0, 31)] + VALID_BINDINGS[1:])
    check((shared / "keys.bin").read_bytes() == expected, "the linked file was not written")
    check(sorted(p.name for p in shared.iterdir()) == ["keys.bin"], "a temporary file was left")
    # The shared file gone: Wine lists the link under no name, and nothing takes its place.
    (shared / "keys.bin").rename(shared / "moved.bin")
    program = start(lambda workdir, game=program.workdir: game)
    box = program.wait_for(lambda s: s.box(BOX_CAPTION_ERROR), "a message", START_SECONDS).boxes[0]
    check(box.text.endswith("\nリンク先が見つかりません"), f"the message says {box.text!r}")
    program.press_box_ok(BOX_CAPTION_ERROR)
    program.wait_ready()
    program.click_control(ID_CANCEL)
    program.wait_exit()
    check(os.readlink(program.workdir / CONFIG_FILE) == str(shared / "keys.bin"), "link replaced")


@scenario()
def leftover_temporary_files_are_cleared(start):
    """Temporary files of saves that were killed never use up the names: a save removes those
    that no program has open, and says so when every name is still taken."""
    def taken_by_folders(workdir):
        (workdir / CONFIG_FILE).write_bytes(VALID_IMAGE)
        for n in range(100):
            (workdir / f"{CONFIG_FILE}.{n}.tmp").mkdir()
    program = start(taken_by_folders)
    program.wait_ready()
    program.click_control(ID_OK)
    state = program.wait_for(lambda s: s.box(BOX_CAPTION_ERROR), "the failed save")
    check_box(state.box(BOX_CAPTION_ERROR), BOX_CAPTION_ERROR,
              f"{TEXT_SAVE_FAILED}\n{TEXT_NO_TEMP_NAME}", True, "dialog")
    program.press_box_ok(BOX_CAPTION_ERROR)
    # A minute old, as a killed save's are; one is a link whose file is the player's.
    precious = program.workdir.parent / f"{program.workdir.name}-precious.bin"
    precious.write_bytes(VALID_IMAGE)
    for n in range(100):
        leftover = program.workdir / f"{CONFIG_FILE}.{n}.tmp"
        leftover.rmdir()
        if n == 3:
            leftover.symlink_to(precious)
            continue
        leftover.write_bytes(VALID_IMAGE[:9])
        os.utime(leftover, (time.time() - 120,) * 2)
    held = program.workdir / f"{CONFIG_FILE}.7.tmp"
    holder = ProbeSession(program.suite, program.env, "hold-file",
                          "Z:" + str(held).replace("/", "\\"))
    try:
        check(holder.first == "held", f"could not hold {held.name}: {holder.first!r}")
        program.save_and_exit()
    finally:
        holder.close()
    kept = sorted([CONFIG_FILE, f"{CONFIG_FILE}.3.tmp", held.name])
    check(sorted(p.name for p in program.workdir.iterdir()) == kept,
          f"left behind: {sorted(p.name for p in program.workdir.iterdir())}")
    check(program.file_bytes() == VALID_IMAGE, "the save changed config.ini")
    check(precious.is_file() and precious.read_bytes() == VALID_IMAGE,
          "the file a leftover linked to is gone")


@scenario()
def windows_folder_is_named_in_red(start):
    """A game folder whose path is too long for a working directory: Wine starts the program in
    its Windows folder, and the path line says so in red."""
    def too_long(workdir):
        folder = workdir
        for n in range(3):
            folder = folder / (f"{n}" * 100)
        folder.mkdir(parents=True)
        return folder
    program = start(too_long)
    windows_config = Path(os.environ["WINEPREFIX"]) / "drive_c" / "windows" / CONFIG_FILE
    try:
        state = program.wait_for(lambda s: s.box(BOX_CAPTION_ERROR), "the creation message",
                                 START_SECONDS)
        program.press_box_ok(BOX_CAPTION_ERROR)
        state = program.wait_ready()
        check_warning(program, state, f"{TEXT_WINDOWS_FOLDER}C:\\windows\\{CONFIG_FILE}",
                      "dialog-windows-folder.png")
    finally:
        windows_config.unlink(missing_ok=True)
    # Started from inside its ZIP, as a file manager unpacks it to a temporary folder.
    unpacked = Path(tempfile.mkdtemp(prefix="Temp1_keyconfig-win32.zip-", dir="/tmp"))
    try:
        (unpacked / CONFIG_FILE).write_bytes(VALID_IMAGE)
        program = start(lambda workdir: unpacked)
        state = program.wait_ready()
        check_warning(program, state, f"{TEXT_TEMPORARY_FOLDER}Z:"
                      + str(unpacked / CONFIG_FILE).replace("/", "\\"), "dialog-temp-folder.png")
    finally:
        shutil.rmtree(unpacked)


def check_warning(program, state, text, screenshot):
    line = state.text(ID_CONFIG_PATH)
    check(line == text, f"the path line reads {line!r}")
    pixels = program.pixels(screenshot)
    left, top, right, bottom = state.controls[ID_CONFIG_PATH].rect
    red = sum(1 for y in range(top, bottom) for x in range(left, right)
              if (lambda r, g, b: r > 150 and g < 80 and b < 80)(*pixels.rgb(x, y)))
    check(red >= 20, f"the path line shows {red} red pixels")
    program.click_control(ID_CANCEL)
    program.wait_exit()


def run(args):
    suite = Suite(args)
    passed = failed = 0
    began = time.monotonic()
    try:
        suite.hold_desktop()
    except Failure as error:
        print(f"FAIL the Wine desktop: {error}")
        suite.release_desktop()
        return 1
    for name, lang, function in SCENARIOS:
        if args.only and not any(part in name for part in args.only):
            continue
        programs = []

        def start(config=None, folder_of=None, debug="", _name=f"{name}-{lang.split('.')[0]}",
                  _lang=lang, _programs=programs):
            program = Program(suite, f"{_name}-{len(_programs)}" if _programs else _name, _lang,
                              config, folder_of, debug)
            _programs.append(program)
            return program

        t0 = time.monotonic()
        try:
            function(start)
            passed += 1
            print(f"PASS {name} [{lang}] ({time.monotonic() - t0:.1f}s)", flush=True)
        except Exception as error:  # a failure or a broken tool: the scenario fails either way
            failed += 1
            detail = str(error) if isinstance(error, Failure) else traceback.format_exc()
            print(f"FAIL {name} [{lang}] ({time.monotonic() - t0:.1f}s): {detail}", flush=True)
            for program in programs:
                print(f"     log: {program.log_path}", flush=True)
        finally:
            for program in programs:
                program.close()
    suite.release_desktop()
    print(f"Screenshots: {', '.join(str(p) for p in sorted(suite.out.glob('*.png')))}")
    print(f"{passed} passed, {failed} failed ({time.monotonic() - began:.0f}s)")
    return 0 if failed == 0 and passed > 0 else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True, help="keyconfig.exe")
    parser.add_argument("--probe", required=True, help="keyconfig_probe.exe")
    parser.add_argument("--out", required=True, help="folder for working directories, logs and "
                        "screenshots")
    parser.add_argument("--only", nargs="*", help="run only scenarios whose name has one of these")
    return run(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
