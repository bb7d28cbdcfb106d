#!/bin/sh
# Installs the build into a scratch prefix and uses it as a program outside
# Moddeck would: examples/render_wav.c built with pkg-config and as a CMake
# package, run on the demo XM. The installed library exports the header's
# calls and nothing else, under its soname; the installed programs find it
# without LD_LIBRARY_PATH.
#
#   installed_test.sh BUILD SOURCE CC PKG_CONFIG CMAKE GENERATOR
set -eu
build=$1 source=$2 cc=$3 pkg_config=$4 cmake=$5 generator=$6
tmp=$(mktemp -d "${TMPDIR:-/tmp}/moddeck-installed.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
unset LD_LIBRARY_PATH
fail() { echo "installed_test: $*" >&2; exit 1; }
# Runs a command quietly, showing its output when it fails.
quiet() { "$@" >"$tmp/log" 2>&1 || { cat "$tmp/log" >&2; fail "failed: $*"; }; }
# The libmoddeck that program $1 loads must be the one installed.
loads_installed() {
    loaded=$(ldd "$1" | sed -n 's/^[[:space:]]*libmoddeck\.so\.0 => \(.*\) (0x.*/\1/p')
    [ "$(readlink -f "$loaded")" = "$(readlink -f "$libdir/libmoddeck.so.0")" ] || fail "$1 loads '$loaded'"
}

quiet "$cmake" --install "$build" --prefix "$prefix"
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name moddeck.pc)")
export PKG_CONFIG_PATH
libdir=$("$pkg_config" --variable=libdir moddeck)
case $libdir in "$prefix"/*) ;; *) fail "moddeck.pc names $libdir, outside $prefix" ;; esac

readelf -d "$libdir/libmoddeck.so" | grep -q 'Library soname: \[libmoddeck.so.0\]' || fail "soname is not libmoddeck.so.0"
sed -n 's/^MODDECK_API .*[ *]\(moddeck_[a-z0-9_]*\)(.*/\1/p' "$prefix/include/moddeck/moddeck.h" | sort >"$tmp/declared"
nm -D --defined-only "$libdir/libmoddeck.so" | awk '{ print $NF }' | sort >"$tmp/exported"
diff "$tmp/declared" "$tmp/exported" >&2 || fail "libmoddeck exports other names than the header declares"

# shellcheck disable=SC2046  # pkg-config's flags are words
quiet "$cc" -std=c11 -Wall -Wextra -Werror -o "$tmp/render_wav" "$source/examples/render_wav.c" \
    $("$pkg_config" --cflags --libs moddeck) -Wl,-rpath,"$libdir"
loads_installed "$tmp/render_wav"
wav=$tmp/out.wav
quiet "$tmp/render_wav" "$source/examples/moddeck-demo.xm" "$wav"
# Little-endian numbers of the header at `offset`, `bytes` wide.
number() { od -An --endian=little -t u"$2" -j "$1" -N "$2" "$wav" | tr -d ' '; }
[ "$(head -c 4 "$wav")$(head -c 16 "$wav" | tail -c 8)$(head -c 40 "$wav" | tail -c 4)" = "RIFFWAVEfmt data" ] ||
    fail "not a RIFF WAVE file"
data=$((48000 * 30 * 4))
[ "$(number 20 2) $(number 22 2) $(number 24 4) $(number 34 2) $(number 40 4)" = "1 2 48000 16 $data" ] ||
    fail "not 30 s of 16-bit stereo PCM at 48,000 Hz"
[ "$(wc -c <"$wav")" -eq $((44 + data)) ] || fail "data is not $data bytes"
[ "$(tail -c +45 "$wav" | tr -d '\000' | head -c 1 | wc -c)" -eq 1 ] || fail "silent"

quiet "$prefix/bin/moddeck-render" --help
loads_installed "$prefix/bin/moddeck-render"

# The same program from find_package(moddeck) writes the same file.
quiet "$cmake" -S "$source/tests/library/consumer" -B "$tmp/consumer" -G "$generator" -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_PREFIX_PATH="$prefix" -DRENDER_WAV_SOURCE="$source/examples/render_wav.c"
quiet "$cmake" --build "$tmp/consumer"
loads_installed "$tmp/consumer/render_wav"
quiet "$tmp/consumer/render_wav" "$source/examples/moddeck-demo.xm" "$tmp/package.wav"
cmp -s "$wav" "$tmp/package.wav" || fail "the CMake package's build renders differently"
