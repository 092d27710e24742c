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

# Prints the names of the build's targets that match an extended regular expression.
velo_targets_matching() {
    cmake --build "$BUILD_DIR" --target help 2>/dev/null |
        sed -nE 's/^([A-Za-z0-9_.+-]+): .*/\1/p' | grep -E "^($1)\$" | sort -u || true
}

# Creates a demo database in DIR with velodb unless DIR already exists; the
# remaining arguments go to "velodb demo". A failed run leaves no half-made folder.
velo_make_demo() {
    local dir=$1
    shift
    if [[ -d "$dir" ]]; then
        return 0
    fi
    echo "Creating the demo database in $dir"
    mkdir -p "$(dirname "$dir")"
    if ! "$BUILD_DIR/bin/velodb" demo "$dir" "$@"; then
        echo "velodb demo failed; removing $dir" >&2
        rm -rf "$dir"
        return 1
    fi
}
