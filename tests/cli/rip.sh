#!/usr/bin/env bash
# kov-cli -a rips a small site: the page, its picture and style sheet, the linked page, and
# links between them that work from disk.
cli="$1"
source "$(dirname "$0")/common.bash"

mkdir -p "$tmp/www/docs/img"
cat > "$tmp/www/docs/index.html" <<HTML
<html><link rel="stylesheet" href="s.css"><img src="img/p.png"><a href="b.html#x">b</a></html>
HTML
echo '<html><a href="../docs/index.html">back</a></html>' > "$tmp/www/docs/b.html"
echo 'body{background:url(img/p.png)}' > "$tmp/www/docs/s.css"
echo picture > "$tmp/www/docs/img/p.png"
port=$(free_port)
(cd "$tmp/www" && exec python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>&1) &
server=$!
wait_for_port "$port"

cat > "$tmp/site.ini" <<INI
[item 1]
Name=site
Url=http://127.0.0.1:$port/docs/index.html
Dest=$tmp/site/
WithLinks=1
WithPics=1
NestedDepth=2
INI
"$cli" --import "$tmp/site.ini" >/dev/null
"$cli" -a > "$tmp/out" || fail "exit status $?: $(cat "$tmp/out")"
site="$KOV_HOME/Download/Main"
for f in index.html b.html s.css p.png; do [ -f "$site/$f" ] || fail "$f missing: $(ls "$site")"; done
grep -q 'href="b.html#x"' "$site/index.html" || fail "index: $(cat "$site/index.html")"
grep -q 'src="p.png"' "$site/index.html" || fail "picture reference: $(cat "$site/index.html")"
grep -q 'href="index.html"' "$site/b.html" || fail "b: $(cat "$site/b.html")"
grep -q 'url(p.png)' "$site/s.css" || fail "style sheet: $(cat "$site/s.css")"
echo ok
