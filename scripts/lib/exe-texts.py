#!/usr/bin/env python3
"""Checks the texts a Windows program carries in its resources.

    exe-texts.py PROGRAM [KEY=VALUE | TEXT]...

KEY=VALUE: the version resource's string KEY (FileVersion, ProductVersion, ...) is VALUE.
TEXT: the UTF-16 text (a dialog caption, a control's text) appears in the program.
Exits 1 naming every check that failed.
"""
import re
import sys


def version_strings(data):
    """The version resource's string values: UTF-16 key, NUL, padding, UTF-16 value, NUL."""
    values = {}
    for key in ("FileVersion", "ProductVersion", "FileDescription", "ProductName", "CompanyName"):
        pattern = re.escape(key.encode("utf-16-le")) + rb"\x00\x00(?:\x00\x00)?((?:[^\x00].|\x00[^\x00])*?)\x00\x00"
        match = re.search(pattern, data, re.DOTALL)
        if match:
            raw = match.group(1)
            if len(raw) % 2:
                raw += b"\x00"
            values[key] = raw.decode("utf-16-le", "replace")
    return values


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    strings = version_strings(data)
    failed = []
    for check in sys.argv[2:]:
        key, sep, value = check.partition("=")
        if sep and key in ("FileVersion", "ProductVersion", "FileDescription", "ProductName", "CompanyName"):
            if strings.get(key) != value:
                failed.append(f"{key} is {strings.get(key)!r}, not {value!r}")
        elif check.encode("utf-16-le") not in data:
            failed.append(f"no text {check!r}")
    for line in failed:
        print(f"{sys.argv[1]}: {line}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
