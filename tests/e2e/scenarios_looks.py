"""Scenarios of what the player sees: the dialog on a Western system and at each DPI."""

import os
import subprocess

from harness import *  # noqa: F403


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
