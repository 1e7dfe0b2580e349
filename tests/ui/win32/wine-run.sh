#!/usr/bin/env bash
# Runs one Windows test program under Wine with a time limit, so that no hang can stall
# the test run. WINEPREFIX, WINEDEBUG and the display come from the caller.
exec timeout --kill-after=10 "${KESTRAVON_WINE_TIMEOUT:-600}" wine "$@"
