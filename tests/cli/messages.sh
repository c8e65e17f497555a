#!/usr/bin/env bash
# The same kind of fault gives the same message form and exit status in every command: each
# line kov-cli writes to standard error of its own begins "kov-cli: ", a fault in an option's
# value names the option and the value first, and no lower layer's prefix shows through.
cli="$1"
source "$(dirname "$0")/common.bash"

"$cli" --init --add http://127.0.0.1:9/a.txt >/dev/null || fail "setup"
mkdir -p "$tmp/folder"
log_line='[0-9]{2}\.[0-9]{2}\.[0-9]{4} [0-9:]{8} - '
# check STATUS LINE ARGS...: the exit status, LINE (a regular expression) on standard error,
# and nothing there but kov-cli's own lines and a session's error lines.
check() {
    local want="$1" line="$2" got=0
    shift 2
    "$cli" "$@" > /dev/null 2> "$tmp/err" || got=$?
    [ "$got" = "$want" ] || fail "$*: exit $got, not $want: $(cat "$tmp/err")"
    grep -Eq -- "$line" "$tmp/err" || fail "$*: no '$line' in: $(cat "$tmp/err")"
    if grep -Ev "^(kov-cli: |Try 'kov-cli --help'\.$|Nothing was saved\.$|$log_line)" "$tmp/err"; then
        fail "$*: a line without kov-cli's prefix"
    fi
}
while IFS='|' read -r status line args; do
    # shellcheck disable=SC2086
    check "$status" "$line" $args
done <<CASES
2|^kov-cli: --set: item 9: no such item; the list holds 1 item$|--set 9 Name=x
2|^kov-cli: --show: item 9: no such item; the list holds 1 item$|--show 9
2|^kov-cli: --replace: item 9: no such item; the list holds 1 item$|--replace 9 $tmp/folder
2|^kov-cli: --distribute: item 9: no such item; the list holds 1 item$|--distribute 9 2
2|^kov-cli: --send-query: item 9: no such item; the list holds 1 item$|--send-query 9
2|^kov-cli: -n4: no such list; 1 list registered$|-n4 --list
2|^kov-cli: --use-list 4: no such list; 1 list registered|--use-list 4
2|^kov-cli: --replace: item 1 \(127.0.0.1\) has no replace rules$|--replace 1 $tmp/folder
2|^kov-cli: --restore $tmp/none: No such folder$|--restore $tmp/none
2|^kov-cli: --merge $tmp/none: |--merge $tmp/none
2|^kov-cli: Pop3Server is not set in \[CtrByEmail\] of kov.ini$|--check-mail
2|^kov-cli: SmtpServer is not set in \[CtrByEmail\] of kov.ini$|--send-query 1
2|^kov-cli: $tmp/none.ini: No such file or directory|$tmp/none.ini
2|^kov-cli: UpdateUrl is not set in \[KOV-Main\] of kov.ini$|--check-update
2|^kov-cli: -b: |-b$tmp/none.ini --list
2|^kov-cli: a URL to download goes without other commands|--list http://127.0.0.1:9/a.txt
2|^kov-cli: unknown option --bogus$|--bogus
2|^kov-cli: unknown option --lsit \(did you mean --list\?\)$|--lsit
2|^kov-cli: unknown option --remvoe \(did you mean --remove\?\)$|--remvoe 1
2|^kov-cli: unknown option --dest-dir$|--dest-dir x
1|^[0-9.]+ [0-9:]+ - \[a.txt\] - Open resource error|http://127.0.0.1:9/a.txt
CASES

# A list file that is something else is refused with kov-cli's prefix.
list="$KOV_HOME/Default.ini"
printf '\xff\xd8\xff\xe0\0\x10JFIF\0\0' > "$list"
check 2 "^kov-cli: $list: not a list file" --add http://127.0.0.1:9/b.txt
echo ok
