#!/usr/bin/python3
"""End-to-end tests of keyconfig.exe under Wine.

Drives the real program as a player does: starts it in a fresh working directory, clicks fields
and buttons at the positions the program reports, holds keys down and lets them go through the X
server, presses message box buttons, then reads the dialog through keyconfig_probe.exe (control
texts, visibility, focus, message boxes) and the bytes of config.ini. Where what matters is what a
player sees (text cut off, Japanese drawn as boxes, a warning in red), the scenarios read the
pixels of a screenshot within the places the probe reports. Every wait polls for a state and
gives up at a deadline.

The harness is harness.py; the scenarios are grouped by what they cover in scenarios_*.py, each
group registering its own, and they play group by group. Run by tests/e2e/run_e2e.sh, which
provides the X server (DISPLAY) and the Wine prefix (WINEPREFIX, WINELOADER, WINEDLLOVERRIDES).
"""

import argparse
import sys
import time
import traceback

from harness import Failure, Program, SCENARIOS, Suite
import scenarios_saving  # noqa: F401 (each group registers its scenarios)
import scenarios_keys  # noqa: F401
import scenarios_controllers  # noqa: F401
import scenarios_looks  # noqa: F401


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
