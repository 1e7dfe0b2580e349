#!/usr/bin/env bash
# Draws icon 128 (16, 24, 32, 48 and 256 pixels) and bitmap 130 (the 940 x 70 banner)
# with ImageMagick. Run once when the artwork changes; the PNGs are committed.
set -euo pipefail
cd "$(dirname "$0")"

# Icon: a rust-red planet with craters and an orbit ring, marked with a bold "K",
# on a dark rounded square so it reads on light and dark panels alike.
convert -size 256x256 xc:none \
  -fill '#15182a' -draw 'roundrectangle 8,8 247,247 44,44' \
  \( -size 256x256 radial-gradient:'#ffa15c'-'#7a200c' -crop 256x256+0+0 \
     \( -size 256x256 xc:black -fill white -draw 'circle 128,130 128,42' \) \
     -alpha off -compose copy_opacity -composite \) -compose over -composite \
  -fill '#6b2410' -stroke none \
     -draw 'circle 88,96 88,112' -draw 'circle 168,176 168,188' -draw 'circle 160,86 160,94' \
     -draw 'circle 104,190 104,198' \
  -fill none -stroke '#ffd9a8' -strokewidth 8 -draw 'ellipse 128,134 122,30 196,344' \
  -stroke '#15182a' -strokewidth 10 -fill '#f7f3ec' -font Helvetica-Bold -pointsize 132 \
     -gravity center -annotate +2+4 'K' \
  -stroke none -fill '#f7f3ec' -annotate +2+4 'K' \
  -depth 8 icon_256.png
for s in 48 32 24 16; do
  convert icon_256.png -filter Lanczos -resize ${s}x${s} -unsharp 0x0.6 -depth 8 icon_${s}.png
done

# Banner: a dusk sky over the dunes of a red planet, with the machine's name.
convert -size 940x70 gradient:'#251526'-'#b4482a' -rotate 0 \
  \( -size 70x940 gradient:'#10142a'-'#7c2a1c' -rotate -90 \) -compose blend \
     -define compose:args=55 -composite \
  -fill '#e8b27a' -draw 'circle 62,35 62,9' \
  -fill '#c4733f' -draw 'circle 54,28 54,22' -fill '#c4733f' -draw 'circle 72,44 72,40' \
  -fill '#4a1a12' -draw 'path "M 0,70 L 0,58 Q 120,46 240,56 T 480,54 T 720,52 T 940,50 L 940,70 Z"' \
  -fill '#2c0f0b' -draw 'path "M 0,70 L 0,64 Q 160,56 320,64 T 640,62 T 940,60 L 940,70 Z"' \
  -fill '#ffffff' -draw 'point 300,8' -draw 'point 420,14' -draw 'point 610,6' \
     -draw 'point 770,18' -draw 'point 880,9' -draw 'point 520,22' -draw 'point 150,12' \
  -font Helvetica-Bold -pointsize 30 -fill '#f6efe4' -stroke '#1a0c0a' -strokewidth 1 \
     -annotate +112+40 'KESTRAVON MINER V2' \
  -stroke none -font Helvetica -pointsize 13 -fill '#f2c9a0' \
     -annotate +116+58 'MARS MINING NETWORK  -  machine client 0.216' \
  -alpha off -type TrueColor -depth 8 banner_130.png
