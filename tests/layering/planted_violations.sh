#!/usr/bin/env bash
# scripts/check-layers against planted violations: each include below, added alone to a clean
# tiny src tree, must fail the include check with its message; a lower layer's library that
# needs a symbol only a higher layer's library defines must fail the symbol check.
# Arguments: the script, the C++ compiler, the archiver.
set -euo pipefail
check="$1" cxx="$2" ar="$3"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# expect STATUS TEXT COMMAND...: the command ends with STATUS and its output has TEXT.
expect() {
    local want="$1" text="$2" status=0
    shift 2
    "$@" > "$tmp/out" 2>&1 || status=$?
    [ "$status" = "$want" ] || fail "$* gave $status, not $want: $(cat "$tmp/out")"
    [ -z "$text" ] || grep -qF -- "$text" "$tmp/out" || fail "$* said no \"$text\": $(cat "$tmp/out")"
}

# A clean tree: every layer includes only its own and lower layers, in every spelling.
clean="$tmp/clean/src"
mkdir -p "$clean"/{core,net/http,session}
echo '#pragma once' > "$clean/core/text.h"
echo '#pragma once' > "$clean/session/scheduler.h"
cat > "$clean/net/http/client.cpp" <<'CPP'
#include "net/http/client.h"
#include <vector>
# include < core/text.h >
#include "../../core/text.h"
#include "net/../core/text.h"
CPP
echo '#include "net/http/client.cpp"' > "$clean/session/scheduler.cpp"
expect 0 "" bash "$check" "$clean"

# planted FILE INCLUDE MESSAGE
while IFS='|' read -r file include message; do
    rm -rf "$tmp/bad" && cp -r "$tmp/clean" "$tmp/bad"
    echo "$include" >> "$tmp/bad/src/$file"
    expect 1 "$message" bash "$check" "$tmp/bad/src"
done <<'TABLE'
net/http/client.cpp|#include "net/../session/scheduler.h"|net must not include session: net/http/client.cpp:6:
net/http/client.cpp|#include <net/http/../../session/scheduler.h>|net must not include session
net/http/client.cpp|#include "../../session/scheduler.h"|net must not include session
core/text.h|#  include "session//./scheduler.h"|core must not include session: core/text.h:2:
net/http/client.cpp|#include "net/../../tests/support/server.h"|net must not include a file outside src/: net/http/client.cpp:6:
core/text.h|#include "../../../etc/passwd"|core must not include a file outside src/
core/text.h|#include "/usr/include/stdio.h"|core must not include a file outside src/
TABLE

# Layer libraries made by the compiler: net's needs a function of session's, core's one of net's.
lib() {  # lib LAYER SOURCE: libkov_LAYER.a in folder $dir
    echo "$2" > "$dir/$1.cpp"
    "$cxx" -c -o "$dir/$1.o" "$dir/$1.cpp"
    "$ar" qc "$dir/libkov_$1.a" "$dir/$1.o"
}
dir="$tmp/good" && mkdir -p "$dir"
lib core 'int Lower() { return 1; }'
lib net 'int Lower(); int Middle() { return Lower(); }'
lib session 'int Middle(); int Higher() { return Middle(); }'
expect 0 "" bash "$check" --symbols "$dir"
dir="$tmp/bad" && rm -rf "$dir" && mkdir -p "$dir"
lib core 'int Lower() { return 1; }'
lib net 'int Higher(); int Middle() { return Higher(); }'
lib session 'int Lower(); int Higher() { return Lower(); }'
expect 1 "net needs a symbol only session defines: Higher()" \
    bash "$check" --symbols "$dir/libkov_core.a" "$dir/libkov_net.a" "$dir/libkov_session.a"
expect 1 "not a layer library" bash "$check" --symbols "$dir/net.o"
echo ok
