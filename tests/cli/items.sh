#!/usr/bin/env bash
# kov-cli's item and list commands: items made from URLs as templates, --show as text and
# JSON, --set with good and refused values (a refused one saves nothing), switching, moving
# and removing items, and registering, choosing and removing lists.
cli="$1"
source "$(dirname "$0")/common.bash"
"$cli" >/dev/null

expect() {  # lines of "ITEM KEY VALUE"; each item is shown once
    rm -f "$tmp"/show.*
    while read -r n key want; do
        [ -f "$tmp/show.$n" ] || "$cli" --show "$n" > "$tmp/show.$n"
        got=$(sed -n "s/^$key=//p" "$tmp/show.$n")
        [ "$got" = "$want" ] || fail "item $n $key: '$got', want '$want'"
    done
}
refused() {  # refused MESSAGE ARG...: exit 2, the message, no file changed, nothing claimed
    local want="$1" status=0
    shift
    md5sum "$KOV_HOME"/*.ini > "$tmp/before"
    "$cli" "$@" >"$tmp/out" 2>"$tmp/err" || status=$?
    [ "$status" = 2 ] || fail "$* gave $status: $(cat "$tmp/err")"
    [ ! -s "$tmp/out" ] || fail "$* refused, yet printed: $(cat "$tmp/out")"
    grep -qF -- "$want" "$tmp/err" || fail "$*: $(cat "$tmp/err")"
    md5sum -c --quiet "$tmp/before" >/dev/null 2>&1 || fail "$* changed a file"
}

# --template: today's date and a trailing number become tokens; tokens the user wrote stay,
# and so do percent escapes.
"$cli" --add "http://news.example.com/daily-$(date +%d.%m.%Y).html" \
    http://pics.example.com/a/pic0042.jpg 'http://pics.example.com/%Y/p%3u.jpg' \
    'http://x.example.com/caf%C3%A9.html' --template >/dev/null
expect <<'EOF'
1 Url http://news.example.com/daily-%D.%M.%Y.html
1 NumBased 0
2 Url http://pics.example.com/a/pic%4u.jpg
2 CurrentNum 42
2 StopNumber 52
3 Url http://pics.example.com/%Y/p%3u.jpg
3 NumBased 1
4 Url http://x.example.com/caf%%C3%A9.html
4 NumBased 0
EOF
"$cli" --add ftp://ftp.example.com/pub/a.zip --name=release --dest="$tmp/rel" >/dev/null
expect <<EOF
5 Name release
5 Dest $tmp/rel/
EOF

# --show writes nothing; its JSON form parses and carries numbers as numbers.
md5sum "$KOV_HOME"/*.ini > "$tmp/before"
"$cli" --show 2 --json | python3 -c '
import json, sys
o = json.load(sys.stdin)
assert o["item"] == 2 and o["CurrentNum"] == 42 and o["Url"].endswith("pic%4u.jpg"), o
assert o["LastDL"] == "1990.01.01" and o["Disabled"] == 0, o' || fail "--show --json"
md5sum -c --quiet "$tmp/before" >/dev/null 2>&1 || fail "--show changed a file"

# --set: every value checked; all or nothing.
"$cli" --set 2 StopNumber=200 Tolerance=2 Name=pictures dayShift=-2 Disabled=yes \
    LastDL=2026.01.05 s_find1=ad 's_repl1=' s_action1=3 >/dev/null || fail "--set"
expect <<'EOF'
2 StopNumber 200
2 Tolerance 2
2 Name pictures
2 dayShift -2
2 Disabled 1
2 LastDL 2026.01.05
2 s_find1 ad
2 s_action1 3
EOF
long=$(printf 'n%.0s' $(seq 80))
printf '\xff\xd8\xff\xe0\0\x10JFIF\0\0' > "$tmp/photo.jpg"
while IFS='|' read -r message args; do
    # shellcheck disable=SC2086
    refused "$message" $args
done <<EOF
out of range 0..1000|--set 2 Tolerance=1001
out of range -1..365|--set 2 interval=-2
not a flag|--set 2 Disabled=maybe
not a whole number|--set 2 days=3x
not a date|--set 2 LastDL=2026.02.30
unknown key|--set 2 Colour=red
unsupported scheme gopher|--set 2 Url=gopher://h/x
Url must not be empty|--set 2 Url=
longer than 79 bytes|--set 2 Name=$long
no rule 3|--set 2 s_find3=x
beyond DstDlPartCount|--set 2 DstDlPartNo=5
out of range 0..1000|--set 2 Name=kept Tolerance=5000
item 9: no such item; the list holds 5 items|--set 9 Name=x
item 9: no such item|--new-list Extra --add http://a.example.com/ --set 9 Name=x
item 9: no such item|--show 9
unsupported scheme gopher|--add http://ok.example.com/ gopher://h/x
--name, --dest and --template go with --add|--template
the last list cannot be removed|--remove-list 1
no such list|--use-list Nope
$tmp/photo.jpg: not a list file (binary content)|--new-list Pics $tmp/photo.jpg
--template takes no value|--add http://a.example.com/ --template=yes
longer than 299 bytes|--add http://a.example.com/$long$long$long$long
EOF
expect <<'EOF'
2 Name pictures
EOF

# Switching, moving and removing items.
"$cli" --disable 1 3 >/dev/null && "$cli" --enable 3 --move 4 1 >/dev/null
"$cli" --list | cut -f1,2,6 > "$tmp/list"
diff - "$tmp/list" <<'EOF' || fail "after --disable, --enable, --move"
#	Name	Disabled
1	x.example.com	no
2	news.example.com	yes
3	pictures	yes
4	pics.example.com	no
5	release	no
EOF
[ -z "$("$cli" --quiet --remove 1 4)" ] || fail "--quiet --remove printed"
[ "$("$cli" --list | cut -f2 | tr '\n' ' ')" = "Name news.example.com pictures release " ] ||
    fail "--remove: $("$cli" --list)"

# Lists: a new one with its own file gets the added item; the old one keeps its items.
"$cli" --new-list News "$tmp/news.ini" "$tmp/news" --use-list News \
    --add http://n.example.com/a.html >/dev/null
grep -q '^Url=http://n.example.com/a.html$' "$tmp/news.ini" || fail "item not in the new list"
"$cli" --lists | grep -q $'^2\*\tNews\t'"$tmp/news.ini"$'\t'"$tmp/news/"'$' || fail "--lists"
refused "list 2 already has that name" --new-list News
"$cli" --use-list 1 --remove-list 2 >/dev/null
[ "$("$cli" --lists | wc -l)" = 2 ] || fail "--remove-list: $("$cli" --lists)"
[ -f "$tmp/news.ini" ] || fail "--remove-list deleted the list file"
[ "$("$cli" --list | wc -l)" = 4 ] || fail "list 1 after switching back"
echo ok
