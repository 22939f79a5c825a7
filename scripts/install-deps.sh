#!/usr/bin/env bash
# Installs the Debian packages that building and testing ktrsdk need, plus any named on the command line;
# does nothing when all are present.
set -euo pipefail

packages=(cmake ninja-build g++ clang binutils libgtest-dev abigail-tools pkgconf
    nlohmann-json3-dev libcli11-dev libfmt-dev python3-matplotlib libpcre2-dev zlib1g-dev dpkg-dev doxygen "$@")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
