#!/bin/sh
# Makes a TrueType font that no system font shadows: DejaVu Sans (SOURCE) renamed "Velmor Sans"
# in its name table, written to TARGET. The names keep their lengths, so the tables stay valid.
set -e
perl -0777 -pe 's/D\0e\0j\0a\0V\0u/V\0e\0l\0m\0o\0r/g; s/DejaVu/Velmor/g' "$1" >"$2.part"
mv "$2.part" "$2"
