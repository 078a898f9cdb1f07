#!/bin/sh
# Makes the .deb from a finished build without compiling: installs it under /usr in the build's staging
# folder, strips the program and its sound module as Debian's tools do, and has CPack pack that folder.
# usage: build-deb.sh BUILD-DIR OUTPUT-DIR    (the package lands in OUTPUT-DIR)
set -eu
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
stage="$build/deb-stage"
rm -rf "$stage"
rm -f "$out"/pelmora_*.deb
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage/usr/bin/pelmora" \
    "$stage/usr/libexec/pelmora/pelmora-sound.so"
cd "$build"
cpack -G DEB -B "$out" >/dev/null
ls "$out"/pelmora_*.deb
