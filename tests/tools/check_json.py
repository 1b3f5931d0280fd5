"""Checks a JSON document written by h265info.

    check_json.py FILE CHECK...

The document must parse as strict JSON (no NaN, no duplicate keys). Each
CHECK is one of
    PATH=VALUE    the value at PATH equals VALUE, itself written as JSON
    PATH#=N       the array or object at PATH has N entries
    PATH~=REGEX   the string at PATH matches REGEX (re.search)
where PATH is dotted keys and [index] steps, e.g. nal_units[3].slice.state.
"""
import json
import re
import sys


def no_duplicates(pairs):
    keys = [k for k, _ in pairs]
    duplicates = {k for k in keys if keys.count(k) > 1}
    if duplicates:
        raise ValueError("duplicate keys: %s" % sorted(duplicates))
    return dict(pairs)


def reject_constant(name):
    raise ValueError("not JSON: %s" % name)


def lookup(document, path):
    value = document
    for key, index in re.findall(r"([^.\[\]]+)|\[(\d+)\]", path):
        value = value[int(index)] if index else value[key]
    return value


def main():
    with open(sys.argv[1], "rb") as f:
        text = f.read().decode("utf-8")  # a decoding error fails the check
    document = json.loads(text, object_pairs_hook=no_duplicates, parse_constant=reject_constant)
    failures = []
    for check in sys.argv[2:]:
        match = re.match(r"^(.*?)(#=|~=|=)(.*)$", check, re.S)
        path, op, expected = match.groups()
        try:
            actual = lookup(document, path)
        except (KeyError, IndexError, TypeError) as e:
            failures.append("%s: no such value (%r)" % (path, e))
            continue
        if op == "=":
            ok = actual == json.loads(expected) and type(actual) is type(json.loads(expected))
        elif op == "#=":
            ok = len(actual) == int(expected)
        else:
            ok = isinstance(actual, str) and re.search(expected, actual) is not None
        if not ok:
            failures.append("%s: %r does not satisfy %s%s" % (path, actual, op, expected))
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
