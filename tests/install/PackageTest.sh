#!/usr/bin/env bash
# The Debian package as users get it, made by cpack from a build tree:
#   PackageTest.sh CPACK BUILD-DIR LIBDIR SAMPLE.hex
# (a) it holds exactly the suite's files under /usr, the library in Debian's
#     multiarch directory, nothing of the tests or benchmarks; (b) Depends
#     names the package of every shared library that its programs and its
#     library link, and its version is the library's; (c) its man pages
#     format without warnings and name every option of their programs;
#     (d) extracted, its vtarget takes the sample image from its ulvex and
#     from its vorn.
set -euo pipefail
cpack=$1 build=$2 libdir=$3 sample=$(realpath "$4")

scratch=$(mktemp -d)
boards=()
# shellcheck disable=SC2317 # called by the EXIT trap
clean_up() {
    [ ${#boards[@]} -eq 0 ] || kill "${boards[@]}" 2>/dev/null || true
    rm -rf "$scratch"
}
trap clean_up EXIT
fail() { echo "package test: FAILED: $*" >&2; exit 1; }

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ "$libdir" = "lib/$multiarch" ] || fail "the build installs libraries into $libdir, not" \
    "lib/$multiarch: configure it in a new directory or with -DCMAKE_INSTALL_LIBDIR=lib/$multiarch"

# cpack stages and writes into the scratch, so the build tree stays as it is.
"$cpack" --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(echo "$scratch"/out/*.deb)
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "ulvex_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "package named $(basename "$deb")"
root=$scratch/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
export LD_LIBRARY_PATH=$usr/$libdir

echo "--- (a) the files of $(basename "$deb")"
lib=./usr/$libdir
expected="./usr/bin/ombrel ./usr/bin/ulvex ./usr/bin/vorn ./usr/bin/vtarget
./usr/include/ulvex.h ./usr/include/ulvex_open_failure.h ./usr/include/ulvex_port_path.h
$lib/libulvex.so $lib/libulvex.so.2 $lib/libulvex.so.2.65 $lib/pkgconfig/ulvex.pc
$lib/cmake/Ulvex/UlvexConfig.cmake $lib/cmake/Ulvex/UlvexConfigVersion.cmake
$lib/cmake/Ulvex/UlvexTargets.cmake $lib/cmake/Ulvex/UlvexTargets-CONFIG.cmake
./usr/share/bash-completion/completions/ulvex
./usr/share/man/man1/ulvex.1.gz ./usr/share/man/man1/vorn.1.gz ./usr/share/man/man1/vtarget.1.gz
./usr/share/ulvex/ulvex-events.schema.json ./usr/share/ulvex/ulvex-jobs.schema.json
./usr/share/ulvex/ulvex-ports.schema.json ./usr/share/ulvex/ulvex-targets.schema.json
$(printf './usr/lib/python3/dist-packages/ulvex/%s ' __init__.py _library.py _paths.py errors.py \
    events.py flash.py ports.py py.typed targets.json targets.py testmode.py)"
# Files and links, not directories; the exported targets' file is named
# after the build type.
actual=$(dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ { print $6 }' |
    sed 's/UlvexTargets-[a-z]*\.cmake$/UlvexTargets-CONFIG.cmake/' | LC_ALL=C sort)
difference=$(diff <(tr ' ' '\n' <<<"$expected" | grep -v '^$' | LC_ALL=C sort) <(echo "$actual")) ||
    fail "the package's files differ from the suite's (< missing, > not expected):"$'\n'"$difference"
[ "$(readlink "$usr/$libdir/libulvex.so")" = libulvex.so.2 ] || fail "libulvex.so link"
[ "$(readlink "$usr/$libdir/libulvex.so.2")" = "libulvex.so.$version" ] ||
    fail "libulvex.so.2 does not name the package's version $version"
# The programs find the library beside them through their run path.
for program in ulvex vorn; do
    # Read whole first: grep -q ends early, and ldd's broken pipe would fail the pipeline.
    libraries=$(env -u LD_LIBRARY_PATH ldd "$usr/bin/$program")
    grep -qF "libulvex.so.2 => $usr/bin/../$libdir/" <<<"$libraries" ||
        fail "$program does not find the packaged library through its run path"
done
echo "$(wc -l <<<"$actual") files as expected"

echo "--- (b) Depends and version"
# The packages that hold the libraries that the ELF files link themselves
# (their NEEDED entries, found where ldd finds them; the package's own
# library aside), as dpkg knows the path: as ldd gives it, or under /usr.
linked=$(find "$usr" -type f | while read -r elf; do
    readelf -h "$elf" >/dev/null 2>&1 || continue
    needed=$(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -sd' ')
    ldd "$elf" | awk -v needed="$needed" 'BEGIN { split(needed, n, " "); for (i in n) want[n[i]] = 1 }
        $2 == "=>" && ($1 in want) && $1 != "libulvex.so.2" { print $3 }'
done | sort -u | while read -r path; do
    { dpkg -S "$path" 2>/dev/null || dpkg -S "/usr$path" 2>/dev/null || echo "(none for $path):"; } |
        sed 's/:.*//; s/, /\n/g'
done | LC_ALL=C sort -u | paste -sd' ')
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*//; s/ //g' | LC_ALL=C sort -u |
    paste -sd' ')
