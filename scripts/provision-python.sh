#!/usr/bin/env bash
# Provision a private CPython 3.14 (Debian sid binaries + their own sid glibc)
# into PREFIX on Debian 12, without installing or changing any system package.
# scripts/setup.sh calls this with a prefix under the user's cache folder.
#   usage: provision-python.sh PREFIX        (e.g. ~/.cache/plovane/python3.14)
#   then:  PREFIX/usr/bin/python3.14 -m venv VENV
# Re-runnable: exits early if PREFIX is already complete (FORCE=1 rebuilds).
# EXTRA_PKGS="..." adds more sid packages, e.g. the pure-Python
#   "python3-pytest python3-pluggy python3-iniconfig python3-packaging python3-pygments"
#   (they land in PREFIX/usr/lib/python3/dist-packages; use venv --system-site-packages).
# Runs as root or as any user (apt then downloads without its sandbox); needs
# dpkg, apt-get and network access to the Debian archive.
set -euo pipefail
source "$(dirname "$0")/private-apt.sh"

PREFIX=$(realpath -m "${1:?usage: $0 PREFIX}")
PY=$PREFIX/usr/bin/python3.14
# The multiarch triple and loader name of this machine (x86-64 or 64-bit ARM).
case $(dpkg --print-architecture) in
    amd64) TRIPLE=x86_64-linux-gnu; LOADER=ld-linux-x86-64.so.2 ;;
    arm64) TRIPLE=aarch64-linux-gnu; LOADER=ld-linux-aarch64.so.1 ;;
    *) echo "unsupported architecture: $(dpkg --print-architecture)" >&2; exit 1 ;;
esac
LIB=$PREFIX/usr/lib/$TRIPLE
STD=$PREFIX/usr/lib/python3.14
STAMP=$PREFIX/.py314-sysroot   # ownership marker + manifest; last line "complete" when done

if [[ $(tail -n1 "$STAMP" 2>/dev/null) == complete && -z ${FORCE:-} ]] && "$PY" -c 'import ssl' 2>/dev/null; then
    echo "already provisioned: $PY ($("$PY" -V))"; exit 0
fi
if [[ -e $PREFIX && ! -f $STAMP && -n $(ls -A "$PREFIX") ]]; then
    echo "refusing to overwrite non-empty $PREFIX (not made by this script)" >&2; exit 1
fi

PKGS="python3.14 python3.14-minimal python3.14-dev python3.14-venv
  libpython3.14 libpython3.14-minimal libpython3.14-stdlib libpython3.14-dev
  python3-pip-whl python3-setuptools-whl
  libc6 libgcc-s1 libstdc++6 libssl3t64 libffi8 libexpat1 zlib1g libsqlite3-0
  libbz2-1.0 liblzma5 libzstd1 libncursesw6 libtinfo6 libreadline8t64 libuuid1 libdb5.3t64
  ${EXTRA_PKGS:-}"

# --- 1. Download the .debs through a private, throw-away apt configuration
#     (sid for Python + libraries, this release for the patchelf tool): own
#     sources, index lists and cache in WORK, no post-update hooks.  Nothing
#     under /etc/apt, /var/lib/apt or /var/cache/apt is written.
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
URI=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
: "${URI:?no URIs: line in /etc/apt/sources.list.d/debian.sources}"
CODENAME=$(. /etc/os-release && echo "$VERSION_CODENAME")
for suite in sid "$CODENAME"; do
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $URI $suite main"
done > "$WORK/sources.list"
private_apt "$WORK"
APT=(apt-get -q -t sid -c "$WORK/apt.conf")
"${APT[@]}" update >/dev/null </dev/null
(cd "$WORK/debs" && "${APT[@]}" download $PKGS "patchelf/$CODENAME" >/dev/null)

# --- 2. Unpack into PREFIX (patchelf stays in WORK: it is only a tool).
rm -rf "$PREFIX"; mkdir -p "$PREFIX"; touch "$STAMP"
for deb in "$WORK"/debs/*.deb; do
    case $deb in
        */patchelf_*) dpkg -x "$deb" "$WORK/tool" ;;
        *) dpkg -x "$deb" "$PREFIX"; dpkg-deb -f "$deb" Package Version | paste -sd' ' >> "$STAMP" ;;
    esac
done

# --- 3. Make the interpreter use the private glibc: PT_INTERP + DT_RPATH
#     (RPATH, unlike RUNPATH, is also searched for the dependencies of
#     dlopen()ed extension modules).  Use the release's patchelf 0.14: sid's
#     0.18 writes overlapping LOAD segments into this non-PIE binary (segfault).
"$WORK/tool/usr/bin/patchelf" --set-interpreter "$LIB/$LOADER" --force-rpath --set-rpath "$LIB" "$PY"

# --- 4. Fix the few places where Debian hard-codes /usr.
#  a) pyconfig.h is a multiarch wrapper: #include <x86_64-linux-gnu/python3.14/pyconfig.h>
ln -sfn ../$TRIPLE "$PREFIX/usr/include/python3.14/$TRIPLE"
#  b) sysconfig build vars, .py and its .json twin (WHEEL_PKG_DIR is where
#     ensurepip/venv look for pip), and the PEP 739 build-details file
sed -i -E "s#^( *['\"](BINDIR|BINLIBDEST|CONFINCLUDEDIR|CONFINCLUDEPY|DESTLIB|DESTSHARED|EXENAME|INCLUDEDIR|INCLUDEPY|LIBDEST|LIBDIR|LIBPC|LIBPL|MACHDESTLIB|SCRIPTDIR|WHEEL_PKG_DIR|projectbase)['\"]: ['\"])/usr#\1$PREFIX/usr#" \
    "$STD"/_sysconfigdata__linux_$TRIPLE.py "$STD"/_sysconfig_vars__linux_$TRIPLE.json
sed -i -E "s#\"/usr([/\"])#\"$PREFIX/usr\1#" "$STD"/build-details.*.json
#  c) script shebangs
sed -i "1s|^#! */usr/bin/python3.14|#!$PY|" "$PREFIX"/usr/bin/py{doc,gettext}3.14

# --- 5. Byte-compile the stdlib (Debian does this in postinst), then check that
#     headers resolve, venv+pip work, every extension module loads and only
#     private libraries are mapped.
"$PY" -m compileall -q -j0 "$STD" >/dev/null
if command -v g++ >/dev/null; then echo '#include <Python.h>' | g++ -fsyntax-only -x c++ -I"$PREFIX/usr/include/python3.14" -; fi
"$PY" -m venv "$WORK/venv"
"$WORK/venv/bin/python" -m pip --version >/dev/null
"$PY" - "$PREFIX" <<'EOF'
import importlib, os, sys, sysconfig
prefix = sys.argv[1]
dyn = os.path.join(sys.prefix, "lib", "python3.14", "lib-dynload")
for f in sorted(os.listdir(dyn)):
    importlib.import_module(f.split(".")[0])
maps = {l.split()[-1] for l in open("/proc/self/maps") if ".so" in l}
outside = sorted(p for p in maps if not p.startswith(prefix + "/"))
assert not outside, f"libraries loaded from outside {prefix}: {outside}"
assert sysconfig.get_paths()["include"].startswith(prefix), sysconfig.get_paths()
print("ok:", sys.executable, sys.version.split()[0], "GIL disabled:", sysconfig.get_config_var("Py_GIL_DISABLED"))
EOF
echo complete >> "$STAMP"
