#!/bin/sh
# Compares the export names of a DLL with the EXPORTS list of its .def file.
dll=$1
def=$2
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
got=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
want=$(sed -n '/^EXPORTS/,$p' "$def" | sed '1d; s/^ *//; /^$/d' | sort)
if [ "$got" != "$want" ]; then
  echo "exports differ; listed:"
  echo "$want"
  echo "exported:"
  echo "$got"
  exit 1
fi
echo "$(echo "$got" | wc -l) exports as listed"
