# Shared set-up for ./run and the scripts it starts: paths, installation, build, Wine prefix.
# shellcheck shell=bash
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
BIN=$BUILD/bin
export WINEPREFIX=$BUILD/wineprefix
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export LOCPATH=$BUILD/locale
XVFB_ARGS="-screen 0 1024x768x24"

log() { echo "[run] $*" >&2; }
# shellcheck source=scripts/postgres.sh
source "$ROOT/scripts/postgres.sh"

# ---------------------------------------------------------------- installation
need_packages() {
    local missing=()
    command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(mingw-w64)
    command -v i686-w64-mingw32-widl >/dev/null || missing+=(mingw-w64-tools)
    command -v wine >/dev/null || missing+=(wine)
    [ -e /usr/lib/wine/wine ] && [ -e /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll ] || missing+=(wine32)
    command -v xvfb-run >/dev/null || missing+=(xvfb xauth)
    command -v import >/dev/null || missing+=(imagemagick)
    [ -e /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || missing+=(fonts-wqy-microhei)
    [ -d /usr/include/nlohmann ] || missing+=(nlohmann-json3-dev)
    [ -d /usr/src/googletest ] || missing+=(googletest)
    command -v localedef >/dev/null && [ -d /usr/share/i18n/locales ] || missing+=(locales)
    command -v cmake >/dev/null || missing+=(cmake)
    command -v ninja >/dev/null || missing+=(ninja-build)
    command -v npm >/dev/null || missing+=(npm)
    # shellcheck disable=SC2207
    missing+=($(pg_missing_packages))
    echo "${missing[@]:-}"
}

install_deps() {
    local missing
    missing=$(need_packages)
    [ -z "$missing" ] && return 0
    log "installing: $missing"
    local sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -q >/dev/null
    pg_before_install
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
        $missing wine32:i386 libwine:i386 fonts-wine >/dev/null
    missing=$(need_packages)
    if [ -n "$missing" ]; then
        log "still missing after apt-get: $missing"
        exit 1
    fi
}

make_locales() {
    # Code page 936 needs the zh_CN.UTF-8 locale; we build it (and en_US) under the build tree
    # instead of changing the system.
    mkdir -p "$LOCPATH"
    local loc
    for loc in zh_CN en_US; do
        if [ ! -e "$LOCPATH/$loc.UTF-8/LC_CTYPE" ]; then
            localedef -i "$loc" -f UTF-8 "$LOCPATH/$loc.UTF-8" 2>/dev/null || true
            [ -e "$LOCPATH/$loc.UTF-8/LC_CTYPE" ] || { log "localedef $loc failed"; exit 1; }
        fi
    done
}

# ---------------------------------------------------------------- build
build() {
    # Configure every time: folders that appeared since are picked up (cheap when nothing did).
    cmake -S "$ROOT" -B "$BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" >"$BUILD/cmake.log" 2>&1 ||
        { cat "$BUILD/cmake.log"; exit 1; }
    log "building"
    if ! cmake --build "$BUILD" -j "$(nproc)" >"$BUILD/build.log" 2>&1; then
        grep -E "error|Error|FAILED" -A3 "$BUILD/build.log" | head -60
        log "build failed (full log: build/build.log)"
        exit 1
    fi
}

# ---------------------------------------------------------------- Wine prefix
set_lang() {
    case "$1" in
        zh) { export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8; } 2>/dev/null ;;
        en) { export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8; } 2>/dev/null ;;
        *) log "unknown language '$1' (zh or en)"; exit 2 ;;
    esac
}

make_prefix() {
    if [ ! -e "$WINEPREFIX/.ready" ]; then
        log "creating the Wine prefix"
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        DISPLAY= wineboot -i </dev/null >"$BUILD/wineboot.log" 2>&1
        wineserver -w
        # Windows unmanaged: on a bare X server a managed window waits for a window manager.
        # Chinese fonts: the dialogs ask for SimSun; WenQuanYi has the glyphs.
        cat >"$BUILD/prefix.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="Y"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"SimSun"="WenQuanYi Micro Hei"
"NSimSun"="WenQuanYi Micro Hei"
"MS Sans Serif"="Tahoma"
EOF
        # The key name with Chinese characters goes in through reg.exe (UTF-8 command line).
        DISPLAY= wine regedit /S "$(winepath -w "$BUILD/prefix.reg")" </dev/null >/dev/null 2>&1
        DISPLAY= wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '宋体' /d 'WenQuanYi Micro Hei' /f \
            </dev/null >/dev/null 2>&1
        local fonts="$WINEPREFIX/drive_c/windows/Fonts"
        mkdir -p "$fonts"
        cp /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf "$fonts/" 2>/dev/null || true
        wineserver -w
        touch "$WINEPREFIX/.ready"
    fi
}

