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

# Registers our COM components in the prefix; every run, since the DLLs may have moved.
register_components() {
    local dll
    for dll in "$BIN"/*.dll; do
        case "$(basename "$dll")" in
            opcproxy.dll | grid.dll | opcsim.dll | opcbrowser.dll)
                wine regsvr32 /s "$(winepath -w "$dll")" </dev/null >/dev/null 2>&1 ||
                    log "regsvr32 $(basename "$dll") failed" ;;
        esac
    done
    if [ -x "$ROOT/scripts/register-extra" ]; then "$ROOT/scripts/register-extra"; fi
    # The default world: the server browser, no simulated servers, no network provider.
    if [ -e "$BIN/opcsim-register.exe" ]; then
        wine "$BIN/opcsim-register.exe" reset </dev/null >/dev/null 2>&1 ||
            log "opcsim-register reset failed"
    fi
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
    register_components
}
stop_wine_session() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}


# ---------------------------------------------------------------- scenario worlds
# A scenario may declare the world it needs at its top (simulated servers, network, server
# browser); these hooks register it before the host starts and remove it afterwards.
#   given servers "<file>"    simulated OPC servers of a JSON world file (platform/opcsim)
#   given network "<file>"    a network tree for the network provider
#   given browser on|off      the OPC server browser registered or not
# Paths are relative to the scenario file. Without these lines the prefix has the browser, no
# simulated servers and no network provider.
opcsim_register() {
    wine "$BIN/opcsim-register.exe" "$@" </dev/null >>"$WORLD_LOG" 2>&1
}

scenario_world_up() {
    local scn=$1 dir=$2 kind value path
    WORLD_LOG=$dir/world.log
    : >"$WORLD_LOG"
    while read -r kind value; do
        value=${value%$'\r'}
        case "$kind" in
            servers | network)
                path=${value#\"}; path=${path%\"}
                [[ "$path" = /* ]] || path=$(dirname "$scn")/$path
                if [ ! -e "$path" ]; then
                    echo "given $kind: no file $path" >>"$WORLD_LOG"
                    return 1
                fi
                opcsim_register "$kind" "$(realpath "$path")" || return 1 ;;
            browser)
                opcsim_register browser "$value" || return 1 ;;
        esac
    done < <(sed -nE 's/^[[:space:]]*given[[:space:]]+(servers|network|browser)[[:space:]]+(.*[^[:space:]])[[:space:]]*$/\1 \2/p' "$scn")
    return 0
}

scenario_world_down() {
    [ -e "$BIN/opcsim-register.exe" ] || return 0
    WORLD_LOG=$2/world.log
    opcsim_register reset || true
}
