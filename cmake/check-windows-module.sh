#!/usr/bin/env bash
# check-windows-module.sh <objdump> <module> [<def>]
# A shipped module exports exactly the names of its .def file and imports only
# from DLLs that every Windows installation has (no compiler runtime DLLs).
set -uo pipefail
objdump=$1 mod=$2 def=${3:-}
name=$(basename "$mod")
dump=$("$objdump" -p "$mod") || { echo "FAIL $name: unreadable"; exit 1; }
status=0

allowed='^(kernel32|user32|gdi32|advapi32|winspool\.drv|shell32|shlwapi|comctl32|compstui|comdlg32|ws2_32|wsock32|ole32|oleaut32|setupapi|newdev|difxapi|wtsapi32|userenv|version|msvcrt|ntdll|rpcrt4|secur32|iphlpapi|hhctrl\.ocx|spoolss|imm32|uxtheme|crypt32|bcrypt)(\.dll)?$'
while read -r dll; do
  lower=$(echo "$dll" | tr 'A-Z' 'a-z')
  if ! [[ $lower =~ $allowed ]]; then
    echo "FAIL $name: imports $dll"
    status=1
  fi
done < <(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')

if [ -n "$def" ]; then
  want=$(awk 'BEGIN{e=0} /^[ \t]*;/ {next} /^EXPORTS/ {e=1; next} /^(LIBRARY|NAME|SECTIONS|VERSION|DESCRIPTION)/ {e=0} e && NF {sub(/[=@ \t].*/, "", $1); print $1}' "$def" | sort -u)
  have=$(echo "$dump" | awk '/Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[ \t]*\[/ {print $NF; next} t {t=0}' | sort -u)
  if [ "$want" != "$have" ]; then
    echo "FAIL $name: exports differ from $(basename "$def")"
    diff <(echo "$want") <(echo "$have") | sed 's/^/    /'
    status=1
  fi
fi
[ $status -eq 0 ] && echo "ok   $name"
exit $status
