#!/bin/sh
# Installs what building, running and testing need, from Debian's packages (run as root),
# and fetches the interpreter's source (Debian's mruby 3.1.0) into .cache/ of the checkout.
set -e
cd "$(dirname "$0")/.."
packages="build-essential cmake pkg-config git libsdl2-dev libphysfs-dev libopenal-dev
  libstb-dev liblodepng-dev libcjson-dev libcurl4-openssl-dev libcurl4 fonts-dejavu-core xvfb xfonts-base xdotool libx11-dev zip
  googletest libgtest-dev ninja-build ruby rake bison dpkg-dev openssl python3"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

source=.cache/mruby-3.1.0
version_of() {
  sed -n 's/^#define MRUBY_RELEASE_\(MAJOR\|MINOR\|TEENY\) \([0-9]*\).*/\2/p' "$1/include/mruby/version.h" 2>/dev/null | paste -sd.
}
[ "$(version_of "$source")" = 3.1.0 ] && exit 0
rm -rf "$source"
# Source packages come from the deb-src twins of the Debian sources already configured.
if [ -z "$(apt-cache showsrc mruby 2>/dev/null)" ]; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  fi
  if [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
    grep '^deb .*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' >> /etc/apt/sources.list
  fi
  apt-get update
fi
mkdir -p .cache
fetch=$(mktemp -d .cache/fetch.XXXXXX)
(cd "$fetch" && apt-get source -q mruby)
version=$(version_of "$fetch/mruby-3.1.0")
if [ "$version" != 3.1.0 ]; then
  echo "install-deps: Debian's mruby source is ${version:-missing}, the runtime needs 3.1.0" >&2
  rm -rf "$fetch"
  exit 1
fi
mv "$fetch/mruby-3.1.0" "$source"
rm -rf "$fetch"
