# Sourced by the Tarn-Rook end-to-end scripts: an installation of Lumivex with Tarn-Rook as its
# device module, as a user has it. rook_install <folder> <Lumivex.exe> <bin folder>
rook_install() {
  local install=$1 exe=$2 bin=$3 f
  mkdir -p "$install"
  for f in "$exe" "$bin/Tarn-Rook.dll" "$bin/TarnControl.dll" "$bin/LxKitSim.dll"; do cp "$f" "$install/"; done
  # The options: Tarn-Rook.dll beside the program, the NOR tools.
  "$root/scripts/options-record" "$install/setup.ini" Tarn-Rook.dll kind=nor
}
