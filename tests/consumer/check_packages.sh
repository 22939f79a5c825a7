#!/usr/bin/env bash
# Builds the Debian packages, checks their architecture, contents and dependencies, then unpacks them into
# scratch roots as a host's machine would have them: the development files build and run the consumer
# through the CMake package and through pkg-config (with the target's compiler, under its emulator in a
# cross build), and, where the tools are built (KTRSDK_TOOLS), the installed ktr, with the packages it
# depends on, finds the runtime library and receives its lines. KTRSDK_DEB_ARCHITECTURE is the
# architecture the packages must name.
# Usage: check_packages.sh BUILD_DIR CONSUMER_SOURCE_DIR SCENARIO SCRATCH_DIR
set -euo pipefail
# shellcheck source=tests/consumer/consumer_build.sh
source "$(dirname "$0")/consumer_build.sh"
build_dir=$1
source_dir=$2
scenario=$3
scratch=$4

rm -rf "$scratch"
mkdir -p "$scratch"
cpack --config "$build_dir/CPackConfig.cmake" -B "$scratch/packages" >/dev/null

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

package() {
    local found
    found=$(find "$scratch/packages" -maxdepth 1 -name "$1_*.deb" | head -n 1)
    [ -n "$found" ] || fail "no package $1"
    echo "$found"
}

# expect_files PACKAGE PATH...: the package holds exactly these files and links, no more.
expect_files() {
    local deb actual expected
    deb=$(package "$1")
    shift
    actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort)
    expected=$(printf '%s\n' "$@" | sort)
    [ "$actual" = "$expected" ] || fail "$(basename "$deb") holds:"$'\n'"$actual"$'\n'"expected:"$'\n'"$expected"
}

expect_files libktrsdk1 usr/lib/libktrsdk.so.1 usr/lib/libktrsdk.so.1.0.0
config=$(find "$build_dir/CMakeFiles/Export" -name 'ktrsdkTargets-*.cmake' -printf '%f\n' | sed 's/ktrsdkTargets-//')
expect_files libktrsdk-dev usr/include/ktrsdk/IKTRSDK.h usr/lib/libktrsdk.so usr/lib/pkgconfig/ktrsdk.pc \
    usr/lib/cmake/ktrsdk/ktrsdkConfig.cmake usr/lib/cmake/ktrsdk/ktrsdkConfigVersion.cmake \
    usr/lib/cmake/ktrsdk/ktrsdkTargets.cmake "usr/lib/cmake/ktrsdk/ktrsdkTargets-$config"
expect_files liblogsdk1 usr/include/ktrsdk/xlog/logsdk.h usr/lib/liblogsdk.so usr/lib/liblogsdk.so.1 \
    usr/lib/liblogsdk.so.1.0.0 usr/lib/pkgconfig/logsdk.pc usr/lib/cmake/ktrsdk/logsdkTargets.cmake \
    "usr/lib/cmake/ktrsdk/logsdkTargets-$config"
tools=${KTRSDK_TOOLS:-ON}
packages=(libktrsdk1 libktrsdk-dev liblogsdk1)
[ "$tools" = ON ] && packages+=(ktrsdk-tools)
for name in "${packages[@]}"; do
    architecture=$(dpkg-deb -f "$(package "$name")" Architecture)
    [ "$architecture" = "$KTRSDK_DEB_ARCHITECTURE" ] ||
        fail "$name is built for $architecture, not $KTRSDK_DEB_ARCHITECTURE"
done
if [ "$tools" = ON ]; then
    expect_files ktrsdk-tools usr/bin/ktr usr/share/ktrsdk/plot_cdf.py usr/share/ktrsdk/plot_common.py \
        usr/share/ktrsdk/plot_sim.py usr/share/ktrsdk/plot_timeline.py
elif [ -n "$(find "$scratch/packages" -maxdepth 1 -name 'ktrsdk-tools_*.deb')" ]; then
    fail "a build without the tools packaged ktrsdk-tools"
fi

depends() { dpkg-deb -f "$(package "$1")" Depends; }
depends libktrsdk1 | grep -q logsdk && fail "the runtime package pulls a logger in: $(depends libktrsdk1)"
depends libktrsdk-dev | grep -q 'libktrsdk1 (= ' || fail "libktrsdk-dev does not depend on its runtime"
depends libktrsdk1 | grep -q 'libstdc++6' || fail "the runtime package does not depend on libstdc++6: $(depends libktrsdk1)"

# A host's machine with the runtime, the development files and the stand-in logger.
root=$scratch/root
for name in libktrsdk1 libktrsdk-dev liblogsdk1; do
    dpkg-deb -x "$(package "$name")" "$root"
done
build_and_run_consumer "$source_dir" "$root/usr/lib" "$scratch"

if [ "$tools" != ON ]; then
    echo "packages for $KTRSDK_DEB_ARCHITECTURE: contents, dependencies, consumer through CMake and pkg-config: ok"
    exit 0
fi
depends ktrsdk-tools | grep -q 'libktrsdk1 (= ' || fail "ktrsdk-tools does not depend on the runtime"
depends ktrsdk-tools | grep -q 'liblogsdk1 (= ' || fail "ktrsdk-tools does not depend on the logger it links"

# A machine with the tools and what they depend on: ktr finds the versioned library and the logger in
# its ../lib, and the library's lines reach it.
tools_root=$scratch/tools-root
for name in libktrsdk1 liblogsdk1 ktrsdk-tools; do
    dpkg-deb -x "$(package "$name")" "$tools_root"
done
"$tools_root/usr/bin/ktr" replay --log "$scenario" >"$scratch/replay.txt" ||
    fail "the installed ktr did not replay $scenario"
grep -q 'upload' "$scratch/replay.txt" || fail "the installed ktr's replay shows no upload answer"
grep -q '\[KTRMgr::init\]: ' "$scratch/replay.txt" || fail "the installed ktr's replay shows no line of the library"
echo "packages for $KTRSDK_DEB_ARCHITECTURE: contents, dependencies, consumer through CMake and pkg-config, installed ktr: ok"
