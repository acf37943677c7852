#!/bin/sh
# Installs what building, running and testing need, from Debian's packages (run as root).
set -e
packages="build-essential cmake pkg-config git libsdl2-dev libmruby-dev mruby libphysfs-dev libopenal-dev
  libstb-dev liblodepng-dev libcjson-dev libcurl4-openssl-dev libcurl4 fonts-dejavu-core xvfb xdotool
  googletest libgtest-dev"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi
