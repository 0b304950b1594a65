# Sourced by the Tarn-Rook end-to-end scripts: an installation of Lumivex with Tarn-Rook as its
# device module, as a user has it. rook_install <folder> <Lumivex.exe> <bin folder>
rook_install() {
  local install=$1 exe=$2 bin=$3 f
  mkdir -p "$install"
  for f in "$exe" "$bin/Tarn-Rook.dll" "$bin/TarnControl.dll" "$bin/LxKitSim.dll"; do cp "$f" "$install/"; done
  # The options: Tarn-Rook.dll beside the program, the NOR tools.
  python3 - "$install/setup.ini" <<'PY'
import sys
record = bytearray(3080)
name = b"Tarn-Rook.dll"
record[4:4 + len(name)] = name
record[516] = 1
open(sys.argv[1], "wb").write(record)
PY
}
