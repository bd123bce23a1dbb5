#!/bin/sh
# Redraws OrvaneInstaller's splash (bitmap 1129) and icon (1128) with ImageMagick. The
# PNGs are committed; run this only to change them:
#   sh resources/bitmaps/draw-installer-bitmaps.sh
set -eu
cd "$(dirname "$0")"
SANS_BOLD=/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf
SANS=/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf

# 1129: the splash, 320 x 240, 24 bits per pixel. A blue field, a handheld with a
# terminal on its screen, a cable to the desktop, and the product name.
convert -size 240x320 gradient:'rgb(20,40,150)'-'rgb(0,0,225)' -rotate -90 \
  -fill 'rgba(255,255,255,0.10)' -draw 'polygon 200,0 320,0 320,240 260,240' \
  -fill 'rgb(40,40,48)' -stroke 'rgb(200,205,230)' -strokewidth 2 -draw 'roundrectangle 28,52 118,200 10,10' \
  -fill 'rgb(225,238,225)' -stroke 'rgb(20,20,20)' -strokewidth 1 -draw 'rectangle 38,66 108,150' \
  -fill 'rgb(0,0,225)' -stroke none -draw 'rectangle 38,66 108,74' \
  -fill 'rgb(30,60,30)' -font "$SANS" -pointsize 8 \
  -annotate +42+86 'AT' -annotate +42+97 'OK' -annotate +42+108 'ATI3' -annotate +42+119 'OK' \
  -fill 'rgb(90,90,110)' -draw 'circle 73,176 73,166' -draw 'circle 48,178 48,172' -draw 'circle 98,178 98,172' \
  -stroke 'rgb(200,205,230)' -strokewidth 3 -fill none -draw 'bezier 118,176 150,176 140,212 176,212' \
  -stroke none -fill white -font "$SANS_BOLD" -pointsize 22 -annotate +138+78 'Orvane Port' \
  -pointsize 22 -annotate +138+104 'Linewright' \
  -fill 'rgb(200,210,255)' -font "$SANS" -pointsize 11 -annotate +138+130 'Serial command terminal' \
  -annotate +138+145 'for your Pocket PC' \
  -fill white -font "$SANS_BOLD" -pointsize 12 -annotate +180+216 'Installing...' \
  -fill 'rgb(200,210,255)' -font "$SANS" -pointsize 9 -annotate +196+232 'OrvaneInstaller 1.0' \
  -type TrueColor PNG24:1129.png

# 1128: the program icon, 32 x 32: a handheld with a blue arrow into it.
convert -size 32x32 xc:none \
  -fill 'rgb(40,40,48)' -stroke 'rgb(120,120,140)' -draw 'roundrectangle 9,2 25,30 3,3' \
  -fill 'rgb(225,238,225)' -stroke none -draw 'rectangle 11,5 23,20' \
  -fill 'rgb(0,0,225)' -draw 'rectangle 13,9 21,12' -draw 'polygon 11,12 23,12 17,18' \
  -fill 'rgb(140,140,160)' -draw 'circle 17,25 17,23' \
  PNG32:../icons/1128.png
