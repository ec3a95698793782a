#!/usr/bin/env bash
# Checks that Windows programs carry the application manifest and that it asks for no execution
# level. Any requestedExecutionLevel turns off UAC file virtualization for the program; the game
# that reads config.ini is an old program that Windows virtualizes, so under Program Files the two
# would read and write different files. Usage: scripts/check_manifest.sh PROGRAM.exe...
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 PROGRAM.exe..." >&2
    exit 2
fi

# The manifest resource is the manifest's own UTF-8 text, so it is found in the program's bytes.
status=0
for exe in "$@"; do
    if ! grep -q 'Microsoft.Windows.Common-Controls' "$exe"; then
        echo "FAIL $exe: no application manifest found" >&2
        status=1
    elif grep -q '<requestedExecutionLevel' "$exe"; then
        echo "FAIL $exe: the manifest asks for an execution level (requestedExecutionLevel)" >&2
        status=1
    else
        echo "ok   $exe: manifest without an execution level"
    fi
done
exit $status
