#!/usr/bin/env bash
# "cmake --install" of the build that made kov-cli, into a scratch prefix: every file a user
# needs is there and works from there (the language files found beside the program, the man
# page renders, the completion loads, the service unit names the installed program).
cli="$1"
source "$(dirname "$0")/common.bash"

build="$(cd "$(dirname "$cli")/../.." && pwd)"
prefix="$tmp/prefix"
cmake --install "$build" --prefix "$prefix" > "$tmp/install.log" 2>&1 ||
    fail "install: $(tail -5 "$tmp/install.log")"
gui=no
grep -q '^KOV_GUI:BOOL=ON' "$build/CMakeCache.txt" && gui=yes

files=(bin/kov-cli share/kov/Lang/English.lng share/kov/Lang/German.lng
    share/man/man1/kov-cli.1 share/bash-completion/completions/kov-cli
    share/systemd/user/kov.service share/kov/web/index.html share/kov/web/app.js
    share/kov/web/style.css)
[ "$gui" = yes ] && files+=(bin/kov share/man/man1/kov.1 share/applications/kov.desktop
    share/icons/hicolor/scalable/apps/kov.svg share/metainfo/org.kov.Kov.metainfo.xml)
for f in "${files[@]}"; do
    [ -s "$prefix/$f" ] || fail "not installed: $f"
done
[ -x "$prefix/bin/kov-cli" ] || fail "kov-cli not executable"

# The installed program finds the installed language files (not the build's).
mkdir -p "$KOV_HOME"
printf '[KOV-Main]\nLanguage=German\n' > "$KOV_HOME/kov.ini"
"$prefix/bin/kov-cli" -a > "$tmp/out" 2>&1 || true
grep -q "Keine Aufträge zu starten" "$tmp/out" || fail "German not found: $(cat "$tmp/out")"

# The manual page renders without a warning and names the download-now form.
for page in "$prefix"/share/man/man1/*.1; do
    warnings="$(groff -man -Tutf8 -ww -z "$page" 2>&1)"
    [ -z "$warnings" ] || fail "$page: $warnings"
done
MANWIDTH=80 man -l "$prefix/share/man/man1/kov-cli.1" 2>/dev/null | grep -q "URL\.\.\." ||
    fail "man kov-cli does not render the URL form"

# The completion registers for kov-cli and offers the options.
bash -c "source '$prefix/share/bash-completion/completions/kov-cli'
    COMP_WORDS=(kov-cli --che); COMP_CWORD=1; _kov_cli; printf '%s\n' \"\${COMPREPLY[@]}\"" \
    > "$tmp/completion" 2>&1 || fail "completion: $(cat "$tmp/completion")"
grep -qx -- "--check-mail" "$tmp/completion" || fail "completion: $(cat "$tmp/completion")"

# The service unit starts the installed program.
grep -qx "ExecStart=$prefix/bin/kov-cli --serve" "$prefix/share/systemd/user/kov.service" ||
    fail "unit: $(grep ExecStart "$prefix/share/systemd/user/kov.service")"
if [ "$gui" = yes ]; then
    grep -qx "Exec=kov" "$prefix/share/applications/kov.desktop" || fail "desktop file Exec"
    grep -qx "Icon=kov" "$prefix/share/applications/kov.desktop" || fail "desktop file Icon"
fi
echo ok
