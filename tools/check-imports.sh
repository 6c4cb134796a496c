#!/usr/bin/env bash
# Checks that a Windows executable imports only DLLs that every Windows has, so that the
# .scr runs when copied alone into the system folder (no mingw runtime DLLs beside it).
# With --max-bytes, each file must also be stripped (no symbols, no debug sections), at
# most that many bytes long and import no function that fakes input (Windows counts it as
# the user's activity, which keeps the display and the PC awake), as a shipped build is.
#   check-imports.sh [--max-bytes N] FILE...
set -euo pipefail
max_bytes=""
if [ "${1:-}" = --max-bytes ]; then
  max_bytes=${2:?usage: $0 [--max-bytes N] FILE...}
  shift 2
fi
[ $# -gt 0 ] || { echo "usage: $0 [--max-bytes N] FILE..." >&2; exit 2; }

# Either objdump reads both PE formats; take whichever is installed.
objdump=""
for candidate in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump; do
  if command -v "$candidate" >/dev/null 2>&1; then objdump=$candidate; break; fi
done
[ -n "$objdump" ] || { echo "check-imports: no mingw objdump found" >&2; exit 2; }

# The Universal CRT (ucrtbase.dll, api-ms-win-crt-*.dll) is not among them: Windows 7
# has it only after an update, so a build that links against it is refused.
allowed='^(kernel32|user32|gdi32|advapi32|shlwapi|comctl32|ole32|oleaut32|msvcrt|shell32|comdlg32)\.dll$'

status=0
for file in "$@"; do
  bytes=""
  if [ ! -f "$file" ]; then
    echo "check-imports: $file: missing" >&2
    status=1
    continue
  fi
  if ! dump=$("$objdump" -p "$file" 2>&1); then
    echo "check-imports: $file: objdump failed: $dump" >&2
    status=1
    continue
  fi
  if [ -n "$max_bytes" ]; then
    bytes=$(stat -c %s "$file")
    if [ "$bytes" -gt "$max_bytes" ]; then
      echo "check-imports: $file: $bytes bytes, more than $max_bytes" >&2
      status=1
    fi
    faking=$(grep -owE 'SendInput|keybd_event|mouse_event' <<<"$dump" | sort -u | tr '\n' ' ' || true)
    if [ -n "$faking" ]; then
      echo "check-imports: $file: imports input that fakes the user's: $faking" >&2
      status=1
    fi
    if ! grep -q 'symbols stripped' <<<"$dump" || "$objdump" -h "$file" | grep -q '\.debug'; then
      echo "check-imports: $file: not stripped (symbols or debug sections left)" >&2
      status=1
    fi
  fi
  dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r' | tr 'A-Z' 'a-z' | sort -u)
  if [ -z "$dlls" ]; then
    # Every real Windows program imports at least kernel32: no list means a misread.
    echo "check-imports: $file: no imports found" >&2
    status=1
    continue
  fi
  bad=$(printf '%s\n' "$dlls" | grep -Ev "$allowed" || true)
  if [ -n "$bad" ]; then
    echo "check-imports: $file imports DLLs that are not part of Windows:" >&2
    printf '  %s\n' $bad >&2
    status=1
  else
    echo "check-imports: $file: ${bytes:+$bytes bytes, }$(printf '%s ' $dlls)"
  fi
done
exit $status
