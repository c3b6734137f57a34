#!/usr/bin/env bash
# Installs the Debian and npm packages the build, the demo and the tests need.
# Idempotent and quick when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

DEBIAN_PACKAGES=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev nlohmann-json3-dev
  unixodbc unixodbc-dev odbcinst tdsodbc freetds-bin
  mdbtools
  clang libclang-rt-14-dev
  default-jre-headless libjtds-java
  libsqlite3-dev sqlite3 libssl-dev
  libkrb5-dev libgssapi-krb5-2 krb5-kdc krb5-admin-server krb5-user
  libwxgtk3.2-dev xvfb xauth x11-utils
  xdg-utils
  fonts-dejavu-core fonts-liberation2 fonts-dancingscript
  nodejs
)

missing=()
for p in "${DEBIAN_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing Debian packages: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# npm is shipped inside the nodejs package on some machines and separately on others.
if ! command -v npm >/dev/null 2>&1; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq npm >/dev/null
fi

# The independent mdb-reader checker.
if [ ! -d tools/mdbcheck/node_modules/mdb-reader ]; then
  (cd tools/mdbcheck && npm install --no-audit --no-fund --silent)
fi

# The second TDS client of the stand-in's encryption test (tedious).
if [ ! -d tools/tdsclient/node_modules/tedious ]; then
  (cd tools/tdsclient && npm install --no-audit --no-fund --silent)
fi
