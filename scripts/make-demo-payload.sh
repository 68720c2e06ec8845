#!/usr/bin/env bash
# Writes the demo payload: a made-up application of a few hundred files in
# bin/, lib/, plugins/, docs/, images/, data/, locale/ and samples/, with a
# small program (bin/demo, run through the link demo) and an empty folder
# (plugins/user), the same bytes and dates on every run.   Usage: scripts/make-demo-payload.sh DIR
set -euo pipefail
out=${1:?usage: make-demo-payload.sh DIR}
rm -rf "$out"
mkdir -p "$out"
export LC_ALL=C

# One awk program writes every file, from a fixed-seed generator: text files
# from a small vocabulary, binary files as runs of noise and repeated records
# so that they compress about as well as real programs do.
awk -v out="$out" '
function rnd(n) { seed = (seed * 1103515245 + 12345) % 2147483648; return int(seed / 65536) % n }
function word() { return words[rnd(nwords) + 1] }
function sentence(   s, i, n) {
  n = 6 + rnd(10); s = word(); s = toupper(substr(s, 1, 1)) substr(s, 2)
  for (i = 1; i < n; i++) s = s " " word()
  return s "."
}
function paragraph(   p, i, n) { n = 3 + rnd(5); p = sentence(); for (i = 1; i < n; i++) p = p " " sentence(); return p }
function mkdirp(d) { if (!(d in made)) { system("mkdir -p \"" out "/" d "\""); made[d] = 1 } }
function textfile(path, paragraphs,   i, f) {
  f = out "/" path
  for (i = 0; i < paragraphs; i++) print paragraph() "\n" > f
  close(f)
}
function binfile(path, size,   f, i, b, run) {
  f = out "/" path
  i = 0
  while (i < size) {
    if (rnd(3) == 0) {          # noise
      run = 64 + rnd(512)
      for (b = 0; b < run && i < size; b++) { printf "%c", rnd(256) > f; i++ }
    } else {                    # a repeated record
      run = 16 + rnd(48); rec = ""
      for (b = 0; b < 8; b++) rec = rec sprintf("%c", 32 + rnd(90))
      for (b = 0; b < run && i < size; b += 8) { printf "%s", rec > f; i += 8 }
    }
  }
  close(f)
}
BEGIN {
  seed = 20240601
  nwords = split("setup install file directory volume archive data program window option user system " \
                 "module library plugin driver service folder document image report table record value " \
                 "network printer screen colour font page print save open close update backup restore " \
                 "the a of to and in for with on by from is are be can will may", words, " ")
  apps = split("demo demoedit demoview democonv demosync", app, " ")

  mkdirp("bin")
  for (i = 1; i <= apps; i++) binfile("bin/" app[i] ".exe", 40000 + rnd(120000))
  binfile("bin/uninstall.exe", 30000)
  mkdirp("lib")
  for (i = 1; i <= 40; i++) binfile(sprintf("lib/demo%s%02d.dll", substr("coreguinetsqlxml", 1 + 4 * rnd(4), 4), i), 2000 + rnd(30000))
  mkdirp("plugins/import"); mkdirp("plugins/export")
  for (i = 1; i <= 25; i++) binfile(sprintf("plugins/import/in%02d.dpl", i), 1000 + rnd(9000))
  for (i = 1; i <= 25; i++) binfile(sprintf("plugins/export/out%02d.dpl", i), 1000 + rnd(9000))
  mkdirp("docs/manual"); mkdirp("docs/api")
  textfile("docs/README.TXT", 6); textfile("docs/LICENSE.TXT", 12); textfile("docs/CHANGES.TXT", 20)
  for (i = 1; i <= 30; i++) textfile(sprintf("docs/manual/chapter%02d.txt", i), 4 + rnd(12))
  for (i = 1; i <= 60; i++) textfile(sprintf("docs/api/topic%03d.txt", i), 1 + rnd(5))
  mkdirp("images/icons"); mkdirp("images/backgrounds")
  for (i = 1; i <= 60; i++) binfile(sprintf("images/icons/icon%02d.bmp", i), 766 + rnd(3000))
  for (i = 1; i <= 8; i++) binfile(sprintf("images/backgrounds/back%d.bmp", i), 20000 + rnd(60000))
  mkdirp("data")
  for (i = 1; i <= 20; i++) {
    f = sprintf("%s/data/table%02d.csv", out, i)
    for (r = 0; r < 50 + rnd(300); r++) printf "%d;%s;%s;%d.%02d\n", r, word(), word(), rnd(10000), rnd(100) > f
    close(f)
  }
  split("de en es fr it nl pt sv", langs, " ")
  for (l = 1; l <= 8; l++) {
    mkdirp("locale/" langs[l])
    f = out "/locale/" langs[l] "/demo_" langs[l] ".po"
    for (r = 0; r < 120; r++) printf "msgid \"%s\"\nmsgstr \"%s\"\n\n", sentence(), sentence() > f
    close(f)
  }
  mkdirp("samples/letters"); mkdirp("samples/sheets")
  for (i = 1; i <= 15; i++) textfile(sprintf("samples/letters/letter%02d.txt", i), 2 + rnd(4))
  for (i = 1; i <= 10; i++) binfile(sprintf("samples/sheets/sheet%02d.dsh", i), 3000 + rnd(20000))
  textfile("demo.ini", 1)
}'

# A program that runs once installed (a script: it runs on any machine),
# started through a link at the top, and a folder that ships empty.
cat >"$out/bin/demo" <<'SCRIPT'
#!/bin/sh
# Says where it runs from: the folder above bin/, wherever it was started.
here=$(dirname "$(readlink -f "$0")")
echo "Demo Office runs from $(cd "$here/.." && pwd -P)"
SCRIPT
chmod 0755 "$out/bin/demo"
# The icon of its menu entry: a 48x48 PNG (a size the icon theme has a folder
# for), a white page on a blue square, the same bytes every run.
python3 - "$out/images/demo.png" <<'PY'
import struct, sys, zlib
size = 48
rows = []
for y in range(size):
    row = bytearray([0])
    for x in range(size):
        page = 14 <= x < 34 and 12 <= y < 36
        row += bytes((255, 255, 255, 255) if page else (0x1c, 0x4f, 0xa0, 255))
    rows.append(bytes(row))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY
ln -s bin/demo "$out/demo"
mkdir -p "$out/plugins/user"

# Every file the same modification time, so the archive is the same each run.
find "$out" -exec touch -h -d "2024-06-01 12:00:00" {} +
echo "payload: $(find "$out" -type f | wc -l) files, $(du -sk "$out" | cut -f1) KiB in $out"
