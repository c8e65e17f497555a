# Sourced by crash_test.sh: the cases' set-up, the kill loop's steps and the checks after each
# round. Every case sets work (the kov-cli arguments that are killed) and items (how many list
# entries must survive).

www="$tmp/www"
down="$KOV_HOME/Download/Main"
acked=()  # the URLs whose --add ended before the kill

sleep_ms() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Random bytes of a random size up to 256 KiB, some large enough to be caught mid-transfer.
random_file() { head -c $((RANDOM * 8 + 1)) /dev/urandom > "$1"; }

# An item list file of the URLs given, one item each, imported into the current list. Update
# mode 0 resumes a partial file (a list file without it keeps any existing file as it is).
import_items() {
    local n=0 url
    for url in "$@"; do
        n=$((n + 1))
        printf '[item %d]\nName=i%d\nUrl=%s\nUpdateMode=0\n' "$n" "$n" "$url"
    done > "$tmp/import.ini"
    "$cli" --import "$tmp/import.ini" >/dev/null || fail "import"
}

setup_files() {
    mkdir -p "$www/files"
    local i urls=()
    for i in $(seq "$1"); do random_file "$www/files/f$i.bin"; done
    # One file slow enough that many kills cut it.
    head -c $((1 << 20)) /dev/urandom > "$www/files/f1.bin"
    start_nginx "$www" 'location = /files/f1.bin { limit_rate 1m; }'
    for i in $(seq "$1"); do urls+=("http://127.0.0.1:$port/files/f$i.bin"); done
    import_items "${urls[@]}"
    items=$1 work=(-a) sources="$www/files"
}

# One file big enough to come over several connections, each held to a rate so that kills fall
# while its ranges are coming; each round picks another number of connections, so a resumed
# file continues with more or fewer than it started with.
setup_segmented() {
    mkdir -p "$www/big"
    head -c $((16 << 20)) /dev/urandom > "$www/big/seg.bin"
    start_nginx "$www" "location /big/ { limit_rate 2m; access_log $tmp/nginx/big.log; }"
    import_items "http://127.0.0.1:$port/big/seg.bin"
    items=1 work=(-a) sources="$www/big"
}

# Before each round: the segmented case draws the item's connections (4 to 8) from the seed.
before_round() {
    [ "$case" = segmented ] || return 0
    "$cli" --set 1 "Connections=$((4 + RANDOM % 5))" >/dev/null || fail "setting the connections"
}