# The COM servers of the stand-ins, registered in the prefix every run (the DLLs may have moved).
COM_SERVERS=(opcproxy.dll grid.dll opcsim.dll opcbrowser.dll)

register_components() {
    local dll
    for dll in "${COM_SERVERS[@]}"; do
        [ -e "$BIN/$dll" ] || { log "$dll was not built"; exit 1; }
        wine regsvr32 /s "$(to_windows "$BIN/$dll")" </dev/null >/dev/null 2>&1 ||
            { log "regsvr32 $dll failed"; exit 1; }
    done
    [ -e "$BIN/opcsim-register.exe" ] || { log "opcsim-register.exe was not built"; exit 1; }
    # The default world: the server browser, no simulated servers, no network provider.
    wine "$BIN/opcsim-register.exe" reset </dev/null >/dev/null 2>&1 ||
        { log "opcsim-register reset failed"; exit 1; }
}

# Paths between Linux and the prefix, where drive Z: is the root (checked when a session
# starts); cheaper than a winepath process for every file.
to_windows() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s\n' "${path//\//\\}"
}
to_unix() {
    local path=${1#[Zz]:}
    printf '%s\n' "${path//\\//}"
}

setup() {
    install_deps
    make_locales
    mkdir -p "$BUILD"
    build
    set_lang "${RUN_LANG:-zh}"
    make_prefix
}

# Inside an X display: one persistent wineserver for the whole batch.
start_wine_session() {
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    [ "$(readlink "$WINEPREFIX/dosdevices/z:")" = / ] ||
        { log "drive Z: of the prefix is not the root directory"; exit 1; }
    register_components
}
stop_wine_session() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}


# ---------------------------------------------------------------- scenarios
# A scenario says at its top what it needs before the host starts: its plug-ins, its language,
# simulated OPC servers, a network, the server browser, an alias file, a database (README: the
# steps). The host reads the scenario and tells us what to do (host.exe --world); we do it, run
# the host, check that no simulated server is still held, and undo it all.
opcsim_register() {
    wine "$BIN/opcsim-register.exe" "$@" </dev/null >>"$WORLD_LOG" 2>&1
}

# scenario_world_up SCN DIR [PLUGIN...]: sets up what SCN needs (PLUGINs: the plug-ins when it
# names none and its folder does not name one). Sets SCENARIO_LANG, SCENARIO_PLUGINS,
# SCENARIO_CLEANUP and SCENARIO_POSTGRES (1: the scenario writes point tables that can go to the
# test PostgreSQL server too); false with the reason in DIR/world.log.
scenario_world_up() {
    local scn=$1 dir=$2
    shift 2
    local defaults=() plugin kind first second aliases=installed
    for plugin in "$@"; do defaults+=(--plugin "$plugin"); done
    SCENARIO_LANG=zh
    SCENARIO_PLUGINS=()
    SCENARIO_CLEANUP=()
    SCENARIO_POSTGRES=0
    WORLD_LOG=$dir/world.log
    : >"$WORLD_LOG"
    if ! wine "$BIN/host.exe" --world "$(to_windows "$scn")" "${defaults[@]}" \
        </dev/null >"$dir/world.txt" 2>&1; then
        cat "$dir/world.txt" >>"$WORLD_LOG"
        return 1
    fi
    while IFS=$'\t' read -r kind first second; do
        case "$kind" in
            lang) SCENARIO_LANG=$first ;;
            plugin) SCENARIO_PLUGINS+=("$first") ;;
            servers | network | browser) opcsim_register "$kind" "$first" || return 1 ;;
            alias-file)
                aliases=given
                SCENARIO_CLEANUP+=("$(to_unix "$second")")
                cp "$(to_unix "$first")" "$(to_unix "$second")" 2>>"$WORLD_LOG" || return 1 ;;
            no-alias-file) aliases=none ;;
            database) [ "$second" != postgres ] || SCENARIO_POSTGRES=1 ;;
            *) echo "host --world said: $kind $first $second" >>"$WORLD_LOG"; return 1 ;;
        esac
    done <"$dir/world.txt"
    # pelorin is installed with an AliasFile.txt beside it (empty until the engineer fills it);
    # a scenario runs it so unless it brings its own file or wants none.
    if [ $aliases = installed ] && [[ " ${SCENARIO_PLUGINS[*]} " == *" pelorin "* ]]; then
        SCENARIO_CLEANUP+=("$BIN/AliasFile.txt")
        : >"$BIN/AliasFile.txt" 2>>"$WORLD_LOG" || return 1
    fi
}

