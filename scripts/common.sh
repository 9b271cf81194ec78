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

# zv_install_tools COMMAND...: the benchmarks' reference programs (from Debian packages
# of the same names), installed as root when missing; as another user prints the command
# and fails.
zv_install_tools() {
    local tool missing=()
    for tool in "$@"; do command -v "$tool" >/dev/null || missing+=("$tool"); done
    ((${#missing[@]})) || return 0
    if [[ "$(id -u)" -ne 0 ]]; then
        echo "install first: sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# zv_build DIR BUILD_TYPE [SANITIZER] [TARGET...]
zv_build() {
    local dir="$1" type="$2" sanitizer="${3:-}"
    shift 3 || shift $#
    cmake -S "$ZV_ROOT" -B "$ZV_ROOT/$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" \
        -DZV_SANITIZE="$sanitizer" >/dev/null || return 1
    cmake --build "$ZV_ROOT/$dir" ${1:+--target "$@"}
}

# run_suite NAME DIR [ctest args...]: runs ctest in DIR (relative to the project or
# absolute), keeps the whole output in DIR/ctest-NAME.log, shows the failures and
# one summary line, and returns non-zero when ctest failed or ran no test.
run_suite() {
    local name="$1" dir="$2"
    shift 2
    [[ "$dir" == /* ]] || dir="$ZV_ROOT/$dir"
    # The log stays with its build, so runs from other checkouts never mix into it.
    local log="$dir/ctest-$name.log" rc summary
    echo "== $name"
    (cd "$dir" && ctest --output-on-failure -j "${jobs:-$(nproc)}" "$@") >"$log" 2>&1
    rc=$?
    grep -E "\*\*\*|Failed|Timeout|Not Run" "$log" | grep -v "^[[:space:]]*Start"
    summary="$(grep -E "tests passed" "$log" | tail -n 1)"
    # A suite that found no tests is a broken build, not a pass.
    [[ -n "$summary" ]] || rc=1
    echo "$name: ${summary:-no tests ran} (ctest exit $rc, log $log)"
    return "$rc"
}
