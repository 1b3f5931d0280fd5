#!/bin/sh
# h265info --json on files whose names need escaping in JSON: quote,
# backslash, tab, newline and other control characters must come back
# unchanged, and a byte that is not UTF-8 as U+FFFD, in a document that is
# strict JSON. Exits 77 (skipped) without python3.
#   json_file_names.sh H265INFO INPUT_DIRECTORY CHECK_JSON
set -eu
tool=${1:?usage: json_file_names.sh H265INFO INPUT_DIRECTORY CHECK_JSON}
inputs=${2:?usage: json_file_names.sh H265INFO INPUT_DIRECTORY CHECK_JSON}
check=${3:?usage: json_file_names.sh H265INFO INPUT_DIRECTORY CHECK_JSON}

if ! command -v python3 >/dev/null 2>&1; then
    echo "SKIPPED: python3 is not installed"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

status=0
# name_check NAME EXPECTED_FILE_FIELD_AS_JSON
name_check() {
    cp "$inputs/valid.h265" "$1"
    if "$tool" --json "$1" > out.json &&
        python3 "$check" out.json "file=$2" "summary.nal_unit_count=12" > result 2>&1; then
        printf 'ok:   %s\n' "$2"
    else
        printf 'FAIL: %s\n' "$2"
        sed 's/^/  /' result 2>/dev/null || true
        status=1
    fi
    rm -f -- "$1"
}

name_check 'say "hi".h265' '"say \"hi\".h265"'
name_check 'back\slash.h265' '"back\\slash.h265"'
name_check "$(printf 'tab\there.h265')" '"tab\there.h265"'
name_check "$(printf 'new\nline.h265')" '"new\nline.h265"'
name_check "$(printf 'bell\007.h265')" '"bell\u0007.h265"'
name_check "$(printf 'caf\303\251.h265')" '"caf\u00e9.h265"'
name_check "$(printf 'latin1 \351.h265')" '"latin1 \ufffd.h265"'
name_check "$(printf 'cut \342\202.h265')" '"cut \ufffd\ufffd.h265"'
name_check "$(printf 'overlong \300\257.h265')" '"overlong \ufffd\ufffd.h265"'
name_check "$(printf 'surrogate \355\240\200.h265')" '"surrogate \ufffd\ufffd\ufffd.h265"'
exit $status
