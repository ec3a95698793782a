"""Scenarios of keys: what binds, what never does, and the keys Windows would take."""


from harness import *  # noqa: F403


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
