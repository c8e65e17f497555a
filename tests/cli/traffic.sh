#!/usr/bin/env bash
# kov-cli --traffic and --traffic-reset: the counter that stops every download once LimitSum is
# reached can be seen and set back without editing user.ini, but only by the one writer.
cli="$1"
source "$(dirname "$0")/common.bash"

"$cli" >/dev/null
sed -i 's/^LimitTrace=.*/LimitTrace=1/; s/^LimitSum=.*/LimitSum=4000/' "$KOV_HOME/kov.ini"
grep -q '^LimitSum=4000$' "$KOV_HOME/kov.ini" || fail "kov.ini has no LimitSum"
mkdir -p "$XDG_CONFIG_HOME/kov"
printf '[Settings]\nLimitCounter=5000\n' > "$XDG_CONFIG_HOME/kov/user.ini"

"$cli" --traffic > "$tmp/out" || fail "--traffic"
grep -q $'^counted\t5000 bytes$' "$tmp/out" || fail "counted: $(cat "$tmp/out")"
grep -q $'^limit\t4000 bytes$' "$tmp/out" || fail "limit: $(cat "$tmp/out")"
grep -q '^reached' "$tmp/out" || fail "not reached: $(cat "$tmp/out")"

# The reset is a write: refused while another program holds the folder.
"$cli" --serve > "$tmp/serve" 2>&1 &
serve=$!
servers+=("$serve")
for _ in $(seq 300); do
    grep -q 'kov-cli --serve started' "$tmp/serve" && break
    kill -0 "$serve" 2>/dev/null || fail "--serve ended: $(cat "$tmp/serve")"
    sleep 0.1
done
status=0
"$cli" --traffic-reset 2>"$tmp/err" >/dev/null || status=$?
[ "$status" = 2 ] || fail "--traffic-reset beside the service gave $status"
grep -q "is in use by kov-cli --serve" "$tmp/err" || fail "lock: $(cat "$tmp/err")"
"$cli" --traffic | grep -q $'^counted\t5000 bytes$' || fail "--traffic beside the service"
kill -TERM "$serve"
wait "$serve" || true
servers=()

"$cli" --traffic-reset > "$tmp/out" || fail "--traffic-reset"
grep -q '^traffic counter reset (was 5000 bytes)$' "$tmp/out" || fail "reset: $(cat "$tmp/out")"
grep -q '^LimitCounter=0$' "$XDG_CONFIG_HOME/kov/user.ini" ||
    fail "user.ini: $(cat "$XDG_CONFIG_HOME/kov/user.ini")"
"$cli" --traffic > "$tmp/out"
grep -q $'^counted\t0 bytes$' "$tmp/out" && ! grep -q '^reached' "$tmp/out" || fail "after: $(cat "$tmp/out")"
if "$cli" --traffic=x 2>/dev/null; then fail "--traffic took a value"; fi
echo ok
