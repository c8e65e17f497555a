# Sourced by the scripts: a scratch home for kov-cli, no proxies, a server started in
# the background and stopped at the end, and fail.
set -euo pipefail
tmp="$(mktemp -d)"
server=""
servers=()
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null; done
    # A kov-cli --serve saves its list and log as it ends: the folder goes after that.
    for pid in $server "${servers[@]}"; do wait "$pid" 2>/dev/null || true; done
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

support="$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)"

# start_fault http|ftp: a scripted fault server of tests/support on a free port; sets port.
start_fault() {
    local script=fault_server.py
    [ "$1" = ftp ] && script=ftp_fault_server.py
    port=$(free_port)
    python3 "$support/$script" "$port" >/dev/null 2>&1 &
    servers+=($!)
    wait_for_port "$port"
}

# start_nginx ROOT [DIRECTIVES]: nginx serving the folder ROOT on a free port, with more server
# directives if given; sets port.
start_nginx() {
    port=$(free_port)
    local d="$tmp/nginx"
    mkdir -p "$d"
    cat > "$d/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1; pid $d/nginx.pid; error_log $d/error.log;
events { worker_connections 64; }
http {
  access_log off; client_body_temp_path $d/body; proxy_temp_path $d/proxy;
  fastcgi_temp_path $d/fcgi; uwsgi_temp_path $d/uwsgi; scgi_temp_path $d/scgi;
  server { listen 127.0.0.1:$port; root $1; ${2:-} }
}
CONF
    nginx -p "$d" -c "$d/nginx.conf" -e "$d/error.log" &
    servers+=($!)
    wait_for_port "$port"
}
