# Sourced by the scripts: a scratch home for kov-cli, no proxies, a server started in
# the background and stopped at the end, and fail.
set -euo pipefail
tmp="$(mktemp -d)"
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
export KOV_HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"
unset http_proxy https_proxy ftp_proxy all_proxy no_proxy HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY
fail() { echo "FAIL: $*" >&2; exit 1; }

# A free port on 127.0.0.1.
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Waits until 127.0.0.1:$1 accepts connections.
wait_for_port() {
    for _ in $(seq 100); do
        python3 -c "import socket; socket.create_connection(('127.0.0.1',$1))" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "nothing listens on port $1"
}
