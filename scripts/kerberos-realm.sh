#!/usr/bin/env bash
# A private MIT Kerberos realm on loopback, kept entirely inside one directory:
# its own krb5.conf and kdc.conf, a KDC on a free port, a user principal and
# the SQL Server service principal MSSQLSvc/127.0.0.1:<port> in a keytab, and a
# credential cache holding the user's ticket. Nothing in /etc is read or changed.
#
#   kerberos-realm.sh start DIR [--service-port N] [--user NAME] [--password PW]
#       Creates the realm (once) and starts its KDC; logs the user on (kinit).
#       Prints the environment a client needs, as shell assignments.
#   kerberos-realm.sh add-service DIR PORT
#       Adds MSSQLSvc/127.0.0.1:PORT to DIR/service.keytab (the stand-in's --keytab).
#   kerberos-realm.sh kinit DIR      Fetches the user's ticket again.
#   kerberos-realm.sh env DIR        Prints the client environment again.
#   kerberos-realm.sh stop DIR       Stops the KDC (the files stay).
#   kerberos-realm.sh remove DIR     Stops the KDC and deletes DIR.
#
# Files in DIR: krb5.conf, kdc.conf, service.keytab (service key), user.keytab
# (the user's key, used by kinit), ccache, kdc.pid, kdc.port, kdc.log, db/.
set -euo pipefail

REALM=TEST.LOCAL
PATH="$PATH:/usr/sbin:/sbin"

usage() { sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
die() { echo "kerberos-realm: $*" >&2; exit 1; }

[ $# -ge 2 ] || usage
command="$1"
dir="$2"
shift 2
[ "$command" = remove ] || [ "$command" = stop ] || mkdir -p "$dir"
[ -d "$dir" ] || { [ "$command" = remove ] && exit 0; die "no realm directory $dir"; }
dir="$(cd "$dir" && pwd)"

export KRB5_CONFIG="$dir/krb5.conf"
export KRB5_KDC_PROFILE="$dir/kdc.conf"
export KRB5CCNAME="FILE:$dir/ccache"

service_principal() { echo "MSSQLSvc/127.0.0.1:$1@$REALM"; }

# A process that has exited but not been reaped yet (state Z) counts as gone.
alive() { local state; state="$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)"; [ -n "$state" ] && [ "$state" != Z ]; }

port_is_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

write_config() {
  local port="$1"
  cat > "$dir/kdc.conf" <<CONF
[kdcdefaults]
  kdc_ports = $port
  kdc_tcp_ports = $port
[realms]
  $REALM = {
    database_name = $dir/db/principal
    key_stash_file = $dir/db/stash
    acl_file = $dir/db/kadm5.acl
    max_life = 1d
  }
[logging]
  kdc = FILE:$dir/kdc.log
CONF
  # udp_preference_limit = 1: always TCP, the port we know is ours.
  cat > "$dir/krb5.conf" <<CONF
[libdefaults]
  default_realm = $REALM
  dns_lookup_kdc = false
  dns_lookup_realm = false
  rdns = false
  dns_canonicalize_hostname = false
  udp_preference_limit = 1
[realms]
  $REALM = {
    kdc = 127.0.0.1:$port
  }
[domain_realm]
  127.0.0.1 = $REALM
CONF
}

kadmin() { kadmin.local -r "$REALM" -q "$1" >>"$dir/kadmin.log" 2>&1 || die "kadmin.local '$1' failed (see $dir/kadmin.log)"; }

create_database() {
  local user="$1" password="$2"
  mkdir -p "$dir/db"
  : > "$dir/db/kadm5.acl"
  # The master password only protects the stash file inside DIR.
  kdb5_util create -s -r "$REALM" -P "master-$RANDOM$RANDOM" >"$dir/kdb5_util.log" 2>&1 \
    || die "kdb5_util create failed (see $dir/kdb5_util.log)"
  kadmin "addprinc -pw $password $user"
  # -norandkey keeps the password valid while putting its key in a keytab, so
  # kinit needs no terminal.
  kadmin "ktadd -norandkey -k $dir/user.keytab $user"
  echo "$user" > "$dir/user"
}

add_service() {
  local port="$1"
  [[ "$port" =~ ^[0-9]+$ ]] || die "bad service port '$port'"
  local principal
  principal="$(service_principal "$port")"
  if ! kadmin.local -r "$REALM" -q "getprinc $principal" 2>/dev/null | grep -q "^Principal:"; then
    kadmin "addprinc -randkey $principal"
    kadmin "ktadd -k $dir/service.keytab $principal"
  fi
}

kdc_running() {
  [ -f "$dir/kdc.pid" ] || return 1
  local pid
  pid="$(cat "$dir/kdc.pid")"
  # Only a KDC of this realm counts (the pid could have been reused).
  [ -r "/proc/$pid/environ" ] && tr '\0' '\n' < "/proc/$pid/environ" | grep -qx "KRB5_KDC_PROFILE=$dir/kdc.conf"
}

start_kdc() {
  local attempt port pid
  for attempt in $(seq 1 20); do
    port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
    port_is_taken "$port" && continue
    write_config "$port"
    krb5kdc -n -P "$dir/kdc.pid" </dev/null >>"$dir/kdc.out" 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do
      alive "$pid" || break
      if port_is_taken "$port"; then
        echo "$pid" > "$dir/kdc.pid"
        echo "$port" > "$dir/kdc.port"
        return 0
      fi
      sleep 0.05
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  die "cannot start krb5kdc (see $dir/kdc.out and $dir/kdc.log)"
}

do_kinit() {
  kinit -k -t "$dir/user.keytab" "$(cat "$dir/user")" >"$dir/kinit.log" 2>&1 \
    || die "kinit failed (see $dir/kinit.log)"
}

print_env() {
  echo "KRB5_CONFIG=$dir/krb5.conf"
  echo "KRB5CCNAME=$KRB5CCNAME"
  echo "KRB5_KTNAME=FILE:$dir/service.keytab"
  echo "TALVORO_KRB5_USER=$(cat "$dir/user")@$REALM"
  echo "TALVORO_KRB5_KDC_PORT=$(cat "$dir/kdc.port")"
}

stop_kdc() {
  if kdc_running; then
    local pid
    pid="$(cat "$dir/kdc.pid")"
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do alive "$pid" || break; sleep 0.02; done
  fi
  rm -f "$dir/kdc.pid"
}

case "$command" in
  start)
    service_port="" user=alice password="Secret-1"
    while [ $# -gt 0 ]; do
      case "$1" in
        --service-port) service_port="$2"; shift 2 ;;
        --user) user="$2"; shift 2 ;;
        --password) password="$2"; shift 2 ;;
        *) usage ;;
      esac
    done
    command -v krb5kdc >/dev/null || die "krb5kdc not found (Debian packages krb5-kdc, krb5-admin-server, krb5-user)"
    kdc_running && die "the realm in $dir is already running"
    # The database does not depend on the KDC port, so a restart keeps it.
    [ -f "$dir/kdc.conf" ] || write_config 88
    [ -d "$dir/db" ] || create_database "$user" "$password"
    [ -z "$service_port" ] || add_service "$service_port"
    start_kdc
    do_kinit
    print_env
    ;;
  add-service) [ $# -eq 1 ] || usage; add_service "$1" ;;
  kinit) do_kinit ;;
  env) print_env ;;
  stop) [ -d "$dir" ] && stop_kdc ;;
  remove) stop_kdc; rm -rf "$dir" ;;
  *) usage ;;
esac
