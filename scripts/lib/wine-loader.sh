# Sourced by the scripts that start Wine. The wine command starts Wine's 32-bit loader
# whenever wine32 is installed, and on a kernel without 32-bit support (seen on some virtual
# machines) that loader cannot start at all, so no Windows program would run. There
# `wine_loader_setup` puts a wine command of its own first on PATH that starts the 64-bit
# loader, which runs every 64-bit program; `wine_runs_32bit` tells whether 32-bit programs
# can run.

wine_runs_32bit() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

wine_loader_setup() {
  [ -x /usr/lib/wine/wine ] && [ -x /usr/lib/wine/wine64 ] || return 0
  wine_runs_32bit && return 0
  local dir=${XDG_CACHE_HOME:-$HOME/.cache}/qzupdate/wine64-loader
  mkdir -p "$dir"
  local name
  # wineboot and the other tools start "wine-stable" by name.
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
      >"$dir/$name"
    chmod +x "$dir/$name"
  done
  case ":$PATH:" in *":$dir:"*) ;; *) export PATH="$dir:$PATH" ;; esac
}
