#!/bin/sh
# Renders the settings thumbnails of the saver bundles (90 x 58 points, at 1x and 2x) with the
# headless renderer, into city/ and campfire/ beside their Info.plist templates.
#   usage: platform/macos/make-thumbnails.sh path/to/duskmere-render [city] [campfire]
# With no scene named, renders both.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 path/to/duskmere-render [city] [campfire]" >&2
    exit 2
fi
render=$1
shift
here=$(cd "$(dirname "$0")" && pwd)

# thumbnail SCENE SEED FRAMES: a fixed seed, so the files change only when the scene does, and
# enough frames for windows, stars and fires to have come to life.
thumbnail() {
    "$render" --scene "$1" --seed "$2" --frames "$3" --bounds 90x58 --out "$here/$1/thumbnail.png"
    "$render" --scene "$1" --seed "$2" --frames "$3" --bounds 90x58@2 --out "$here/$1/thumbnail@2x.png"
}

[ $# -gt 0 ] || set -- city campfire
for scene in "$@"; do
    case $scene in
        city) thumbnail city 1 9000 ;;
        campfire) thumbnail campfire 1 900 ;;
        *) echo "$0: unknown scene '$scene' (city, campfire)" >&2; exit 2 ;;
    esac
done
