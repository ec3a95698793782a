"""Scenarios of saving: the file created, read, written or kept, and where it is."""

import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from harness import *  # noqa: F403


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


@scenario()
def cancel_discards(start):
    discard_scenario(start, lambda program, state: program.click_control(ID_CANCEL))


@scenario()
def close_box_discards(start):
    def click_close_box(program, state):
        check(state.closebox is not None, "the dialog has no close box")
        program.click(*state.closebox)
    discard_scenario(start, click_close_box)


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
