"""The end-to-end harness: the program under Wine, the probe, pixels, the stand-in pad, the
checks the scenarios share and the scenario registry. The scenarios live in scenarios_*.py."""

import os
import queue
import re
import shutil
import subprocess
import threading
import time
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


# Controllers through Wine's own stack: the stand-in controller library (tests/e2e/pad/pad.c) is
# Wine's SDL, so a controller is plugged in, moved and pulled out as Wine's device bus sees one,
# and everything from there on is Wine's: hidclass, the device-interface notifications, DirectInput.


# What Wine's DirectInput trace writes each time the program reads the keyboard, once a tick.
KEYBOARD_READ = re.compile(rb"dinput_device_GetDeviceState iface \w+, size 256,")


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


def discard_scenario(start, close):
    """Binds S to UP and closes the dialog with close: config.ini and its folder stay as they
    were."""
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
