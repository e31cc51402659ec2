#!/bin/sh
# Archives written by the zip command, as vendors make them, into the folder $1:
#   nested.zip    bin/vq.exe, data/Help/Vq.chm and Readme.txt with their folders
#   streamed.zip  written from a pipe: sizes after the data, zip64 local headers
set -eu
out=$1
rm -rf "$out"
mkdir -p "$out/src/bin" "$out/src/data/Help"
printf 'new program' >"$out/src/bin/vq.exe"
printf 'help' >"$out/src/data/Help/Vq.chm"
printf 'readme' >"$out/src/Readme.txt"
(cd "$out/src" && zip -q -r ../nested.zip .)
seq 1 20000 | zip -q "$out/streamed.zip" -
rm -rf "$out/src"
