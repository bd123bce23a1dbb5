#!/bin/sh
# Redraws the bitmaps and icons of OrvanePort with ImageMagick. The PNGs are committed;
# run this only to change them:  sh resources/bitmaps/draw-bitmaps.sh
set -eu
cd "$(dirname "$0")"
BLUE='rgb(0,0,225)'
SANS_BOLD=/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf
SANS=/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf

# 130: the caption rule, blue over a pale shadow.  131: the group rule, etched grey.
convert -size 240x2 xc:'rgb(176,184,236)' -fill "$BLUE" -draw 'line 0,0 239,0' PNG24:130.png
convert -size 240x2 xc:white -fill 'rgb(128,128,128)' -draw 'line 0,0 239,0' PNG24:131.png

# 128: tool bar strip of 16 x 16 images: 0 export (a page with an arrow out), 1 help.
convert -size 128x16 xc:none \
  -fill white -stroke 'rgb(64,64,64)' -draw 'polygon 1,1 8,1 11,4 11,14 1,14' \
  -stroke 'rgb(64,64,64)' -draw 'line 8,1 8,4' -draw 'line 8,4 11,4' \
  -stroke 'rgb(120,120,120)' -draw 'line 3,6 8,6' -draw 'line 3,8 7,8' -draw 'line 3,10 8,10' \
  -stroke "$BLUE" -strokewidth 2 -draw 'line 8,11 14,11' \
  -strokewidth 1 -fill "$BLUE" -draw 'polygon 12,8 15,11 12,14' \
  -stroke "$BLUE" -fill "$BLUE" -draw 'circle 23.5,7.5 23.5,0.5' \
  -stroke none -fill white -font "$SANS_BOLD" -pointsize 12 -annotate +20+12 '?' \
  PNG32:128.png

# 141: banner near the bottom of the about box: a blue band with the product line.
convert -size 240x30 gradient:'rgb(0,0,225)'-'rgb(70,110,240)' -rotate -90 -resize 240x30! \
  -fill 'rgba(255,255,255,0.18)' -draw 'polygon 150,0 240,0 240,30 180,30' \
  -fill white -font "$SANS_BOLD" -pointsize 13 -annotate +10+19 'Port Linewright' \
  -font "$SANS" -pointsize 10 -annotate +150+19 'serial terminal' \
  PNG24:141.png

# 142: the logo at the top of the about box: the maker's wordmark with a line symbol.
convert -size 161x31 xc:none \
  -stroke "$BLUE" -strokewidth 3 -fill none -draw 'circle 15,15 15,4' \
  -strokewidth 2 -draw 'line 4,15 9,15' -draw 'line 21,15 26,15' \
  -stroke none -fill "$BLUE" -draw 'circle 15,15 15,11' \
  -fill "$BLUE" -font "$SANS_BOLD" -pointsize 22 -annotate +32+23 'ORVANE' \
  -fill 'rgb(90,90,90)' -font "$SANS" -pointsize 9 -annotate +130+23 'serial' \
  PNG32:142.png

# Icon 128 (32 x 32) and the application icon (64 x 64): a modem plug in a blue tile.
draw_icon() {
  size=$1; out=$2
  convert -size 64x64 xc:none \
    -fill "$BLUE" -stroke none -draw 'roundrectangle 2,2 61,61 10,10' \
    -fill white -draw 'polygon 12,20 52,20 46,40 18,40' \
    -fill "$BLUE" -draw 'circle 20,26 22,26' -draw 'circle 28,26 30,26' -draw 'circle 36,26 38,26' -draw 'circle 44,26 46,26' \
    -draw 'circle 24,33 26,33' -draw 'circle 32,33 34,33' -draw 'circle 40,33 42,33' \
    -fill white -draw 'rectangle 29,40 35,50' -draw 'rectangle 20,48 44,52' \
    -resize ${size}x${size} PNG32:"$out"
}
draw_icon 32 ../icons/128.png
draw_icon 64 ../icons/OrvanePort.png