setup_add() {
    "$cli" --add http://127.0.0.1:9/first.bin >/dev/null || fail "first add"
    acked=(http://127.0.0.1:9/first.bin)
    items=1 work=()
}

# A site of linked pages, each with a picture: a rip crosses pages, pictures and rewrites.
setup_rip() {
    mkdir -p "$www/site"
    local i
    for i in $(seq "$1"); do
        random_file "$www/site/p$i.png"
        printf '<html><img src="p%d.png"><a href="page%d.html">next</a></html>\n' \
            "$i" $((i % $1 + 1)) > "$www/site/page$i.html"
    done
    start_nginx "$www"
    printf '[item 1]\nName=site\nUrl=http://127.0.0.1:%d/site/page1.html\nWithLinks=1\nWithPics=1\nNestedDepth=%d\nUpdateMode=0\n' \
        "$port" "$1" > "$tmp/import.ini"
    "$cli" --import "$tmp/import.ini" >/dev/null || fail "import"
    items=1 work=(-a) sources="$www/site" pages=$1
}

# A missing server skips the case, or fails it under KOV_REQUIRE_SERVERS=1 (CI).
missing_server() {
    [ "${KOV_REQUIRE_SERVERS:-}" = 1 ] && fail "missing server (KOV_REQUIRE_SERVERS=1): $1"
    echo "skipped: $1"
    exit 0
}

# Queries by mail for files on nginx, polled by --check-mail. The mailbox is refilled with the
# same messages after a run that finished: a poll must not take them twice.
setup_mail() {
    [ -x "${KOV_CRASH_MAILBOX:-}" ] || missing_server "KOV_CRASH_MAILBOX names no mailbox program"
    mkdir -p "$www/files"
    local i
    for i in $(seq "$1"); do random_file "$www/files/q$i.bin"; done
    start_nginx "$www"
    coproc MAILBOX { "$KOV_CRASH_MAILBOX" "$1" "http://127.0.0.1:$port/files/q" open-sesame 2>"$tmp/mailbox.err"; }
    servers+=("$MAILBOX_PID")
    local pop3
    read -r pop3 maildir <&"${MAILBOX[0]}" || true
    [ -d "${maildir:-}" ] || missing_server "dovecot (as root) or openssl: $(cat "$tmp/mailbox.err")"
    "$cli" --add http://127.0.0.1:9/first.bin >/dev/null || fail "first add"
    "$cli" --set 1 Disabled=1 >/dev/null || fail "disabling the first item"  # it only makes the list
    python3 - "$KOV_HOME/kov.ini" "$pop3" "$tmp/queries/" <<'PY'
import re, sys
path, port, folder = sys.argv[1:]
text = re.sub(r"\[CtrByEmail\][^\[]*", "", open(path).read())
text += (f"[CtrByEmail]\nPop3Server=127.0.0.1:{port}\nPop3Security=0\nMailBox=kovbox\n"
         f"MailBoxPsw=s3cret-pop\nPassphrase=open-sesame\nSaveFolder={folder}\n"
         "MyEmailAddr=b@kov.test\nSmtpServer=127.0.0.1:9\nQueryAllowLocal=1\n")
open(path, "w").write(text)
PY
    queries=$1 items=$(($1 + 1)) work=(--check-mail) sources="$www/files" down="$tmp/queries"
}

# Messages in the mailbox, after putting the queries back when $1 is "refill".
mailbox() {
    echo "${1:-count}" >&"${MAILBOX[1]}"
    local n
    read -r n <&"${MAILBOX[0]}"
    echo "$n"
}

# Each query is in the list once, or still in the mailbox (taken neither twice nor never).
check_queries() {
    local i n
    for i in $(seq "$queries"); do
        n=$(grep -c "/files/q$i\.bin	" "$tmp/list.out" || true)
        [ "$n" -le 1 ] || { echo "query $i taken $n times: $(cat "$tmp/list.out")"; return 1; }
        [ "$n" = 1 ] || grep -rqs "/files/q$i\.bin" "$maildir" ||
            { echo "query $i lost: neither in the list nor in the mailbox"; return 1; }
    done
}

# The arguments of round N: the add case adds a new URL each round.
round_work() {
    if [ "$case" = add ]; then echo "--add http://127.0.0.1:9/r$1.bin"; else echo "${work[*]}"; fi
}

# Sets span: how long one uninterrupted run takes, in a copy of the program folder.
calibrate() {
    local saved="$KOV_HOME" start
    cp -a "$KOV_HOME" "$tmp/calibration"
    # The settings and the list name files by their full paths: the copy's own.
    sed -i "s|$KOV_HOME/|$tmp/calibration/|g" "$tmp/calibration"/*.ini
    start=$(now_ms)
    # shellcheck disable=SC2046
    KOV_HOME="$tmp/calibration" "$cli" $(round_work 0) >/dev/null 2>&1 || true
    span=$(($(now_ms) - start))
    span=$((span > 20 ? span : 20))
    rm -rf "$tmp/calibration"
    KOV_HOME="$saved"
    if [ "$case" = mail ]; then
        rm -rf "$tmp/queries"
        mailbox refill >/dev/null
    fi
}

run_and_kill() {
    local status=0
    # shellcheck disable=SC2046
    "$cli" $(round_work "$2") >"$tmp/run.out" 2>&1 &
    local pid=$!
    sleep_ms "$1"
    kill -9 "$pid" 2>/dev/null || true
    { wait "$pid"; } 2>/dev/null || status=$?
    [ "$status" = 137 ] && killed=$((killed + 1))
    # After a run that finished, the next round finds work again (as if the user had deleted the
    # files); the checks of this round come first.
    [ "$status" != 137 ] && [ "$case" != add ] && finished_round=1
    [ "$case" = add ] && [ "$status" = 0 ] && acked+=("http://127.0.0.1:9/r$2.bin")
    return 0
}

# The list and the settings load, and each acknowledged item is there exactly once.
check_lists() {
    "$cli" --list > "$tmp/list.out" 2>&1 || { echo "the list does not load: $(cat "$tmp/list.out")"; return 1; }
    grep -q '^FileName=' "$KOV_HOME/kov.ini" || { echo "kov.ini lost its list"; return 1; }
    local count=$(($(wc -l < "$tmp/list.out") - 1)) url
    if [ "$case" = add ]; then
        for url in "${acked[@]}"; do
            [ "$(grep -cF "	$url	" "$tmp/list.out")" = 1 ] || { echo "$url not there once"; return 1; }
        done
        [ -z "$(cut -f3 "$tmp/list.out" | sort | uniq -d)" ] || { echo "an item doubled"; return 1; }
    elif [ "$case" = mail ]; then
        check_queries || return 1
    else
        [ "$count" = "$items" ] || { echo "$count items instead of $items"; return 1; }
    fi
}

# Compares the downloaded files with their sources: "partial" wants each one on disk to be the
# start of its source (a partial file is resumed later, never other bytes), "complete" wants
# every source there and equal (SHA-256) and no segment state left. A file beside its segment
# state (FILE.kovseg) is written in place in any order: only its size is checked until it is
# complete. Ripped pages are rewritten, so only their presence counts.
compare_files() {
    python3 - "$sources" "$down" "$1" <<'PY'
import hashlib, os, sys
sources, down, mode = sys.argv[1:]
partial = 0
found = {f: os.path.join(d, f) for d, _, files in os.walk(down) for f in files}
for name in sorted(os.listdir(sources)):
    local = found.get(name, "")
    if not os.path.isfile(local):
        if mode == "complete": sys.exit(f"{name} missing")
        continue
    if name.endswith(".html"): continue
    want, got = open(os.path.join(sources, name), "rb").read(), open(local, "rb").read()
    if os.path.exists(local + ".kovseg"):
        if mode == "complete": sys.exit(f"{name}: its segment state is left")
        if len(got) > len(want): sys.exit(f"{name}: {len(got)} bytes, longer than its source")
        partial += 1
        continue
    if mode == "complete" and hashlib.sha256(got).digest() != hashlib.sha256(want).digest():
        sys.exit(f"{name}: {len(got)} bytes, its SHA-256 not its source's")
    if mode == "partial" and not want.startswith(got):
        sys.exit(f"{name}: {len(got)} bytes, not the start of its source")
    partial += len(got) < len(want)
print(partial)
PY
}

# A main page kept as the server's copy (its attribute neither unfinished nor pending) makes the
# next run replay the rip from its records: they must be there, or the rest of the site would
# never be looked at again.
check_rip_records() {
    python3 - "$down" <<'PY'
import os, sys
for folder, _, files in os.walk(sys.argv[1]):
    if "page1.html" not in files: continue
    try: kept = os.getxattr(os.path.join(folder, "page1.html"), "user.kov.validators").split()
    except OSError: continue
    if len(kept) > 2 and kept[2] != b"p" and not os.path.exists(os.path.join(folder, ".page1.html.kov-rip")):
        sys.exit("page1.html is kept as the server's copy, but the records of its rip are missing")
PY
}

check_round() {
    check_lists || return 1
    if [ "$case" = rip ]; then check_rip_records || return 1; fi
    if [ "$case" != add ]; then
        local n
        n=$(compare_files partial) || { echo "$n"; return 1; }
        [ "$n" = 0 ] || cut_short=$((cut_short + 1))
    fi
    if [ -n "${finished_round:-}" ]; then
        if [ "$case" = mail ]; then mailbox refill >/dev/null; else rm -rf "${down:?}"/*; fi
        finished_round=
    fi
}

# A kill in the middle of a save leaves its temporary (.NAME.XXXXXX), of a list or of a ripped
# page; the next writer, or the next rip of the page, removes it.
check_no_temporaries() {
    local temps
    temps=$(find "$KOV_HOME" -maxdepth 1 -name '.*.??????' -type f
        [ -z "${down:-}" ] || find "$down" -name '.*.??????' -type f)
    [ -z "$temps" ] || { echo "temporary files left: $temps"; return 1; }
}

finish_case() {
    echo "$killed of $rounds runs were killed; $cut_short rounds ended with a partial file"
    if [ "$case" = add ]; then
        "$cli" --add http://127.0.0.1:9/last.bin >/dev/null || { echo "the last --add"; return 1; }
        acked+=(http://127.0.0.1:9/last.bin)
        check_lists && check_no_temporaries
        return
    fi
    local status=0
    if [ "$case" = mail ]; then
        timeout 300 "$cli" --check-mail > "$tmp/run.out" 2>&1 || true
        [ "$(mailbox)" = 0 ] || { echo "queries left in the mailbox: $(tail -20 "$tmp/run.out")"; return 1; }
    fi
    timeout 300 "$cli" -a > "$tmp/run.out" 2>&1 || status=$?
    [ "$status" = 0 ] || { echo "exit status $status: $(tail -20 "$tmp/run.out")"; return 1; }
    local n
    check_lists && check_no_temporaries && n=$(compare_files complete) ||
        { echo "${n:-}: $(tail -5 "$tmp/run.out")"; return 1; }
    if [ "$case" = segmented ] && [ "$(grep -c '" 206 ' "$tmp/nginx/big.log")" -lt 2 ]; then
        echo "the big file never came in ranges"
        return 1
    fi
    if [ "$case" = mail ]; then
        local i
        for i in $(seq "$queries"); do
            grep -q "/files/q$i\\.bin	" "$tmp/list.out" || { echo "query $i lost"; return 1; }
        done
    fi
}
killed=0 cut_short=0
