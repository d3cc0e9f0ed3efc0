#!/usr/bin/env bash
# Installs what Glassfall's build, tests and demo need on Debian 12, when missing.
#   bash scripts/setup.sh            # what builds and tests need (scripts/packages.txt)
#   bash scripts/setup.sh desktops   # the desktops the end-to-end files start (KWin, GNOME Shell and
#                                    # their portals: scripts/packages-desktops.txt), without the
#                                    # packages they only recommend; the test run installs them
#                                    # while it builds
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list=$here/packages.txt
apt_options=()
if [ "${1:-}" = desktops ]; then
  list=$here/packages-desktops.txt
  apt_options=(--no-install-recommends)
fi

missing=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done < "$list"

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${apt_options[@]}" "${missing[@]}" >/dev/null
fi

[ "${1:-}" = desktops ] && exit 0

# Wine uses the Japanese ANSI code page (932) only when this glibc locale exists.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  "${sudo_cmd[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
