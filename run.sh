#!/usr/bin/env bash
# Builds everything, starts the demo SQL Server (the stand-in with the Sales database and a
# private Kerberos realm) and opens the wizard. Without a display it runs the same
# conversion through the command-line mode and shows what mdbtools reads from the result.
# Works on a fresh Debian 12 machine: installs its own packages first.
set -euo pipefail
cd "$(dirname "$0")"
top="$(pwd)"

./scripts/install-deps.sh

JOBS=${JOBS:-$(nproc)}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"

# The demo's own ODBC configuration: the user's ~/.odbc.ini and /etc/odbc*.ini stay untouched.
var="$top/var"
mkdir -p "$var/odbc/sys" "$var/out"
freetds="$(ls /usr/lib/*/odbc/libtdsodbc.so 2>/dev/null | head -n 1)"
cat > "$var/odbc/sys/odbcinst.ini" <<INI
[ODBC]
Pooling=No

[Microsoft Access Driver (*.mdb)]
Description=Talvoro Jet 4 driver
Driver=$top/build/lib/libtalvoro-mdb.so
Setup=$top/build/lib/libtalvoro-mdb.so

[SQL Server]
Description=FreeTDS with the Talvoro setup library
Driver=$freetds
Setup=$top/build/lib/libtalvoro-sqlsetup.so
INI
touch "$var/odbc/sys/odbc.ini" "$var/odbc/odbc.ini"
export ODBCSYSINI="$var/odbc/sys" ODBCINI="$var/odbc/odbc.ini"

# "(local)" is port 1433; when that port is taken, FreeTDS's TDSPORT points at another one.
port=1433
if (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
fi
login_name=sa login_password=Sales-Demo-1
standin/demo/sales-server.sh stop "$var/demo" >/dev/null 2>&1 || true
server_env="$(standin/demo/sales-server.sh start "$var/demo" --port "$port" --login "$login_name:$login_password")"
trap 'standin/demo/sales-server.sh stop "$var/demo"' EXIT
while IFS= read -r line; do export "$line"; done <<<"$server_env"

# The wizard proposes its destinations in the demo's output folder, the same one
# printed below and used without a display.
export KESTRIN1_DEST_DIR="$var/out"
# The Open dialog for the .mdf starts in the demo database's folder.
export KESTRIN1_DATA_DIR="$var/demo/data"

cat <<TXT

The demo SQL Server runs on 127.0.0.1:$port with the database Sales.
  Source .mdf file:        $var/demo/data/Sales.mdf
  Windows authentication:  works (Kerberos ticket of demo user in a private realm)
  SQL Server login:        $login_name   password: $login_password
  Destination suggestion:  $KESTRIN1_DEST_DIR/Sales.mdb (what Browse proposes)

TXT

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  build/app/Kestrin1
else
  echo "No display found (DISPLAY is not set or not reachable): running the same conversion"
  echo "through the command-line mode instead."
  echo
  dest="$KESTRIN1_DEST_DIR/Sales.mdb"
  build/app/Kestrin1 --database Sales --dest "$dest" --all --overwrite || status=$?
  echo
  echo "What mdbtools reads from $dest:"
  echo "-- mdb-tables:"
  mdb-tables -1 "$dest"
  echo "-- rows per table (mdb-count):"
  mdb-tables -1 "$dest" | while IFS= read -r table; do
    printf '   %-20s %s rows\n' "$table" "$(mdb-count "$dest" "$table")"
  done
  echo "-- mdb-schema:"
  mdb-schema "$dest" access
  exit "${status:-0}"
fi