echo "Depends: $depends"
[ "$depends" = "$linked" ] || fail "Depends names $depends; the files link $linked"
for family in libc6 libqt6widgets libqt6serialport libudev libfmt; do
    grep -qw "${family}[0-9a-z.+-]*" <<<"$depends" || fail "Depends names no $family"
done
reported=$("$usr/bin/ulvex" --version)
[ "$reported" = "ulvex (library $version)" ] || fail "package version $version, $reported"

echo "--- (c) the man pages"
# A program's options: the first column of vtarget --help, the names
# before the colons of vorn --help.
options_vtarget=$("$usr/bin/vtarget" --help | grep -oE '^  --[a-z0-9-]+')
options_vorn=$("$usr/bin/vorn" --help | grep -oE '^ [A-Z0-9]+ +:' | tr -d ' :')
for program in ulvex vorn vtarget; do
    page=$(zcat "$usr/share/man/man1/$program.1.gz")
    warnings=$(groff -man -ww -z 2>&1 <<<"$page")
    [ -z "$warnings" ] || fail "$program.1: $warnings"
    text=$(groff -man -Tascii -P-cbou 2>/dev/null <<<"$page")
    options_name=options_$program
    for option in ${!options_name:-}; do
        # An option is documented where it heads an entry of the page.
        grep -qE -- "^ {7}$option([=, ]|$)" <<<"$text" || fail "$program.1 does not document $option"
    done
done
echo "ulvex.1, vorn.1 and vtarget.1 format cleanly, $(wc -w <<<"$options_vorn $options_vtarget") options documented"

echo "--- (d) the sample image into packaged boards, through ulvex and vorn"
# A KOLT-A board at $scratch/NAME; its output stays readable on board_output.
start_board() {
    exec {board_output}< <(exec "$usr/bin/vtarget" --target 0 --link "$scratch/$1" 2>&1)
    boards+=($!)
    local line=""
    read -r -t 10 -u "$board_output" line || true
    [ "$line" = "vtarget ready on $scratch/$1" ] || fail "the packaged vtarget did not start: $line"
}
# The board tells of the restart that ends a session.
board_restarted() {
    local line=""
    read -r -t 10 -u "$board_output" line || true
    [[ $line == "vtarget: board restarted, running from 0x"* ]] || fail "$1: the board did not restart: $line"
}

start_board ulvex-board
out=$("$usr/bin/ulvex" flash "$sample" -p "$scratch/ulvex-board" -t kolt-a-int -b 921600 2>&1) ||
    fail "ulvex flash: $out"
grep -q '^1 of 1 boards verified' <<<"$out" || fail "ulvex flash: $out"
tail -n 3 <<<"$out"
board_restarted "ulvex flash"

start_board vorn-board
out=$(cd "$scratch" && ULVEX_COM1=$scratch/vorn-board \
    "$usr/bin/vorn" "$sample" comport=1 target=0 busmode=2 baudrate=921600 2>&1) || fail "vorn: $out"
ending=$(grep -oE '^ (CRC_OK_IND|CRC_ERROR_IND|RESET_TARGET_IND|STOP_PROGRAM_IND)' <<<"$out" | paste -sd' ')
[ "$ending" = " CRC_OK_IND  RESET_TARGET_IND  STOP_PROGRAM_IND" ] || fail "vorn: $out"
grep -E '^ (CRC_OK_IND|STOP_PROGRAM_IND)' <<<"$out"
board_restarted vorn

echo "--- (e) the packaged Python package takes the packaged library"
found=$(env -u ULVEX_LIBRARY PYTHONPATH="$usr/lib/python3/dist-packages" /usr/bin/python3 -c \
    'import ulvex; print(ulvex.library_path(), ulvex.find_target("kolt-a-int").number)') ||
    fail "import ulvex from the package: $found"
[ "$found" = "$usr/$libdir/libulvex.so.2 0" ] || fail "the packaged Python package found $found"

echo "package test: ok"
