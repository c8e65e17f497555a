#!/usr/bin/env bash
# kov-cli --remote-token: made once in the user's config folder with mode 0600, the same on the
# next call, replaced by --new; it goes alone and needs no program folder lock.
cli="$1"
source "$(dirname "$0")/common.bash"

file="$XDG_CONFIG_HOME/kov/remote-token"
first=$("$cli" --remote-token) || fail "--remote-token"
[[ "$first" =~ ^[0-9a-f]{64}$ ]] || fail "not 64 hex digits: $first"
[ "$(stat -c %a "$file")" = 600 ] || fail "mode $(stat -c %a "$file")"
[ "$(stat -c %a "$XDG_CONFIG_HOME/kov")" = 700 ] || fail "folder mode"
[ "$(cat "$file")" = "$first" ] || fail "file holds $(cat "$file")"
[ "$("$cli" --remote-token)" = "$first" ] || fail "a second call changed it"
[ ! -e "$KOV_HOME/kov.ini" ] || fail "the program folder was written"

second=$("$cli" --remote-token --new) || fail "--new"
[[ "$second" =~ ^[0-9a-f]{64}$ ]] && [ "$second" != "$first" ] || fail "--new kept $second"
[ "$("$cli" --remote-token)" = "$second" ] || fail "--new not kept"
[ "$(stat -c %a "$file")" = 600 ] || fail "mode after --new"

# A token file that is not one is reported, not replaced behind the user's back.
echo "not a token" > "$file"
if "$cli" --remote-token > "$tmp/out" 2> "$tmp/err"; then fail "a broken token file accepted"; fi
grep -q "not a remote-control token" "$tmp/err" || fail "message: $(cat "$tmp/err")"
"$cli" --remote-token --new > /dev/null || fail "--new over a broken file"

# Usage mistakes: exit 2, nothing made.
rm -f "$file"
for args in "--new" "--remote-token --list" "--remote-token --add http://x.example/" \
    "--remote-token -a"; do
    status=0
    "$cli" $args > /dev/null 2> "$tmp/err" || status=$?
    [ "$status" = 2 ] || fail "$args: exit $status"
    [ ! -e "$file" ] || fail "$args made the token"
done

# Beside a program that holds the folder (here: this shell, on the folder's lock) it still runs.
"$cli" > /dev/null
exec 9< "$KOV_HOME"
flock -n 9 || fail "cannot lock the program folder"
"$cli" --add http://x.example/ > /dev/null 2>&1 && fail "the folder lock does not hold"
"$cli" --remote-token > /dev/null || fail "refused beside a writer"
