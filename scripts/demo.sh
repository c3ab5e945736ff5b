#!/usr/bin/env bash
# Builds both programs and walks through a translator's round trip on the
# sample shipped in samples/: split a data file through a TBL table, import
# it back unchanged (identical bytes), import an edited text (positions move),
# then patch a file with an fc /B listing and revert it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
echo "== building dataport and mendbin in build/ (the first build takes about a minute)"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target dataport mendbin -j"$(nproc 2>/dev/null || echo 2)"
dataport="$root/build/dataport/dataport"
mendbin="$root/build/mendbin/mendbin"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root"/samples/dataport/dialog.dat "$root"/samples/dataport/dialog.tbl "$work"/
cp "$root"/samples/mendbin/* "$work"/
cd "$work"

step() { printf '\n== %s\n' "$*"; }
header() { od -A d -t u4 -N "$1" "$2" | head -n 3; }

step "the data file: a 4440 header (count, then position and size per record) and three messages"
header 28 dialog.dat

step "split it into a DFile, converting through the table (-q: no trace on the screen)"
"$dataport" -q 4440 dialog.dat -t dialog.tbl dialog.txt
cat dialog.txt | tr -d '\r'

step "import the unedited text back: the result is the data file, byte for byte"
"$dataport" -q 4440 dialog.txt -i dialog.dat -t dialog.tbl rebuilt.dat
cmp dialog.dat rebuilt.dat && echo "rebuilt.dat is identical to dialog.dat"

step "edit the first message (longer) and import again: the later positions move, the gaps stay"
sed -i 's/The gate is open\./The great gate stands open./' dialog.txt
"$dataport" -q 4440 dialog.txt -i dialog.dat -t dialog.tbl edited.dat
echo "old header:"; header 28 dialog.dat
echo "new header:"; header 28 edited.dat

step "mendbin: apply an fc /B listing, then revert it"
cp greeting.bin patched.bin
"$mendbin" greeting.diff patched.bin && echo "applied:  $(cat patched.bin)"
"$mendbin" greeting.diff patched.bin -r && echo "reverted: $(cat patched.bin)"
cmp greeting.bin patched.bin && echo "patched.bin is identical to greeting.bin again"
