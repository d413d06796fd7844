#!/usr/bin/env bash
# Cross-builds the third-party libraries the Windows build needs and Debian
# does not ship for mingw-w64, in two layers:
#  - the first: libogg, libvorbis, FLAC, Opus (libsndfile takes Vorbis, FLAC
#    and Opus together or none), mpg123, LAME (libsndfile's MPEG support needs
#    both mpg123 and LAME), libsndfile, libopenmpt and libpng; zlib comes from
#    Debian's libz-mingw-w64-dev;
#  - the second, the controllers' libraries: oscpack (OSC over UDP, on
#    Winsock) and RtMidi (MIDI ports, on the Windows multimedia API, WinMM).
#    They use nothing of the first layer; a layer of their own keeps the
#    first one's long build when they change.
#
# The sources are Debian's own source packages, with Debian's patches applied,
# fetched by apt-get source through a private apt configuration (its own
# sources list, package lists and cache in the cache folder), so the machine's
# apt set-up is left alone and no root is needed.
#
# Each layer is built as DLLs into a prefix of its own, which also holds its
# libraries' licence texts, share/licenses/NAME/, which build.sh puts beside
# their DLLs in the package:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/kestrelux/win64-deps/<key>/
#   ${XDG_CACHE_HOME:-$HOME/.cache}/kestrelux/win64-controllers/<key>/
# where <key> hashes the layer's source package versions (their .dsc
# checksums), its recipe (this script and the toolchain file) and the versions
# of the cross compiler. A run that finds a layer's key built leaves it alone.
# The two prefixes, separated by a colon (first layer first), are printed on
# the last line of standard output; all progress goes to standard error. The
# toolchain file, build.sh and copy-dlls.sh take that list as it is.
#
# Usage: build-deps.sh [--jobs N] [--offline] [--keep-build] [--prune]
#        build-deps.sh --print-prefix
#   --print-prefix  print the prefixes of a finished build and exit (offline,
#                   builds nothing, fails if a layer is not built)
#   --offline       no apt-get update and no downloads: use the package
#                   lists and sources already in the cache folder
#   --jobs N        parallel make jobs (default: number of processors)
#   --keep-build    keep the build folders after a successful build
#   --prune         remove finished prefixes with another key
# Environment: KX_WIN_DEPS_CACHE overrides the first layer's cache folder
#   (which also holds the private apt set-up and the sources); the second
#   layer's is the folder win64-controllers beside it.
set -euo pipefail

readonly HOST=x86_64-w64-mingw32
readonly MINGW_SYSROOT=/usr/$HOST
# Naming the build machine keeps configure scripts in cross mode even where
# Wine is registered to run .exe files directly.
BUILD_TRIPLET="$(cc -dumpmachine 2>/dev/null || echo "$(uname -m)-linux-gnu")"
SCRIPT_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
SCRIPT_PATH="$SCRIPT_DIR/$(basename "${BASH_SOURCE[0]}")"
readonly SCRIPT_DIR SCRIPT_PATH
readonly TOOLCHAIN_FILE="$SCRIPT_DIR/mingw-w64-x86_64.cmake"
readonly CACHE_ROOT="${KX_WIN_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrelux/win64-deps}"
CONTROLLERS_ROOT="$(dirname "$CACHE_ROOT")/win64-controllers"
readonly CONTROLLERS_ROOT

# Debian source packages, in build order (each may use the ones before it).
readonly SOURCE_PACKAGES=(libogg libvorbis flac opus mpg123 lame libsndfile libopenmpt libpng1.6)
# The second layer's.
readonly CONTROLLER_PACKAGES=(oscpack rtmidi)

log() { printf 'build-deps: %s\n' "$*" >&2; }
die() { printf 'build-deps: error: %s\n' "$*" >&2; exit 1; }

