# Shell functions that put the demo update server where the updater's compiled-in base
# address points, shared by scripts/demo.sh and the real-window tests. Source this file.
#
# The base address is fixed when the updater is built (QZUPDATE_BASE_URL), so the server
# must answer on exactly that host and port. To let several runs do so at once without
# fighting over the port, a run can move into a network namespace of its own: a private
# loopback interface on which the port is always free.

# Splits an http:// address into LN_HOST, LN_PORT (80 when none is given) and LN_PATH
# (the path without its trailing slash). Fails for other schemes.
ln_parse_base_url() {
  local rest=${1#http://}
  if [ "$rest" = "$1" ]; then
    echo "not an http:// address: $1" >&2
    return 1
  fi
  local authority=${rest%%/*}
  LN_PATH=/${rest#*/}
  [ "$authority" = "$rest" ] && LN_PATH=/
  LN_PATH=${LN_PATH%/}
  LN_HOST=${authority%%:*}
  LN_PORT=80
  [ "$authority" != "$LN_HOST" ] && LN_PORT=${authority#*:}
  return 0
}

# Re-runs the calling script ($1, with its arguments after it) in a new network and IPC
# namespace, with only the loopback interface up, and does not return. Returns (status 1)
# when namespaces are not available here; the caller then goes on in the shared network.
ln_enter_private_network() {
  [ -n "${LN_PRIVATE:-}" ] && return 0
  local script=$1
  shift
  local how
  for how in "--net --ipc" "--user --map-root-user --net --ipc"; do
    # shellcheck disable=SC2086
    if unshare $how true 2>/dev/null && command -v ip >/dev/null; then
      # shellcheck disable=SC2086
      LN_PRIVATE=1 exec unshare $how bash "$script" "$@"
    fi
  done
  return 1
}

# Inside the private network: brings the loopback up and gives it the base address's
# host when that is an IPv4 address outside 127.0.0.0/8.
ln_setup_private_loopback() {
  [ -n "${LN_PRIVATE:-}" ] || return 0
  ip link set lo up
  case $LN_HOST in
    localhost | 127.*) ;;
    *[!0-9.]*)
      echo "the base address's host $LN_HOST is a name; only IP addresses can be served here" >&2
      return 1
      ;;
    *) ip addr add "$LN_HOST/32" dev lo ;;
  esac
}

# True when something already accepts connections on LN_HOST:LN_PORT.
ln_port_taken() {
  (exec 3<>"/dev/tcp/$LN_HOST/$LN_PORT") 2>/dev/null
}

# The updater fetches with libcurl, which honours the proxy variables; the demo server is
# local, so no proxy may stand in between.
ln_no_proxy() {
  unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY
  export no_proxy='*' NO_PROXY='*'
}

# Starts the demo server ($1) on LN_HOST:LN_PORT serving folder $2, logging to $3, with
# $4 milliseconds of delay per answer (default 0). Sets LN_SERVER_PID; returns once the
# server answers, or fails.
ln_start_server() {
  local server=$1 root=$2 log=$3 delay=${4:-0}
  # Further arguments go to the server as they are (--rate BYTES).
  shift $(($# < 4 ? $# : 4))
  if ln_port_taken; then
    echo "port $LN_PORT on $LN_HOST is already in use; stop whatever listens there" >&2
    return 1
  fi
  "$server" --root "$root" --bind "$LN_HOST" --port "$LN_PORT" --delay "$delay" "$@" >"$log" 2>&1 &
  LN_SERVER_PID=$!
  local tries=0
  until grep -q '^serving ' "$log" 2>/dev/null; do
    if ! kill -0 "$LN_SERVER_PID" 2>/dev/null || [ $tries -ge 100 ]; then
      echo "the demo server did not start:" >&2
      cat "$log" >&2
      return 1
    fi
    sleep 0.1
    tries=$((tries + 1))
  done
}

ln_stop_server() {
  if [ -n "${LN_SERVER_PID:-}" ]; then
    kill "$LN_SERVER_PID" 2>/dev/null
    wait "$LN_SERVER_PID" 2>/dev/null
    LN_SERVER_PID=
  fi
}
