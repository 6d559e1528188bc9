# Shared by run.sh and test.sh: installs what is missing and builds.
# Sourced, not run.

# zorvik_install PACKAGE...: installs the Debian packages that are missing.
zorvik_install() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}" >&2
        # A download the network drops is fetched again, up to three times.
        DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3 update -qq >&2
        DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3 install -y -qq --no-install-recommends \
            "${missing[@]}" >&2
    else
        echo "Some packages are missing. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
}

# The build's progress on standard error: on a terminal one line that the
# next overwrites, elsewhere a line a step; targets already built pass
# quietly, and what the compiler says comes through whole.
zorvik_progress() {
    local line shown=""
    while IFS= read -r line; do
        case "$line" in
        *"Built target"* | *"Consolidate compiler generated dependencies"*) ;;
        "["*"%]"*)
            if [ -t 2 ]; then printf '\r\033[K%s' "${line:0:$(( ${COLUMNS:-100} - 1 ))}" >&2; shown=1
            else echo "$line" >&2; fi ;;
        *) [ -n "$shown" ] && echo >&2; shown=""; echo "$line" >&2 ;;
        esac
    done
    [ -n "$shown" ] && echo >&2
    return 0
}

# zorvik_build DIR BUILD_TYPE [CMAKE_OPTION...]: configures and builds,
# saying so.
zorvik_build() {
    local dir="$1" type="$2"
    shift 2
    echo "Configuring ${dir#"$ZORVIK_ROOT"/} ($type)" >&2
    cmake -S "$ZORVIK_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
    echo "Building ${dir#"$ZORVIK_ROOT"/}" >&2
    cmake --build "$dir" -j2 2>&1 | zorvik_progress
    return "${PIPESTATUS[0]}"
}

# zorvik_npm DIR: installs DIR's npm packages, pinned by its lock file,
# unless they are installed from that same lock file already. The registry
# is reached over the network, which now and then drops a download part
# way, so a failed install is tried again after a pause, three tries in all.
zorvik_npm() {
    local dir="$1" try
    cmp -s "$dir/package-lock.json" "$dir/node_modules/.zorvik-lock" && return 0
    echo "Installing the npm packages of ${dir#"$ZORVIK_ROOT"/}" >&2
    for try in 1 2 3; do
        if (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null); then
            cp "$dir/package-lock.json" "$dir/node_modules/.zorvik-lock"
            return 0
        fi
        if [ "$try" -lt 3 ]; then
            echo "npm could not install the packages of $dir; trying again in $((try * 15)) s" >&2
            sleep $((try * 15))
        fi
    done
    echo "npm could not install the packages of $dir" >&2
    return 1
}

ZORVIK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZORVIK_PACKAGES=(cmake g++ make libsdl1.2-dev libpng-dev zlib1g-dev libgif-dev libedit-dev nlohmann-json3-dev)