# Undoes scenario_world_up, whatever happened in between.
scenario_world_down() {
    WORLD_LOG=$1/world.log
    opcsim_register reset || log "opcsim-register reset failed"
    local file
    for file in "${SCENARIO_CLEANUP[@]}"; do rm -f "$file"; done
    SCENARIO_CLEANUP=()
}

# run_scenario SCN DIR [START_DEVICE [PLUGIN...]]: runs one scenario the way ./run test does, with
# its output in DIR (host.log, device files, screenshots, the simulated servers' reports).
# START_DEVICE: a device file to start from instead of a new device. SCENARIO_DATABASE, when set,
# is where the scenario's point tables go instead of a file: "postgres" (the test server, started
# here when the run has none) or an ODBC connection string. Returns the host's exit status, or 1
# when a simulated server is still held afterwards (SCENARIO_LEAKED says what).
run_scenario() {
    local scn=$1 dir=$2 start=${3:-}
    shift $(($# < 3 ? $# : 3))
    local rc=0 args=() plugin device
    SCENARIO_LEAKED=
    mkdir -p "$dir/opcsim"
    if [ -n "${SCENARIO_DATABASE:-}" ]; then
        args+=(--database "$SCENARIO_DATABASE")
        if [ "$SCENARIO_DATABASE" = postgres ] && [ -z "${TABULO_TEST_ODBC:-}" ]; then
            pg_up || true # without it the host says why
        fi
    fi
    if scenario_world_up "$scn" "$dir" "$@"; then
        for plugin in "${SCENARIO_PLUGINS[@]}"; do
            device=$dir/device.json
            [ ${#SCENARIO_PLUGINS[@]} = 1 ] || device=$dir/device-$(basename "${plugin//\\//}").json
            [ -z "$start" ] || cp "$start" "$device"
            args+=(--plugin "$plugin" --device "$(to_windows "$device")")
        done
        # Simulated servers write their counts into OPCSIM_REPORT_DIR when released; anything
        # still held by then is a reference the plug-in leaked.
        (set_lang "$SCENARIO_LANG"
            export OPCSIM_REPORT_DIR; OPCSIM_REPORT_DIR=$(to_windows "$dir/opcsim")
            timeout 120 wine "$BIN/host.exe" "${args[@]}" --scenario "$(to_windows "$scn")" \
                --out "$(to_windows "$dir")" </dev/null >"$dir/host.log" 2>&1) || rc=$?
        SCENARIO_LEAKED=$(grep -h "^outstanding" "$dir"/opcsim/*.txt 2>/dev/null |
            grep -v "objects=0 references=0 sinks=0") || true
        [ -z "$SCENARIO_LEAKED" ] || [ $rc != 0 ] || rc=1
    else
        cp "$WORLD_LOG" "$dir/host.log"
        rc=2
    fi
    scenario_world_down "$dir"
    return $rc
}

# What went wrong in a failed run_scenario, indented, for a summary: the failing step and its
# reason, or the host's own complaint, or else the end of its output.
scenario_failure() {
    local dir=$1 found
    found=$({ grep -A1 "^FAIL" "$dir/host.log"; grep -E "^host:|stopping the host" "$dir/host.log"; } |
        grep -v '^--$' | head -6) || true
    [ -n "$found" ] || found=$(grep -v '^\s*$' "$dir/host.log" | tail -4) || true
    printf '%s\n' "$found" | sed 's/^/    /'
    [ -z "${SCENARIO_LEAKED:-}" ] || echo "    a simulated server still holds: $SCENARIO_LEAKED"
}
