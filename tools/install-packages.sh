#!/usr/bin/env bash
# Installs the Debian packages listed in the given package lists (default:
# tools/debian-packages.txt) that are not installed yet. Runs apt-get as
# root, or through sudo otherwise. Downloads that fail are tried again.
#
#   tools/install-packages.sh [LIST...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
lists=("$@")
[ ${#lists[@]} -gt 0 ] || lists=("$here/debian-packages.txt")

missing=()
for list in "${lists[@]}"; do
    [ -f "$list" ] || { echo "install-packages: no package list $list" >&2; exit 1; }
    while read -r pkg; do
        pkg="${pkg%%#*}"; pkg="${pkg//[[:space:]]/}"
        [ -n "$pkg" ] || continue
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done < "$list"
done

[ ${#missing[@]} -eq 0 ] && exit 0
# A package named in both lists is installed once.
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)

echo "Installing Debian packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Run as root or install sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
# No package may ask a question (jackd2 asks about real-time priority):
# each takes its default. sudo resets the environment, so the setting is
# passed through env on its command line as well.
export DEBIAN_FRONTEND=noninteractive
[ -z "$sudo" ] || sudo="sudo env DEBIAN_FRONTEND=noninteractive"

# Up to four attempts, waiting 5, 10 and 20 s between them; apt itself also
# asks a mirror again for each file that fails.
retry()
{
    local attempt delay=5
    for attempt in 1 2 3 4; do
        "$@" && return 0
        [ "$attempt" -lt 4 ] || return 1
        echo "install-packages: '$*' failed (attempt $attempt of 4); trying again in $delay s" >&2
        sleep "$delay"
        delay=$((delay * 2))
    done
}
apt_opts=(-o Acquire::Retries=3)
retry $sudo apt-get "${apt_opts[@]}" update -qq
retry $sudo apt-get "${apt_opts[@]}" install -y -qq --no-install-recommends "${missing[@]}"
