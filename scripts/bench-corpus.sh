#!/usr/bin/env bash
# Gathers the benchmark corpus into bench/data (git-ignored):
#   1. installs the Debian data packages the real documents come from, when missing
#      (GObject-introspection .gir files, shared-mime-info's database, wayland protocol,
#      iso-codes, xkb rules, Tango icons and Inkscape tutorials as SVG);
#   2. copies the usable documents (bench/collect.py decides which) into bench/data;
#   3. generates the attribute-heavy and text-heavy documents (bench/generate.py).
# Idempotent: when the stamp says that nothing it depends on changed, it does nothing;
# otherwise each step still skips files that are already in place.
# Usage: scripts/bench-corpus.sh [PYTHON]   (a python with lxml; default .venv/bin/python)
set -euo pipefail
cd "$(dirname "$0")/.."
PY=${1:-.venv/bin/python}
DATA=bench/data

packages="libgirepository1.0-dev libgstreamer1.0-dev shared-mime-info iso-codes xkb-data
          libwayland-dev wayland-protocols tango-icon-theme inkscape-tutorials"

inputs() {
    sha256sum scripts/bench-corpus.sh bench/collect.py bench/generate.py bench/common.py
    dpkg-query -W $packages 2>/dev/null || true
}
stamp=$DATA/.corpus-stamp
want=$(inputs | sha256sum | cut -d' ' -f1)
if [[ -f $stamp && $(cat "$stamp") == "$want" && -f $DATA/real.json && -f $DATA/generated.json ]]
then
    echo "corpus: up to date in $DATA" >&2
    exit 0
fi

sudo=""
[[ $(id -u) == 0 ]] || sudo=sudo
can_install=yes
if [[ -n $sudo ]] && ! command -v sudo >/dev/null; then
    can_install=no
fi

# apt-get waits up to a minute for another process's dpkg lock; a failure beyond that
# (a lock held longer, a network hiccup) is retried a few times.
apt_retry() {
    local attempt
    for attempt in 1 2 3 4 5; do
        if $sudo env DEBIAN_FRONTEND=noninteractive apt-get -q -o DPkg::Lock::Timeout=60 \
            "$@" </dev/null >&2; then
            return 0
        fi
        echo "corpus: apt-get $1 failed (attempt $attempt), retrying in 20 s" >&2
        sleep 20
    done
    return 1
}

missing=()
for pkg in $packages; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
done
if ((${#missing[@]})) && [[ $can_install == no ]]; then
    echo "corpus: not root and no sudo; left out: ${missing[*]}" >&2
elif ((${#missing[@]})); then
    echo "corpus: installing ${missing[*]}" >&2
    apt_retry update || echo "corpus: apt-get update failed; trying the cached lists" >&2
    # One at a time, so that a package this release lacks costs only its own documents.
    for pkg in "${missing[@]}"; do
        if ! apt-cache show "$pkg" >/dev/null 2>&1; then
            echo "corpus: no package $pkg in this release; its documents are left out" >&2
            continue
        fi
        apt_retry install -y --no-install-recommends "$pkg" ||
            echo "corpus: could not install $pkg; its documents are left out" >&2
    done
fi

mkdir -p "$DATA"
"$PY" bench/collect.py "$DATA"
"$PY" bench/generate.py "$DATA"
inputs | sha256sum | cut -d' ' -f1 >"$stamp"
echo "corpus: ready in $DATA ($(du -sh "$DATA" | cut -f1))" >&2
