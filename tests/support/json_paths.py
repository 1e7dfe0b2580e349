#!/usr/bin/env python3
"""Reads one JSON document from standard input with Python's own parser, strictly
(no NaN or Infinity, no repeated keys, nothing after the document), and prints each
leaf as `path<TAB>value`: a string as "s:" and the hex digits of its UTF-8 bytes (so a
reader gets them exactly), anything else as JSON. Exit 1 when the input is no JSON."""
import json
import sys


def no_constants(name):
    raise ValueError("not JSON: " + name)


def unique_keys(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError("repeated key")
    return dict(pairs)


def walk(value, path, out):
    if isinstance(value, dict):
        for key, item in value.items():
            walk(item, path + "." + key if path else key, out)
    elif isinstance(value, list):
        for index, item in enumerate(value):
            walk(item, "%s[%d]" % (path, index), out)
    elif isinstance(value, str):
        out.append("%s\ts:%s" % (path, value.encode("utf-8").hex()))
    else:
        out.append("%s\t%s" % (path, json.dumps(value)))


def main():
    data = sys.stdin.buffer.read()
    try:
        doc = json.loads(data.decode("utf-8", errors="strict"),
                         parse_constant=no_constants, object_pairs_hook=unique_keys)
    except (ValueError, UnicodeDecodeError) as error:
        print("invalid: %s" % error)
        return 1
    out = []
    walk(doc, "", out)
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
