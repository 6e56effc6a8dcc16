#!/bin/sh
# Runs a Windows program under Wine in the project's own prefix, quietly.
# Used as CMake's cross-compiling emulator and by the scripts.
set -e
: "${LUMIDART_WINEPREFIX:=${HOME}/.local/share/lumidart/wine}"
export WINEPREFIX="$LUMIDART_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts in a fresh prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"
exec wine "$@"
