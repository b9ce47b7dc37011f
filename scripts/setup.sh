#!/usr/bin/env bash
# Installs everything a fresh Debian 12 machine needs to build, test and run quelby and audit.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

PKGS=(
  build-essential cmake ninja-build pkg-config clang-14 libclang-rt-14-dev
  libgtest-dev libgmock-dev
  libldap-dev libsasl2-dev libsasl2-modules libsasl2-modules-gssapi-mit libkrb5-dev libgnutls28-dev
  gss-ntlmssp
  samba samba-ad-dc samba-ad-provision krb5-user ldb-tools
  slapd ldap-utils
  libfltk1.3-dev xvfb xdotool imagemagick x11-apps
  time tzdata python3 procps iproute2 strace
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  # Keep package installs from starting system-wide services (slapd, samba) that would
  # take the loopback ports the test servers need.
  made_policy=0
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod +x /usr/sbin/policy-rc.d
    made_policy=1
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
  [ $made_policy -eq 1 ] && $SUDO rm -f /usr/sbin/policy-rc.d
fi
echo "setup: all packages present"
