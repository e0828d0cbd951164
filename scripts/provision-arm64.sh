#!/usr/bin/env bash
# Provision a private 64-bit ARM sysroot from Debian sid into PREFIX, for the
# cross-compiled aarch64 wheel: CPython 3.14's arm64 headers to build against,
# and an arm64 python3.14 with the libraries it loads, to run the wheel under
# `qemu-aarch64-static -L PREFIX`. Nothing on the system is installed or changed.
#   usage: provision-arm64.sh PREFIX      (scripts/wheel.sh uses ~/.cache/plovane/arm64-sysroot)
#   then:  qemu-aarch64-static -L PREFIX PREFIX/usr/bin/python3.14 -c '...'
#          headers in PREFIX/usr/include/python3.14 (pyconfig.h picks aarch64 by itself)
# Re-runnable: exits early if PREFIX is already complete (FORCE=1 rebuilds).
# Runs as root or as any user (apt then downloads without its sandbox); needs
# dpkg, apt-get and network access to the Debian archive.
set -euo pipefail
source "$(dirname "$0")/private-apt.sh"

PREFIX=$(realpath -m "${1:?usage: $0 PREFIX}")
STAMP=$PREFIX/.arm64-sysroot   # ownership marker + manifest; last line "complete" when done
PY=$PREFIX/usr/bin/python3.14

if [[ $(tail -n1 "$STAMP" 2>/dev/null) == complete && -z ${FORCE:-} && -x $PY ]]; then
    echo "already provisioned: $PREFIX"; exit 0
fi
if [[ -e $PREFIX && ! -f $STAMP && -n $(ls -A "$PREFIX") ]]; then
    echo "refusing to overwrite non-empty $PREFIX (not made by this script)" >&2; exit 1
fi

PKGS="python3.14-minimal libpython3.14-minimal libpython3.14-stdlib libpython3.14-dev
  libc6 libgcc-s1 libstdc++6 zlib1g libexpat1 libffi8 libssl3t64 libzstd1 liblzma5
  libbz2-1.0 libuuid1 libsqlite3-0 libncursesw6 libtinfo6 libreadline8t64 libmpdec4"

# --- 1. Download the arm64 .debs through a private, throw-away apt
#     configuration (own sources, index lists and cache in WORK; nothing under
#     /etc/apt, /var/lib/apt or /var/cache/apt is written).
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
URI=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
: "${URI:?no URIs: line in /etc/apt/sources.list.d/debian.sources}"
echo "deb [arch=arm64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $URI sid main" > "$WORK/sources.list"
private_apt "$WORK" 'APT::Architectures { "arm64"; };'
APT=(apt-get -q -c "$WORK/apt.conf")
"${APT[@]}" update >/dev/null </dev/null
# A package the archive no longer has under that name is reported, not fatal:
# the run below shows whether the interpreter still starts without it.
wanted=()
for pkg in $PKGS; do
    if apt-cache -c "$WORK/apt.conf" show "$pkg:arm64" >/dev/null 2>&1 </dev/null; then wanted+=("$pkg:arm64")
    else echo "provision-arm64: sid has no $pkg for arm64, skipped" >&2; fi
done
(cd "$WORK/debs" && "${APT[@]}" download "${wanted[@]}" >/dev/null </dev/null)

# --- 2. Unpack into PREFIX; the loader is looked up as /lib/ld-linux-aarch64.so.1.
rm -rf "$PREFIX"; mkdir -p "$PREFIX"; touch "$STAMP"
for deb in "$WORK"/debs/*.deb; do
    dpkg -x "$deb" "$PREFIX"
    dpkg-deb -f "$deb" Package Version Architecture | paste -sd' ' >> "$STAMP"
done
for dir in lib lib64; do
    [[ -e $PREFIX/$dir ]] || ln -s usr/lib "$PREFIX/$dir"
done
# pyconfig.h is a multiarch wrapper: #include <aarch64-linux-gnu/python3.14/pyconfig.h>,
# found next to it so that only -I PREFIX/usr/include/python3.14 is needed.
ln -sfn ../aarch64-linux-gnu "$PREFIX/usr/include/python3.14/aarch64-linux-gnu"

# --- 3. The interpreter starts under emulation and finds its standard library.
if command -v qemu-aarch64-static >/dev/null; then
    qemu-aarch64-static -L "$PREFIX" "$PY" -c 'import sys, platform, json, zlib; print("ok:", sys.version.split()[0], platform.machine())'
fi
echo complete >> "$STAMP"
