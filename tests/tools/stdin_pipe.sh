#!/bin/sh
# h265info reading a pipe gives the report it gives for the file itself, but
# for the file name, which is "-": as text and as JSON, with FILE "-" and with
# no FILE at all. The pipe is fed in odd-sized pieces (dd bs=4093), so reads
# end at other places than they do in a file.
#   stdin_pipe.sh H265INFO STREAM...
set -eu
tool=${1:?usage: stdin_pipe.sh H265INFO STREAM...}
shift

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for stream in "$@"; do
    name=$(basename "$stream")
    for json in "" --json; do
        (cd "$(dirname "$stream")" && "$tool" $json "$name") |
            sed -e "s|^File: $name\$|File: -|" -e "s|^  \"file\": \"$name\",\$|  \"file\": \"-\",|" \
                > "$work/expected"
        dd if="$stream" bs=4093 status=none | "$tool" $json - > "$work/dash"
        dd if="$stream" bs=4093 status=none | "$tool" $json > "$work/no_file"
        for way in dash no_file; do
            if cmp -s "$work/expected" "$work/$way"; then
                echo "ok:   $name $json ($way)"
            else
                echo "FAIL: $name $json ($way):"
                diff "$work/expected" "$work/$way" | head -20 | sed 's/^/  /'
                status=1
            fi
        done
    done
done
exit $status
