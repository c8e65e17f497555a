#!/usr/bin/env bash
# kov-cli --merge takes only regular files as parts (a FIFO would block it for ever, a link
# would pull in another file), and Ctrl+C or SIGTERM stops it with nothing left behind.
cli="$1"
source "$(dirname "$0")/common.bash"

d="$tmp/parts"
mkdir -p "$d"
part=1073741824  # two sparse portions of 1 GiB: the merge runs long enough to be stopped
"$cli" --add http://127.0.0.1:9/big.bin http://127.0.0.1:9/tiny.bin --dest "$d/" >/dev/null
"$cli" --set 1 DstDlActive=1 DstDlPartCount=2 DstDlFileSize=$((2 * part)) >/dev/null
# One byte in two portions: the first has none, so any empty thing passes for it by its size.
"$cli" --set 2 DstDlActive=1 DstDlPartCount=2 DstDlFileSize=1 >/dev/null
truncate -s "$part" "$d/big.bin.001" "$d/big.bin.002"
printf x > "$d/tiny.bin.002"
: > "$tmp/empty"
leftovers() { find "$d" -name '.*.bin*' | grep -q . || ls "$d"/*.bin >/dev/null 2>&1; }

# A part that is not a regular file is refused at once (a FIFO blocked the merge for ever, a
# link was followed); nothing is written.
for kind in fifo link folder; do
    case $kind in
        fifo) mkfifo "$d/tiny.bin.001" ;;
        link) ln -s "$tmp/empty" "$d/tiny.bin.001" ;;
        folder) mkdir "$d/tiny.bin.001" ;;
    esac
    status=0
    timeout 60 "$cli" --merge "$d/tiny.bin" >"$tmp/out" 2>&1 || status=$?
    [ "$status" = 1 ] || fail "$kind part: exit status $status: $(cat "$tmp/out")"
    grep -q "File read error - .*tiny.bin.001: .*not a .*" "$tmp/out" ||
        fail "$kind part: $(cat "$tmp/out")"
    ! leftovers || fail "$kind part: files left: $(ls -a "$d")"
    rm -rf "$d/tiny.bin.001"
done

# Stopped as soon as its temporary file is there: exit 130, no whole file, no temporary file,
# the parts kept.
for sig in INT TERM; do
    "$cli" --merge "$d/big.bin" >"$tmp/out" 2>&1 &
    merge=$!
    for _ in $(seq 600); do
        find "$d" -name '.big.bin.*' | grep -q . && break
        kill -0 "$merge" 2>/dev/null || break
        sleep 0.05
    done
    kill -"$sig" "$merge"
    status=0
    wait "$merge" || status=$?
    [ "$status" = 130 ] || fail "SIG$sig: exit status $status: $(cat "$tmp/out")"
    ! leftovers || fail "SIG$sig: files left: $(ls -a "$d")"
    [ "$(stat -c %s "$d/big.bin.002")" = "$part" ] || fail "SIG$sig: a part was lost"
done
echo ok
