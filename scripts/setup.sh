#!/usr/bin/env bash
# Idempotent set-up of everything the build, tests and benchmarks need:
#   1. Debian packages (GoogleTest, the ARM cross compiler and emulator, and
#      whatever EXTRA_APT names), installed only when missing;
#   2. a CPython 3.14 with headers: $PYTHON, else python3.14 on PATH, else a
#      private one provisioned once into the user's cache folder;
#   3. the virtual environment $VENV (default .venv) with the tools of
#      requirements-dev.txt, reinstalled only when that file changes.
# Prints the path of the environment's python on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
VENV=${VENV:-.venv}

apt_packages="libgtest-dev g++-aarch64-linux-gnu qemu-user-static ${EXTRA_APT:-}"
missing=()
for pkg in $apt_packages; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
done
if ((${#missing[@]})); then
    sudo=""; [[ $(id -u) == 0 ]] || sudo=sudo
    echo "setup: installing ${missing[*]}" >&2
    $sudo apt-get update -q </dev/null >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null >&2
fi

if [[ -n ${PYTHON:-} ]]; then
    base_python=$PYTHON
elif command -v python3.14 >/dev/null 2>&1 && python3.14 -c 'import sysconfig' >/dev/null 2>&1; then
    base_python=$(command -v python3.14)
else
    prefix=${XDG_CACHE_HOME:-$HOME/.cache}/plovane/python3.14
    scripts/provision-python.sh "$prefix" >&2
    base_python=$prefix/usr/bin/python3.14
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
