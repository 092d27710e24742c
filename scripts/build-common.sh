# Shared by scripts/test, run and bench: installs what is missing and brings the
# build folder up to date. Sourced, not run; the caller is at the repository root.

BUILD_DIR=${BUILD_DIR:-build}

# Configures BUILD_DIR (once with the Ninja generator; later runs keep the cache)
# with warnings as errors, passing any extra cache options given as arguments.
velo_configure() {
    local gen=()
    if [[ ! -f "$BUILD_DIR/CMakeCache.txt" ]]; then
        gen=(-G Ninja)
    fi
    cmake -S . -B "$BUILD_DIR" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELO_WERROR=ON "$@"
}

# Builds the given targets (all when none) with two jobs.
velo_build() {
    if (($# > 0)); then
        cmake --build "$BUILD_DIR" -j2 --target "$@"
    else
        cmake --build "$BUILD_DIR" -j2
    fi
}
