# Shared by ./kestrel and ./check: Debian packages, the build, Xvfb and Wine prefixes.
# Sourced, not run.

KESTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KESTREL_BUILD=${KESTREL_BUILD:-$KESTREL_ROOT/build}

# What building and running need.
KESTREL_RUN_PACKAGES=(wine wine64 wine64-tools libdevil-dev libjpeg62-turbo-dev cmake make g++ xvfb xauth trayer
    x11-utils fp-utils-3.2.2 xchm)
# What the tests need on top.
KESTREL_TEST_PACKAGES=(xdotool imagemagick giflib-tools libgif-dev python3-pil python3-numpy
    libgtest-dev libbenchmark-dev clang libclang-rt-14-dev procps xclip cups printer-driver-cups-pdf poppler-utils)

say() { printf 'kestrel: %s\n' "$*" >&2; }

ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    say "installing missing Debian packages: ${missing[*]}"
    say "reading the package lists"
    "${sudo[@]}" apt-get update -qq
    say "downloading and installing ${#missing[@]} packages (a minute or two on a fresh machine)"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    say "packages installed"
}

# Builds the given targets (all of them when none are named). The compiler's output
# goes to build.log; on a failure its end is shown.
build_kestrel() {
    if [ ! -f "$KESTREL_BUILD/CMakeCache.txt" ]; then
        say "configuring the build in $KESTREL_BUILD"
        mkdir -p "$KESTREL_BUILD"
        if ! cmake -S "$KESTREL_ROOT" -B "$KESTREL_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            >"$KESTREL_BUILD/configure.log" 2>&1; then
            tail -n 30 "$KESTREL_BUILD/configure.log" >&2
            rm -f "$KESTREL_BUILD/CMakeCache.txt"
            return 1
        fi
    fi
    local targets=() t
    for t in "$@"; do targets+=(--target "$t"); done
    say "building ${*:-everything} (the first build takes a few minutes; log: $KESTREL_BUILD/build.log)"
    if ! cmake --build "$KESTREL_BUILD" -j "$(nproc)" "${targets[@]}" >"$KESTREL_BUILD/build.log" 2>&1; then
        grep -E 'error|Error' "$KESTREL_BUILD/build.log" | head -n 20 >&2
        tail -n 20 "$KESTREL_BUILD/build.log" >&2
        say "the build failed"
        return 1
    fi
}

# Starts Xvfb on the first free display and exports DISPLAY; kill with stop_xvfb.
start_xvfb() {
    local geometry=${1:-1024x768x24} n
    for n in $(seq 90 150); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 "$geometry" -nolisten tcp >/dev/null 2>&1 &
        KESTREL_XVFB_PID=$!
        local i
        for i in $(seq 1 100); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.05
        done
        export DISPLAY=":$n"
        return 0
    done
    say "no free X display found"
    return 1
}

stop_xvfb() {
    [ -n "${KESTREL_XVFB_PID:-}" ] && kill "$KESTREL_XVFB_PID" 2>/dev/null
    KESTREL_XVFB_PID=
}

# Creates the Wine prefix in $WINEPREFIX once, quietly.
prepare_wineprefix() {
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
}

# The print tests print for real: a cups-pdf queue "PDF", the default printer, whose
# jobs land as PDF files in ~/PDF/ of the user who printed. Without systemd nothing
# starts the spooler, so it is started here and left running like a service. Wine
# takes CUPS's printers and default afresh whenever a process loads its spooler, so
# a prefix made before the queue existed sees it too.
ensure_pdf_printer() {
    local sudo=() i
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    if ! lpstat -r 2>/dev/null | grep -q 'scheduler is running'; then
        say "starting the print spooler"
        "${sudo[@]}" /usr/sbin/cupsd
        for i in $(seq 1 100); do
            lpstat -r 2>/dev/null | grep -q 'scheduler is running' && break
            sleep 0.1
        done
    fi
    if ! lpstat -p PDF >/dev/null 2>&1; then
        say "adding the printer PDF"
        # lpadmin warns that PPD drivers are deprecated; they still work in CUPS 2.4.
        "${sudo[@]}" lpadmin -p PDF -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null ||
            { say "the printer PDF could not be added"; return 1; }
    fi
    lpstat -d 2>/dev/null | grep -q ': PDF$' || "${sudo[@]}" lpadmin -d PDF
}
