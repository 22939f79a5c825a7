# shellcheck shell=bash
# Sourced by check_consumer.sh and check_packages.sh: builds the consumer against an installed library
# twice, through the CMake package and through pkg-config, for the build's target, and runs both. The
# environment names the target: KTRSDK_TARGET_CXX, and in a cross build KTRSDK_TARGET_TOOLCHAIN and
# KTRSDK_TARGET_RUNNER (the emulator that runs the target's programs).

# run_on_target PROGRAM ARG...: runs a program built for the target.
run_on_target() {
    # shellcheck disable=SC2086
    ${KTRSDK_TARGET_RUNNER:-} "$@"
}

# build_and_run_consumer SOURCE_DIR LIBDIR SCRATCH_DIR: LIBDIR holds the libraries, the CMake package and
# the pkg-config files.
build_and_run_consumer() {
    local source_dir=$1 libdir=$2 scratch=$3
    local toolchain=()
    [ -n "${KTRSDK_TARGET_TOOLCHAIN:-}" ] && toolchain=(-DCMAKE_TOOLCHAIN_FILE="$KTRSDK_TARGET_TOOLCHAIN")
    cmake -S "$source_dir" -B "$scratch/cmake-build" -G Ninja "${toolchain[@]}" \
        -Dktrsdk_DIR="$libdir/cmake/ktrsdk" >/dev/null
    cmake --build "$scratch/cmake-build" >/dev/null
    LD_LIBRARY_PATH=$libdir run_on_target "$scratch/cmake-build/consumer"
    # shellcheck disable=SC2046
    "${KTRSDK_TARGET_CXX:-c++}" -std=c++11 -o "$scratch/pkgconfig-consumer" "$source_dir/consumer.cpp" \
        $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs ktrsdk logsdk)
    LD_LIBRARY_PATH=$libdir run_on_target "$scratch/pkgconfig-consumer"
}
