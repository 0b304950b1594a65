#!/usr/bin/env bash
# The export table of a DLL built from the slot list: exactly the expected names, undecorated
# (no leading underscore, no @n suffix of the stdcall convention).
set -euo pipefail
dll=$1; expected=$2
names=$(i686-w64-mingw32-objdump -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^\t\[/{print $NF} t&&/^$/{t=0}')
bad=$(printf '%s\n' "$names" | grep -E '^_|@' || true)
[ -z "$bad" ] || { echo "decorated export names: $bad"; exit 1; }
count=$(printf '%s\n' "$names" | grep -c . || true)
[ "$count" -eq "$expected" ] || { echo "expected $expected exports, found $count"; printf '%s\n' "$names"; exit 1; }
for n in gfslInit gfslrewinddir gfslDoSelfTest fpGetFunctionProfilerAccumulated; do
  printf '%s\n' "$names" | grep -qx "$n" || { echo "missing export $n"; exit 1; }
done
echo "$count undecorated exports"
