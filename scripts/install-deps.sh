#!/usr/bin/env bash
# Installs the Debian packages that building and testing ktrsdk need, plus any named on the command line,
# then the npm packages of the HTML report's page and its browser tests (tools/html/web, pinned by its lock
# file); does nothing when all are present.
set -euo pipefail
cd "$(dirname "$0")/.."

# The cross compilers, GoogleTest's sources and qemu-user build and run the arm64 and armhf presets.
# Slurm's daemons, client and munge run the private cluster of the sweeps.slurm test.
packages=(cmake ninja-build g++ clang binutils libgtest-dev googletest abigail-tools pkgconf
    g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user slurmctld slurmd slurm-client munge
    nlohmann-json3-dev libcli11-dev libfmt-dev python3-matplotlib libpcre2-dev zlib1g-dev libssl-dev dpkg-dev doxygen cppcheck clang-tidy nodejs chromium "$@")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# npm comes with some builds of nodejs and is a package of its own in Debian's.
if ! command -v npm >/dev/null; then
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends npm
fi
# node_modules/.ktr-lock holds the lock file that the installed packages came from.
web=tools/html/web
if ! cmp -s "$web/package-lock.json" "$web/node_modules/.ktr-lock" 2>/dev/null; then
    (cd "$web" && npm ci --no-audit --no-fund --loglevel=error && cp package-lock.json node_modules/.ktr-lock)
fi
