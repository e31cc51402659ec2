#!/usr/bin/env bash
# Fails when one of the given Windows programs imports a DLL that Windows does not ship:
# linked -static, the programs must run from a folder with nothing else beside them. Wine
# has DLLs of its own that Windows lacks (zlib1.dll), so running them there cannot tell.
# Usage: system_imports.sh OBJDUMP FILE...
set -euo pipefail
objdump=$1
shift
system='^(advapi32|bcrypt|comctl32|comdlg32|crypt32|gdi32|kernel32|msvcrt|ole32|oleaut32|secur32|shell32|shlwapi|user32|uxtheme|version|winhttp|ws2_32)\.dll$'
status=0
for file in "$@"; do
  imports=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
  if [ -z "$imports" ]; then
    echo "$file: no imports found (not a Windows program?)"
    status=1
  fi
  for name in $imports; do
    if ! [[ $name =~ $system ]]; then
      echo "$(basename "$file") imports $name, which is not part of Windows"
      status=1
    fi
  done
done
[ $status = 0 ] && echo "only system DLLs imported by: $(for f in "$@"; do basename "$f"; done | tr '\n' ' ')"
exit $status
