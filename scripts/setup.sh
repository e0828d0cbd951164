#!/usr/bin/env bash
# Idempotent set-up of everything the build, tests and benchmarks need:
#   1. Debian or Ubuntu packages (a C++ compiler and make, GoogleTest, the ARM
#      cross compiler and emulator, and whatever EXTRA_APT names), installed
#      only when missing: as root directly, otherwise through sudo; without
#      either it stops and names the packages to install;
#   2. a CPython 3.14 with headers: $PYTHON, else python3.14 on PATH, else a
#      private one provisioned once into the user's cache folder;
#   3. the virtual environment $VENV (default .venv) with the tools of
#      requirements-dev.txt, reinstalled only when that file changes.
# Prints the path of the environment's python on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
VENV=${VENV:-.venv}

if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    echo "setup: this set-up is for Debian and Ubuntu (dpkg and apt-get not found)." >&2
    echo "setup: elsewhere, build and install with 'pip install .' (needs a C++20 compiler and CPython 3.14)." >&2
    exit 1
fi
apt_packages="g++ make libgtest-dev g++-aarch64-linux-gnu qemu-user-static ${EXTRA_APT:-}"
missing=()
for pkg in $apt_packages; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
done
if ((${#missing[@]})); then
    if [[ $(id -u) == 0 ]]; then
        sudo=()
    elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        sudo=(sudo -n)                   # sudo without a password
    elif command -v sudo >/dev/null 2>&1 && [[ -t 0 ]]; then
        sudo=(sudo)                      # sudo may ask for the password here
    else
        echo "setup: these packages are missing: ${missing[*]}" >&2
        echo "setup: installing them needs root, and this is user $(id -un) without usable sudo." >&2
        echo "setup: run as root:  apt-get install --no-install-recommends ${missing[*]}" >&2
        echo "setup: then run this again (or run it as root, or with sudo rights)." >&2
        exit 1
    fi
    echo "setup: installing ${missing[*]}${sudo:+ (through sudo)}" >&2
    "${sudo[@]}" apt-get update -q </dev/null >&2
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null >&2
fi

if [[ -n ${PYTHON:-} ]]; then
    base_python=$PYTHON
elif command -v python3.14 >/dev/null 2>&1 && python3.14 -c 'import sysconfig' >/dev/null 2>&1; then
    base_python=$(command -v python3.14)
else
    prefix=${XDG_CACHE_HOME:-$HOME/.cache}/plovane/python3.14
    if [[ ! -f /etc/apt/sources.list.d/debian.sources && $(tail -n1 "$prefix/.py314-sysroot" 2>/dev/null) != complete ]]; then
        echo "setup: no python3.14 on PATH, and the private one is provisioned from Debian's archive only." >&2
        echo "setup: on Ubuntu, install python3.14, python3.14-dev and python3.14-venv (e.g. from the" >&2
        echo "setup: deadsnakes PPA), or set PYTHON to a CPython 3.14 that has its headers." >&2
        exit 1
    fi
    scripts/provision-python.sh "$prefix" >&2
    base_python=$prefix/usr/bin/python3.14
fi

if ! "$base_python" -c 'import sys, sysconfig; assert sys.version_info[:2] == (3, 14)' 2>/dev/null; then
    echo "setup: $base_python is not a working CPython 3.14" >&2
    exit 1
fi

stamp="$VENV/.plovane-setup"
want="$("$base_python" -c 'import sys; print(sys.executable, sys.version)') $(sha256sum requirements-dev.txt | cut -d' ' -f1)"
if [[ ! -x $VENV/bin/python || $(cat "$stamp" 2>/dev/null) != "$want" ]]; then
    echo "setup: creating $VENV on $base_python" >&2
    rm -rf "$VENV"
    "$base_python" -m venv "$VENV" >&2
    "$VENV/bin/python" -m pip install -q --disable-pip-version-check -r requirements-dev.txt >&2
    echo "$want" > "$stamp"
fi
echo "$VENV/bin/python"