jobs="$(nproc 2>/dev/null || echo 2)"
offline=0
print_prefix=0
keep_build=0
prune=0
while (($#)); do
    case "$1" in
        --jobs) [[ $# -ge 2 && "$2" =~ ^[1-9][0-9]*$ ]] || die "--jobs needs a positive number"
                jobs="$2"; shift ;;
        --jobs=*) jobs="${1#--jobs=}"; [[ "$jobs" =~ ^[1-9][0-9]*$ ]] || die "--jobs needs a positive number" ;;
        --offline) offline=1 ;;
        --print-prefix) print_prefix=1; offline=1 ;;
        --keep-build) keep_build=1 ;;
        --prune) prune=1 ;;
        -h|--help) sed -n '2,/^set -euo/p' "$SCRIPT_PATH" | sed '$d; s/^# \{0,1\}//' >&2; exit 0 ;;
        *) die "unknown option '$1' (see --help)" ;;
    esac
    shift
done

# --- tools ------------------------------------------------------------------

check_tools()
{
    local missing=() tool
    for tool in "$HOST-gcc-posix" "$HOST-g++-posix" "$HOST-windres" "$HOST-strip" "$HOST-objdump" \
                apt-get apt-cache dpkg-source dpkg-query sha256sum cmake make pkg-config \
                autoreconf automake libtoolize flock; do
        command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    [[ -f "$MINGW_SYSROOT/lib/pkgconfig/zlib.pc" && -f "$MINGW_SYSROOT/lib/zlib1.dll" ]] ||
        missing+=("zlib for mingw-w64 ($MINGW_SYSROOT/lib/zlib1.dll)")
    if ((${#missing[@]})); then
        log "missing tools: ${missing[*]}"
        die "install the packages listed in $SCRIPT_DIR/debian-packages.txt:
    apt-get install \$(grep -v '^#' $SCRIPT_DIR/debian-packages.txt)"
    fi
}

# --- private apt ------------------------------------------------------------

readonly APT_DIR="$CACHE_ROOT/apt"
readonly SOURCES_DIR="$CACHE_ROOT/sources"
APT_OPTS=(
    -o "Dir::Etc::SourceList=$APT_DIR/sources.list"
    -o "Dir::Etc::SourceParts=$APT_DIR/sources.list.d"
    -o "Dir::State=$APT_DIR/state"
    -o "Dir::Cache=$APT_DIR/cache"
)
# apt hands downloads to the _apt user when it runs as root; that user cannot
# write to a cache under /root.
if ((EUID == 0)); then APT_OPTS+=(-o "APT::Sandbox::User=root"); fi
# A mirror that drops a connection or answers slowly is asked again: by apt
# for each file (Acquire::Retries), and by the whole command (retry below).
APT_OPTS+=(-o "Acquire::Retries=3" -o "Acquire::http::Timeout=60" -o "Acquire::https::Timeout=60")
readonly APT_ATTEMPTS=4

# Runs a command up to APT_ATTEMPTS times, waiting longer after each failure
# (5 s, 10 s, 20 s); its output goes to the log file $1, appended. A file the
# mirror does not have (404: its lists are ahead of its pool) is not asked
# for again: the caller tries an older version instead.
retry()
{
    local logfile="$1" attempt delay=5 size
    shift
    for ((attempt = 1; ; attempt++)); do
        size="$(stat -c %s "$logfile" 2>/dev/null || echo 0)"
        "$@" >>"$logfile" 2>&1 && return 0
        ((attempt < APT_ATTEMPTS)) || return 1
        tail -c +"$((size + 1))" "$logfile" | grep -q '^E: Failed to fetch .* 404 ' && return 1
        log "attempt $attempt of $APT_ATTEMPTS failed: ${*: -1}; trying again in $delay s"
        sleep "$delay"
        delay=$((delay * 2))
    done
}

# deb-src lines for the Debian archives this machine installs from (same
# mirrors, suites and components), else Debian's defaults for its release.
write_sources_list()
{
    local lines keyring=/usr/share/keyrings/debian-archive-keyring.gpg signed=""
    [[ -f "$keyring" ]] && signed="[signed-by=$keyring] "
    # shellcheck disable=SC2016 # apt's own $(FIELD) placeholders
    lines="$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' \
                 'Identifier: Packages' 'Origin: Debian' 2>/dev/null | sort -u |
             while read -r uri suite component; do
                 [[ -n "$component" ]] && printf 'deb-src %s%s %s %s\n' "$signed" "$uri" "$suite" "$component"
             done)" || true
    if [[ -z "$lines" ]]; then
        local codename
        # shellcheck disable=SC1091
        codename="$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")"
        [[ -n "$codename" ]] || die "cannot tell the Debian release of this machine"
        lines="deb-src ${signed}http://deb.debian.org/debian $codename main
deb-src ${signed}http://deb.debian.org/debian $codename-updates main
deb-src ${signed}http://deb.debian.org/debian-security $codename-security main"
    fi
    mkdir -p "$APT_DIR/sources.list.d" "$APT_DIR/state/lists/partial" "$APT_DIR/cache/archives/partial"
    printf '%s\n' "$lines" >"$APT_DIR/sources.list.new"
    mv "$APT_DIR/sources.list.new" "$APT_DIR/sources.list"
}

update_lists()
{
    write_sources_list
    log "updating the private source package lists ($APT_DIR)"
    : >"$APT_DIR/update.log"
    if ! retry "$APT_DIR/update.log" apt-get "${APT_OPTS[@]}" -q update; then
        if compgen -G "$APT_DIR/state/lists/*Sources*" >/dev/null; then
            log "warning: apt-get update failed (see $APT_DIR/update.log); using the lists from an earlier run"
        else
            cat "$APT_DIR/update.log" >&2
            die "apt-get update failed and there are no earlier lists"
        fi
    fi
}

# All versions of a source package the lists know, newest first.
source_versions()
{
    local versions=() v i j
    mapfile -t versions < <(apt-cache "${APT_OPTS[@]}" showsrc --only-source "$1" 2>/dev/null |
                            sed -n 's/^Version: //p' | sort -u)
    # Insertion sort with dpkg's own version comparison (a handful of items).
    for ((i = 1; i < ${#versions[@]}; i++)); do
        v="${versions[i]}"
        for ((j = i - 1; j >= 0; j--)); do
            dpkg --compare-versions "${versions[j]}" lt "$v" || break
            versions[j + 1]="${versions[j]}"
        done
        versions[j + 1]="$v"
    done
    ((${#versions[@]} == 0)) || printf '%s\n' "${versions[@]}"
}

# The .dsc file name of package $1 at version $2 (epoch dropped, as in the pool).
dsc_name() { printf '%s_%s.dsc' "$1" "${2#*:}"; }

# True when every file the .dsc lists is in the source folder with its checksum.
sources_complete()
{
    local dsc="$SOURCES_DIR/$1"
    [[ -f "$dsc" ]] || return 1
    (cd "$SOURCES_DIR" &&
        awk '/^Checksums-Sha256:/ {on = 1; next} /^[^ ]/ {on = 0} on && NF == 3 {print $1 "  " $3}' "$dsc" |
        sha256sum --quiet --check >/dev/null 2>&1)
}

# Picks, for every source package, the newest version whose files can be had
# (some mirrors lag behind their own lists), fetching it unless offline.
# Writes "package version dsc sha256-of-dsc" lines to $1 for the packages
# named after it.
resolve_sources()
{
    local manifest="$1" pkg version dsc found
    shift
    mkdir -p "$SOURCES_DIR"
    : >"$manifest"
    for pkg in "$@"; do
        found=""
        while read -r version; do
            [[ -n "$version" ]] || continue
            dsc="$(dsc_name "$pkg" "$version")"
            if ! sources_complete "$dsc" && ((!offline)); then
                log "fetching source package $pkg $version"
                : >"$APT_DIR/source-$pkg.log"
                (cd "$SOURCES_DIR" &&
                    retry "$APT_DIR/source-$pkg.log" apt-get "${APT_OPTS[@]}" -q --download-only source "$pkg=$version") ||
                    log "warning: could not fetch $pkg $version (see $APT_DIR/source-$pkg.log); trying an older version"
            fi
            if sources_complete "$dsc"; then
                found="$version"
                break
            fi
        done < <(source_versions "$pkg")
        if [[ -z "$found" ]]; then
            ((offline)) && die "no complete source package for $pkg in $SOURCES_DIR (run without --offline/--print-prefix first)"
            die "could not fetch any version of the source package $pkg (see $APT_DIR/source-$pkg.log)"
        fi
        printf '%s %s %s %s\n' "$pkg" "$found" "$dsc" \
            "$(sha256sum "$SOURCES_DIR/$dsc" | cut -d' ' -f1)" >>"$manifest"
    done
}

# --- cache key --------------------------------------------------------------

toolchain_description()
{
    dpkg-query -W -f='${Package} ${Version}\n' \
        gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
        mingw-w64-x86-64-dev libz-mingw-w64-dev libz-mingw-w64 2>/dev/null || true
    "$HOST-gcc-posix" --version | head -n1
    "$HOST-g++-posix" -v 2>&1 | tail -n1
}

# A layer's key: its manifest $1, the lines its recipe function $2 prints,
# the compilers.
compute_key()
{
    {
        cat "$1"
        "$2"
        toolchain_description
    } | sha256sum | cut -c1-16
}

# The second layer's recipe: this whole script and the toolchain file.
controllers_recipe()
{
    sha256sum <"$SCRIPT_PATH"
    sha256sum <"$TOOLCHAIN_FILE"
}

# The first layer's recipe: its package list, the building section below
# (from "--- building ---" to "--- second layer": the shared helpers and
# its build functions) and the toolchain file. Its prefixes were keyed, before
# the second layer existed, with the digests of the script and the toolchain
# file of that time; the toolchain file has since learnt to take several
# prefixes, which leaves a one-prefix build as it was. While the recipe is
# that one (its digest BASE_RECIPE_SHA256), the old digests stand for it, so
# those prefixes stay valid; any change to it makes a new key.
readonly BASE_RECIPE_SHA256=edba47977243c2842d913687113329257071dad490f9163bd03bb8a3d1230429
readonly BASE_RECIPE_KEYED_AS=(
    f43b82f0c6c9f335c434576c337c65bd979315bcf90c67a4d691ec26bccb870f
    adf15cfed3eed463942f4b3afe011ecc8a809fca0be3ccc3faa434d28c8dfc95
)

base_recipe_sha256()
{
    {
        declare -p SOURCE_PACKAGES
        sed -n '/^# --- building ---/,/^# --- second layer/p' "$SCRIPT_PATH"
        cat "$TOOLCHAIN_FILE"
    } | sha256sum | cut -d' ' -f1
}

base_recipe()
{
    local digest
    digest="$(base_recipe_sha256)"
    if [[ "$digest" == "$BASE_RECIPE_SHA256" ]]; then
        printf '%s  -\n' "${BASE_RECIPE_KEYED_AS[@]}"
    else
        printf '%s  -\n' "$digest"
    fi
}

# --- building ---------------------------------------------------------------

PREFIX=""
BUILD_DIR=""
LOG=""

# Runs a command with its output in the package's log; on failure shows the
# end of the log and stops.
run()
{
    if ! "$@" >>"$LOG" 2>&1; then
        log "failed: $*"
        log "last lines of $LOG:"
        tail -n 40 "$LOG" >&2
        die "building $CURRENT_PKG failed (the build folder $BUILD_DIR is kept; rerun to continue)"
    fi
}

cross_env()
{
    export CC="$HOST-gcc-posix" CXX="$HOST-g++-posix"
    export AR="$HOST-ar" RANLIB="$HOST-ranlib" STRIP="$HOST-strip"
    export RC="$HOST-windres" WINDRES="$HOST-windres" NM="$HOST-nm" DLLTOOL="$HOST-dlltool"
    export CFLAGS="-O2" CXXFLAGS="-O2" CPPFLAGS="-I$PREFIX/include" LDFLAGS="-L$PREFIX/lib"
    export PKG_CONFIG_LIBDIR="$PREFIX/lib/pkgconfig:$MINGW_SYSROOT/lib/pkgconfig"
    unset PKG_CONFIG_PATH PKG_CONFIG_SYSROOT_DIR
}

# Unpacks a source package (with Debian's patches) into the build folder and
# enters it.
unpack()
{
    local pkg="$1" version dsc dir
    read -r _ version dsc _ < <(grep "^$pkg " "$MANIFEST")
    dir="$BUILD_DIR/src/$pkg"
    rm -rf "$dir"
    mkdir -p "$BUILD_DIR/src"
    run dpkg-source -x "$SOURCES_DIR/$dsc" "$dir"
    cd "$dir"
}

# Regenerates the autotools files when Debian's patches change their inputs
# (make would try to, with whatever automake is at hand) or when the source
# has no configure script.
autoreconf_if_patched()
{
    local patch
    if [[ ! -x configure ]]; then
        run autoreconf -fi
        return
    fi
    [[ -f debian/patches/series ]] || return 0
    while read -r patch _; do
        [[ -n "$patch" && "$patch" != \#* && -f "debian/patches/$patch" ]] || continue
        if grep -Eq '^\+\+\+ .*(configure\.(ac|in)|Makefile\.am|Makemodule\.am|\.m4)([[:space:]]|$)' \
                "debian/patches/$patch"; then
            run autoreconf -fi
            return
        fi
    done <debian/patches/series
}

autotools_build()
{
    autoreconf_if_patched
    run ./configure --build="$BUILD_TRIPLET" --host="$HOST" --prefix="$PREFIX" --disable-static --enable-shared \
        --disable-dependency-tracking "$@"
    run make -j"$jobs"
    run make install
}

cmake_build()
{
    run cmake -S . -B kx-build -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN_FILE" \
        -DKX_WIN_DEPS_PREFIX="$PREFIX" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DBUILD_SHARED_LIBS=ON "$@"
    run cmake --build kx-build -j"$jobs"
    run cmake --install kx-build
}

build_libogg() { unpack libogg; autotools_build; }

build_libvorbis() { unpack libvorbis; autotools_build --disable-docs --disable-examples --disable-oggtest; }

build_flac()
{
    unpack flac
    autotools_build --disable-cpplibs --disable-programs --disable-examples --disable-doxygen-docs \
        --disable-thorough-tests --disable-oggtest --disable-stack-smash-protection \
        --disable-fortify-source --disable-rpath --disable-version-from-git
}

build_opus()
{
    unpack opus
    # Opus adds -D_FORTIFY_SOURCE=2 unless it is defined already; on mingw-w64
    # that needs libssp, which nothing else here uses.
    CPPFLAGS="$CPPFLAGS -D_FORTIFY_SOURCE=0" autotools_build --disable-doc --disable-extra-programs --disable-stack-protector
}

build_mpg123()
{
    # Only libmpg123: no player, no libout123/libsyn123.
    unpack mpg123
    autoreconf_if_patched
    run ./configure --build="$BUILD_TRIPLET" --host="$HOST" --prefix="$PREFIX" --disable-static --enable-shared \
        --disable-dependency-tracking --with-cpu=x86-64 --disable-modules --with-audio=dummy \
        --disable-network
    run make -j"$jobs" src/libmpg123/libmpg123.la libmpg123.pc
    mkdir -p "$PREFIX/lib/pkgconfig" "$PREFIX/include"
    run ./libtool --mode=install install -c src/libmpg123/libmpg123.la "$PREFIX/lib"
    run install -m 644 src/libmpg123/mpg123.h src/libmpg123/fmt123.h "$PREFIX/include"
    run install -m 644 libmpg123.pc "$PREFIX/lib/pkgconfig"
}

build_lame()
{
    unpack lame
    # The export list names lame_init_old, which lame.c defines static; a
    # mingw link refuses to export a symbol it cannot find.
    run sed -i '/^lame_init_old$/d' include/libmp3lame.sym
    autotools_build --disable-frontend --disable-mp3x --disable-mp3rtp --disable-gtktest \
        --disable-rpath --disable-nasm
}

build_libsndfile()
{
    unpack libsndfile
    cmake_build -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_REGTEST=OFF \
        -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=ON \
        -DENABLE_COMPATIBLE_LIBSNDFILE_NAME=ON -DENABLE_STATIC_RUNTIME=OFF -DENABLE_EXPERIMENTAL=OFF
    # CMake quietly drops codecs whose libraries it does not find.
    grep -q '^#define HAVE_EXTERNAL_XIPH_LIBS 1' kx-build/src/config.h ||
        die "libsndfile was configured without Ogg/Vorbis/FLAC/Opus (see $LOG)"
    grep -q '^#define HAVE_MPEG 1' kx-build/src/config.h ||
        die "libsndfile was configured without MPEG (mpg123/LAME) support (see $LOG)"
}

build_libopenmpt()
{
    unpack libopenmpt
    autotools_build --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
        --with-zlib --with-mpg123 --with-ogg --with-vorbis --with-vorbisfile \
        --without-portaudio --without-portaudiocpp --without-pulseaudio --without-sdl2 \
        --without-sndfile --without-flac
}

build_libpng1.6()
{
    unpack libpng1.6
    # Keeps the unversioned libpng.pc: the project asks pkg-config for "libpng".
    autotools_build --enable-hardware-optimizations --without-binconfigs
}

finish_prefix()
{
    # zlib1.dll is Debian's; libpng and libopenmpt need it beside them.
    install -m 644 "$MINGW_SYSROOT/lib/zlib1.dll" "$PREFIX/bin/"
    # What the Windows build does not use: libtool archives, docs, manuals,
    # autoconf macros, programs and scripts.
    find "$PREFIX" -name '*.la' -delete
    rm -rf "$PREFIX/share/doc" "$PREFIX/share/man" "$PREFIX/share/aclocal"
    find "$PREFIX/bin" ! -type d ! -name '*.dll' -delete
    "$HOST-strip" --strip-unneeded "$PREFIX"/bin/*.dll
    # Every DLL must find what it imports in the prefix, the compiler's
    # runtime or Windows itself.
    run "$SCRIPT_DIR/copy-dlls.sh" --prefix "$PREFIX" "$BUILD_DIR/dll-check" "$PREFIX"/bin/*.dll
}

# --- second layer: the controllers' libraries -------------------------------

build_oscpack()
{
    unpack oscpack
    # Only the library, as a DLL. Debian's Makefile builds the POSIX sockets
    # and upstream's CMake file installs nothing, so the sources are compiled
    # here, with the Win32 sockets (Winsock, and the multimedia timer behind
    # the timer listeners). The code declares no exports: the linker exports
    # every symbol.
    # osc::int64 is "long" on every x86-64 but for Visual C++; mingw-w64's long
    # has 32 bits as Visual C++'s, so 64-bit arguments and time tags would be
    # cut to 32 bits: on Windows it is "long long", as on 32-bit systems.
    # (The file has DOS line ends.)
    run sed -i '0,/^#elif defined(__x86_64__) || defined(_M_X64)/s//#elif (defined(__x86_64__) || defined(_M_X64)) \&\& !defined(_WIN32)/' \
        osc/OscTypes.h
    grep -q '^#elif (defined(__x86_64__) || defined(_M_X64)) && !defined(_WIN32)' osc/OscTypes.h ||
        die "oscpack: osc/OscTypes.h no longer has the 64-bit type choice this script corrects"
    local sources=(osc/OscTypes.cpp osc/OscReceivedElements.cpp osc/OscPrintReceivedElements.cpp
                   osc/OscOutboundPacketStream.cpp ip/IpEndpointName.cpp
                   ip/win32/NetworkingUtils.cpp ip/win32/UdpSocket.cpp)
    mkdir -p "$PREFIX/bin" "$PREFIX/lib" "$PREFIX/include/oscpack/ip" "$PREFIX/include/oscpack/osc"
    # shellcheck disable=SC2086 # CXXFLAGS holds several flags
    run "$CXX" $CXXFLAGS -I. -shared -o "$PREFIX/bin/liboscpack.dll" \
        -Wl,--out-implib,"$PREFIX/lib/liboscpack.dll.a" "${sources[@]}" -lws2_32 -lwinmm
    # Where Debian puts them: <oscpack/osc/...>, <oscpack/ip/...>.
    run install -m 644 ip/*.h "$PREFIX/include/oscpack/ip"
    run install -m 644 osc/*.h "$PREFIX/include/oscpack/osc"
    run install -D -m 644 LICENSE "$PREFIX/share/licenses/oscpack/LICENSE"
}

build_rtmidi()
{
    unpack rtmidi
    # The toolchain file wants the prefix's pkg-config folder to exist.
    mkdir -p "$PREFIX/lib/pkgconfig"
    # WinMM only (mingw-w64 would also offer kernel streaming, and JACK if it
    # were there); no test programs; nothing in CMake's user package registry.
    cmake_build -DRTMIDI_API_WINMM=ON -DRTMIDI_API_JACK=OFF -DRTMIDI_BUILD_TESTING=OFF \
        -DCMAKE_EXPORT_NO_PACKAGE_REGISTRY=ON
    grep -q -- '-D__WINDOWS_MM__' "$PREFIX/lib/pkgconfig/rtmidi.pc" ||
        die "rtmidi was configured without WinMM (see $LOG)"
    run install -D -m 644 LICENSE "$PREFIX/share/licenses/rtmidi/LICENSE"
}

finish_controllers_prefix()
{
    "$HOST-strip" --strip-unneeded "$PREFIX"/bin/*.dll
    # Every DLL must find what it imports in the prefix, the compiler's
    # runtime or Windows itself.
    run "$SCRIPT_DIR/copy-dlls.sh" --prefix "$PREFIX" "$BUILD_DIR/dll-check" "$PREFIX"/bin/*.dll
}

# --- main -------------------------------------------------------------------

# Removes the finished prefixes, build folders and locks in the cache folder
# $1 but those of the key of the prefix $2.
prune_root()
{
    local root="$1" keep="$2" key old
    key="$(basename "$keep")"
    for old in "$root"/*/.complete "$root"/build-* "$root"/.lock-????????????????; do
        [[ -e "$old" ]] || continue
        old="${old%/.complete}"
        [[ "$old" == "$keep" || "$old" == "$root/build-$key" || "$old" == "$root/.lock-$key" ]] && continue
        log "pruning $old"
        rm -rf "$old"
    done
}

# Builds a layer into the prefix $1 unless it is built: $2 its manifest, $3
# the function that finishes the prefix, then its source packages in order.
build_layer()
{
    local prefix="$1" manifest="$2" finish="$3" root key pkg start start_all
    shift 3
    root="$(dirname "$prefix")"
    key="$(basename "$prefix")"
    # One build per key at a time; a second caller waits and then finds it done.
    exec 9>"$root/.lock-$key"
    flock 9
    if [[ -f "$prefix/.complete" ]]; then
        log "cached: $prefix ($(cut -d' ' -f1,2 "$prefix/manifest.txt" | paste -sd, - | sed 's/,/, /g'))"
        exec 9>&-
        return 0
    fi
    PREFIX="$prefix"
    BUILD_DIR="$root/build-$key"
    mkdir -p "$BUILD_DIR/logs" "$PREFIX"
    MANIFEST="$BUILD_DIR/manifest.txt"
    cp "$manifest" "$MANIFEST"
    log "building into $PREFIX with $jobs jobs (logs in $BUILD_DIR/logs)"
    start_all=$SECONDS
    (
        cross_env
        for pkg in "$@"; do
            # A rerun after a failure continues with the package that failed.
            [[ -f "$BUILD_DIR/logs/$pkg.done" ]] && { log "$pkg: already built"; continue; }
            CURRENT_PKG="$pkg"
            LOG="$BUILD_DIR/logs/$pkg.log"
            : >"$LOG"
            start=$SECONDS
            log "$pkg $(grep "^$pkg " "$MANIFEST" | cut -d' ' -f2): building"
            "build_$pkg"
            touch "$BUILD_DIR/logs/$pkg.done"
            log "$pkg: done in $((SECONDS - start)) s"
        done
        CURRENT_PKG=prefix
        LOG="$BUILD_DIR/logs/finish.log"
        "$finish"
    )
    cp "$MANIFEST" "$PREFIX/manifest.txt"
    toolchain_description >"$PREFIX/toolchain.txt"
    touch "$PREFIX/.complete"
    ((keep_build)) || rm -rf "$BUILD_DIR"
    log "built in $((SECONDS - start_all)) s: $PREFIX"
    exec 9>&-
}

# The first layer's licence texts: each source package's own licence files
# and Debian's copyright file, in share/licenses/STEM/ of the prefix, where
# STEM names its DLLs (libSTEM*.dll), so build.sh puts them beside the DLLs
# in the package. They are added to a finished prefix that lacks them, so a
# prefix cached before they were kept gains them without a rebuild.
readonly LICENCE_STEMS=(libogg:ogg libvorbis:vorbis flac:FLAC opus:opus mpg123:mpg123 lame:mp3lame
    libsndfile:sndfile libopenmpt:openmpt libpng1.6:png16)
add_licence_texts()
{
    local prefix="$1" manifest="$2" entry pkg stem dsc dest tmp
    exec 9>"$(dirname "$prefix")/.lock-$(basename "$prefix")"
    flock 9
    for entry in "${LICENCE_STEMS[@]}"; do
        pkg="${entry%%:*}"
        stem="${entry#*:}"
        dest="$prefix/share/licenses/$stem"
        [[ -d "$dest" ]] && continue
        read -r _ _ dsc _ < <(grep "^$pkg " "$manifest")
        tmp="$(mktemp -d)"
        if dpkg-source --skip-patches -x "$SOURCES_DIR/$dsc" "$tmp/src" >/dev/null 2>&1 &&
            [[ -f "$tmp/src/debian/copyright" ]]; then
            rm -rf "$dest.part"
            mkdir -p "$dest.part"
            find "$tmp/src" -maxdepth 1 -type f \( -iname 'COPYING*' -o -iname 'LICEN[CS]E*' \) \
                -exec cp {} "$dest.part/" \;
            cp "$tmp/src/debian/copyright" "$dest.part/debian-copyright"
            mv "$dest.part" "$dest"
        else
            log "$pkg: no licence texts for the package (its source did not unpack from $SOURCES_DIR)"
        fi
        rm -rf "$tmp"
    done
    exec 9>&-
}

check_tools
mkdir -p "$CACHE_ROOT" "$CONTROLLERS_ROOT"

# The private lists and the source folder are shared by all keys and layers.
exec 8>"$CACHE_ROOT/.lock-apt"
flock 8
if ((offline)); then
    [[ -f "$APT_DIR/sources.list" ]] || die "no source package lists in $APT_DIR yet: run $SCRIPT_PATH without --offline/--print-prefix"
else
    update_lists
fi
BASE_MANIFEST="$(mktemp)"
CONTROLLERS_MANIFEST="$(mktemp)"
trap 'rm -f "$BASE_MANIFEST" "$CONTROLLERS_MANIFEST"' EXIT
resolve_sources "$BASE_MANIFEST" "${SOURCE_PACKAGES[@]}"
resolve_sources "$CONTROLLERS_MANIFEST" "${CONTROLLER_PACKAGES[@]}"
exec 8>&-
BASE_PREFIX="$CACHE_ROOT/$(compute_key "$BASE_MANIFEST" base_recipe)"
CONTROLLERS_PREFIX="$CONTROLLERS_ROOT/$(compute_key "$CONTROLLERS_MANIFEST" controllers_recipe)"
readonly BASE_PREFIX CONTROLLERS_PREFIX

if ((print_prefix)); then
    for prefix in "$BASE_PREFIX" "$CONTROLLERS_PREFIX"; do
        [[ -f "$prefix/.complete" ]] || die "no finished build for these versions ($prefix): run $SCRIPT_PATH"
    done
    echo "$BASE_PREFIX:$CONTROLLERS_PREFIX"
    exit 0
fi

if ((prune)); then
    prune_root "$CACHE_ROOT" "$BASE_PREFIX"
    prune_root "$CONTROLLERS_ROOT" "$CONTROLLERS_PREFIX"
fi

build_layer "$BASE_PREFIX" "$BASE_MANIFEST" finish_prefix "${SOURCE_PACKAGES[@]}"
add_licence_texts "$BASE_PREFIX" "$BASE_MANIFEST"
build_layer "$CONTROLLERS_PREFIX" "$CONTROLLERS_MANIFEST" finish_controllers_prefix "${CONTROLLER_PACKAGES[@]}"
echo "$BASE_PREFIX:$CONTROLLERS_PREFIX"
