#!/usr/bin/env bash
# The demo's SQL Server on this machine: sqlstandin on 127.0.0.1 (port 1433, the
# default instance that "(local)" means) with the database Sales, and a private
# Kerberos realm so that Windows authentication works too.
#
#   sales-server.sh start DIR [--port N] [--login NAME:PASSWORD] [--build BUILD_DIR]
#       Starts the realm and the server; builds Sales in DIR/data on the first start.
#       Prints the environment a client needs (KRB5_CONFIG, KRB5CCNAME, TDSPORT)
#       as shell assignments.
#   sales-server.sh stop DIR
#
# DIR holds data/ (NAME.mdf files), krb5/ (the realm), standin.pid and standin.log.
# BUILD_DIR defaults to build/ in the source tree.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
realm_script="$source_dir/scripts/kerberos-realm.sh"

usage() { sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
die() { echo "sales-server: $*" >&2; exit 1; }
alive() { local state; state="$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)"; [ -n "$state" ] && [ "$state" != Z ]; }
port_is_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

[ $# -ge 2 ] || usage
command="$1" dir="$2"
shift 2

server_running() {
  [ -f "$dir/standin.pid" ] && alive "$(cat "$dir/standin.pid")" &&
    grep -q sqlstandin "/proc/$(cat "$dir/standin.pid")/cmdline" 2>/dev/null
}

case "$command" in
  start)
    port=1433 login="sa:Sales-Demo-1" build="$source_dir/build"
    while [ $# -gt 0 ]; do
      case "$1" in
        --port) port="$2"; shift 2 ;;
        --login) login="$2"; shift 2 ;;
        --build) build="$2"; shift 2 ;;
        *) usage ;;
      esac
    done
    [[ "$login" == *:* ]] || die "--login takes NAME:PASSWORD"
    standin="$build/standin/sqlstandin"
    loader="$build/standin/demo/run_sql_script"
    [ -x "$standin" ] || die "$standin not built"
    [ -x "$loader" ] || die "$loader not built"
    mkdir -p "$dir/data"
    dir="$(cd "$dir" && pwd)"
    server_running && die "already running (pid $(cat "$dir/standin.pid"))"
    port_is_taken "$port" && die "port $port is in use"

    "$realm_script" stop "$dir/krb5" >/dev/null 2>&1 || true
    krb_env="$("$realm_script" start "$dir/krb5" --service-port "$port")"

    "$standin" --data "$dir/data" --port "$port" --login "$login" \
      --keytab "$dir/krb5/service.keytab" </dev/null >>"$dir/standin.log" 2>&1 &
    echo $! > "$dir/standin.pid"
    for _ in $(seq 1 200); do
      alive "$(cat "$dir/standin.pid")" || die "sqlstandin exited (see $dir/standin.log)"
      port_is_taken "$port" && break
      sleep 0.05
    done
    port_is_taken "$port" || die "sqlstandin does not answer on port $port"

    if [ ! -f "$dir/data/Sales.mdf" ]; then
      echo "sales-server: building the Sales database" >&2
      if ! "$loader" --port "$port" --user "${login%%:*}" --password "${login#*:}" --sales; then
        rm -f "$dir/data/Sales.mdf" "$dir/data/Sales.mdf-wal" "$dir/data/Sales.mdf-shm"
        die "loading Sales failed; the server keeps running (sales-server.sh stop $dir)"
      fi
    fi
    echo "$krb_env" | grep -E '^(KRB5_CONFIG|KRB5CCNAME)='
    echo "TDSPORT=$port"
    ;;
  stop)
    [ -d "$dir" ] || exit 0
    if server_running; then
      pid="$(cat "$dir/standin.pid")"
      kill "$pid"
      for _ in $(seq 1 100); do alive "$pid" || break; sleep 0.05; done
    fi
    rm -f "$dir/standin.pid"
    "$realm_script" stop "$dir/krb5" >/dev/null 2>&1 || true
    ;;
  *) usage ;;
esac
