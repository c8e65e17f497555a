#!/usr/bin/env bash
# kov-cli --distribute and --merge: a 50 MB file on nginx split in three portions, each
# fetched by an installation of its own from the part definition carried to it, the parts
# gathered and merged into a file with the source's SHA-256.
cli="$1"
source "$(dirname "$0")/common.bash"

mkdir -p "$tmp/www"
head -c 50000000 /dev/urandom > "$tmp/www/big.bin"
start_nginx "$tmp/www"
url="http://127.0.0.1:$port/big.bin"

# kov-cli in the installation (program folder) NAME.
in_home() { local name=$1; shift; KOV_HOME="$tmp/$name" "$cli" "$@"; }
# The folder the installation NAME downloads the current list into.
folder_of() { echo "$tmp/$1/Download/Main"; }
# Runs the portion of a part definition file in the installation NAME.
fetch_portion() {
    in_home "$1" --import "$2" >/dev/null || fail "import into $1"
    in_home "$1" -a > "$tmp/$1.log" || fail "portion in $1: $(cat "$tmp/$1.log")"
}

in_home a --add "$url" >/dev/null
in_home a --distribute 1 3 > "$tmp/out" || fail "distribute: $(cat "$tmp/out")"
grep -q "One part size is : 16,666,666 Bytes" "$tmp/out" || fail "part size: $(cat "$tmp/out")"
grep -q "carry the part definitions by hand" "$tmp/out" || fail "no hosts: $(cat "$tmp/out")"
defs=("$(folder_of a)"/Distributed-*.ini)
[ ${#defs[@]} = 2 ] || fail "definitions: ${defs[*]}"

fetch_portion b "${defs[0]}"
fetch_portion c "${defs[1]}"
in_home a -a > "$tmp/a.log" || fail "own portion: $(cat "$tmp/a.log")"
[ "$(stat -c %s "$(folder_of a)/big.bin.001")" = 16666666 ] || fail "portion 1 size"
[ "$(stat -c %s "$(folder_of c)/big.bin.003")" = 16666668 ] || fail "portion 3 size"

# A missing part stops the merge: no whole file, the parts stay.
cp "$(folder_of b)/big.bin.002" "$(folder_of a)/"
if in_home a --merge "$(folder_of a)" > "$tmp/out" 2>&1; then fail "merged without part 3"; fi
grep -q "File read error - .*big.bin.003" "$tmp/out" || fail "error: $(cat "$tmp/out")"
[ ! -e "$(folder_of a)/big.bin" ] && [ -e "$(folder_of a)/big.bin.001" ] || fail "after failure"

cp "$(folder_of c)/big.bin.003" "$(folder_of a)/"
in_home a --merge "$(folder_of a)/big.bin.002" > "$tmp/out" || fail "merge: $(cat "$tmp/out")"
[ "$(sha256sum < "$(folder_of a)/big.bin")" = "$(sha256sum < "$tmp/www/big.bin")" ] ||
    fail "merged file differs from the source"
[ -e "$(folder_of a)/big.bin.003" ] || fail "the parts were deleted without being asked"

# Parts carried to a folder of their own with one definition: merged there, then deleted.
mkdir "$tmp/carried"
mv "$(folder_of a)"/big.bin.00? "${defs[0]}" "$tmp/carried/"
in_home b --merge "$tmp/carried/big.bin" --delete-parts > "$tmp/out" || fail "carried: $(cat "$tmp/out")"
cmp -s "$tmp/carried/big.bin" "$tmp/www/big.bin" || fail "carried merge differs"
[ -z "$(ls "$tmp/carried"/big.bin.00? 2>/dev/null)" ] || fail "--delete-parts kept parts"
echo ok
