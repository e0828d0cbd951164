"""Lists the symbols of a wheel's shared objects whose versions a manylinux
tag does not allow, according to auditwheel's own policy for that tag.

    python wheel_symbols.py WHEEL TAG ARCH     (e.g. manylinux_2_28 x86_64)

Prints one line per symbol: name, version, shared object; exits 1 if any."""

import json
import re
import subprocess
import sys
import tempfile
import zipfile
from importlib import resources
from pathlib import Path

UNDEFINED = re.compile(r"\*UND\*\s+\S+\s+\(?([A-Z_]+?)_([0-9A-Za-z_.]+)\)?\s+(\S+)$")


def allowed_versions(tag: str, arch: str) -> dict[str, set[str]]:
    policies = json.loads((resources.files("auditwheel") / "policy" / "manylinux-policy.json").read_text())
    for policy in policies:
        if policy["name"] == tag or tag in policy["aliases"]:
            return {prefix: set(versions) for prefix, versions in policy["symbol_versions"][arch].items()}
    raise SystemExit(f"auditwheel has no policy {tag}")


def main() -> int:
    wheel, tag, arch = sys.argv[1:4]
    allowed = allowed_versions(tag, arch)
    found = 0
    with tempfile.TemporaryDirectory() as tmp, zipfile.ZipFile(wheel) as archive:
        for member in archive.namelist():
            if not member.endswith(".so"):
                continue
            path = Path(archive.extract(member, tmp))
            dump = subprocess.run(["objdump", "-T", str(path)], capture_output=True, text=True, check=True).stdout
            for line in dump.splitlines():
                match = UNDEFINED.search(line)
                if match and match[1] in allowed and match[2] not in allowed[match[1]]:
                    print(f"    {match[3]}  {match[1]}_{match[2]}  ({member})")
                    found += 1
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
