"""Smoke test of an installed plovane wheel (scripts/wheel.sh runs it in a
fresh environment, and under qemu for the aarch64 wheel).

    python wheel_smoke.py EXPECTED_VERSION [SITE_DIR]

Checks that plovane is imported from SITE_DIR (not a source or build tree),
that its metadata carries EXPECTED_VERSION (when the wheel was installed with
pip; skipped with --no-metadata for a wheel only unpacked), and that reading,
searching, writing and the malformed-document error work."""

import os
import platform
import sys


def main() -> int:
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    expected_version = args[0]
    site_dir = os.path.realpath(args[1]) if len(args) > 1 else None

    import plovane

    location = os.path.realpath(plovane.__file__)
    if site_dir is not None and not location.startswith(site_dir + os.sep):
        print(f"FAIL: plovane imported from {location}, not from {site_dir}")
        return 1
    if "--no-metadata" not in sys.argv:
        from importlib.metadata import version

        if version("plovane") != expected_version:
            print(f"FAIL: metadata version {version('plovane')!r}, expected {expected_version!r}")
            return 1

    doc = '<feed><entry id="1"><title>Hello &amp; welcome</title></entry><entry id="2"/></feed>'
    feed = plovane.read_string(doc, "feed")
    assert feed.name == "feed", feed.name
    assert [e.attrs["id"] for e in feed.search_by_name("entry")] == ["1", "2"]
    titles = feed.search_by_name("title")
    assert len(titles) == 1 and titles[0].text == "Hello & welcome", titles

    written = plovane.write_string(feed, default_xml_def=False)
    again = plovane.read_string(written, "feed")
    assert again.to_dict() == feed.to_dict(), (written, again.to_dict())
    assert "&amp;" in written, written

    try:
        plovane.read_string("<r><a></b></r>", "r")
    except ValueError as error:
        assert "malformed XML at byte" in str(error), str(error)
    else:
        print("FAIL: a malformed document raised no ValueError")
        return 1

    print(f"smoke ok: plovane {expected_version} on {platform.machine()} from {location}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
