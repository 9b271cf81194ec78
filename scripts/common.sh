# Shared by scripts/run and scripts/test: install what is missing, then build.
# Sourced, not run.

ZV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

zv_missing_packages() {
    local pkg missing=()
    while read -r pkg; do
        [[ -z "$pkg" || "$pkg" == \#* ]] && continue
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed"; then
            missing+=("$pkg")
        fi
    done <"$ZV_ROOT/scripts/packages.txt"
    echo "${missing[@]}"
}

# Installs the missing packages as root; as another user prints the command and fails.
zv_install_packages() {
    local missing
    missing="$(zv_missing_packages)"
    [[ -z "$missing" ]] && return 0
    if [[ "$(id -u)" -ne 0 ]]; then
        echo "Zorvendal needs these Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y $missing" >&2
        return 1
    fi
    echo "Installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq $missing >/dev/null
}

# zv_build DIR BUILD_TYPE [SANITIZER] [TARGET...]
zv_build() {
    local dir="$1" type="$2" sanitizer="${3:-}"
    shift 3 || shift $#
    cmake -S "$ZV_ROOT" -B "$ZV_ROOT/$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" \
        -DZV_SANITIZE="$sanitizer" >/dev/null || return 1
    cmake --build "$ZV_ROOT/$dir" ${1:+--target "$@"}
}
