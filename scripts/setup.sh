#!/usr/bin/env bash
# Installs, from Debian's packages, whatever this project needs and the machine lacks.
# Idempotent: a second run installs nothing and takes a second.
#
# Both Wines: wine64 runs the x86_64 programs, wine32 (Debian's i386 architecture) the i686
# ones, the shipped program among them, in 32-bit prefixes. The unix locale ru_RU.UTF-8 gives
# a Wine process the ANSI code page 1251 and lets it read accented unix file names.
set -euo pipefail
[ "$(id -u)" = 0 ] && SUDO="" || SUDO="sudo"

pkgs=(cmake ninja-build g++ git pkg-config
      g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
      g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32
      wine64 wine32:i386 fonts-wine xvfb xauth x11-utils imagemagick locales
      googletest libgtest-dev libjpeg-dev dpkg-dev)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# libjpeg-turbo's source package is built for the Windows targets: deb-src must be enabled.
enable_deb_src() {
  local f=/etc/apt/sources.list.d/debian.sources
  if [ -f "$f" ] && ! grep -q '^Types:.*deb-src' "$f"; then
    $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"
    return 0
  fi
  if [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee -a /etc/apt/sources.list >/dev/null
    return 0
  fi
  return 1
}
changed=0
enable_deb_src && changed=1
# wine32 comes from the i386 architecture, which a fresh amd64 machine does not list.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  changed=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $changed = 1 ] || [ ! -d /var/lib/apt/lists ] || \
   ! ls /var/lib/apt/lists/*Sources* >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# localedef writes the locale archive; `locale -a` lists it as ru_RU.utf8.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf-\?8'; then
  echo "setup: generating the locale ru_RU.UTF-8"
  $SUDO localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
echo "setup: all packages present"
