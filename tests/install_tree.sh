#!/bin/sh
# Installs KELVIQ into a temporary prefix and builds its Debian package from BUILD, then checks
# what a desktop and dpkg get: exactly the expected files, icons of their stated sizes, a valid
# desktop entry and AppStream metadata, manual pages that render without warnings and describe
# every option of the converter's --help, a completion that offers those options, and a
# package whose dependencies name the Qt 6 libraries. Usage: tests/install_tree.sh [BUILD]
set -u
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
checks=0
failed=0
check() { # DESCRIPTION COMMAND...
    what=$1
    shift
    checks=$((checks + 1))
    if ! out=$("$@" 2>&1) || [ -n "$out" ]; then
        failed=$((failed + 1))
        printf 'FAIL: %s\n%s\n' "$what" "$out" >&2
    fi
}

id=io.github.kelviq.Kelviq
expected="bin/kelviq
bin/kelviq-convert
share/applications/$id.desktop
share/bash-completion/completions/kelviq-convert
share/icons/hicolor/scalable/apps/$id.svg
share/man/man1/kelviq-convert.1.gz
share/man/man1/kelviq.1.gz
share/metainfo/$id.metainfo.xml"
for size in 16 32 48 64 128 256; do
    expected="$expected
share/icons/hicolor/${size}x$size/apps/$id.png"
done
echo "$expected" | LC_ALL=C sort >"$work/expected"
# Passes when the file list given, one a line, is the expected one.
is_expected() { printf '%s\n' "$1" | LC_ALL=C sort | diff -u "$work/expected" -; }

prefix="$work/usr"
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "installcheck: cmake --install failed" >&2
    exit 1
fi
check "installed files are exactly the expected ones" \
    is_expected "$(cd "$prefix" && find . -type f | sed 's|^\./||')"
for size in 16 32 48 64 128 256; do
    check "icon ${size}x$size" sh -c 'file -b "$1" | grep -q "PNG image data, $2 x $2," || file "$1"' \
        - "$prefix/share/icons/hicolor/${size}x$size/apps/$id.png" "$size"
done
check "scalable icon" sh -c 'file -b "$1" | grep -q "SVG" || file "$1"' \
    - "$prefix/share/icons/hicolor/scalable/apps/$id.svg"
check "desktop entry" desktop-file-validate "$prefix/share/applications/$id.desktop"
check "AppStream metadata" sh -c \
    'appstreamcli validate --no-net "$1" >/dev/null || appstreamcli validate --no-net "$1"' \
    - "$prefix/share/metainfo/$id.metainfo.xml"

convert="$prefix/bin/kelviq-convert"
options=$("$convert" --help | sed -n 's/^ *\(-[[:alnum:]], \)\{0,1\}\(--[[:alnum:]-]*\).*/\2/p')
check "the converter's --help lists options" test -n "$options"
for page in kelviq kelviq-convert; do
    check "manual page $page(1) renders without warnings" sh -c \
        'MANWIDTH=80 man -l --warnings "$1" 2>&1 >/dev/null' - "$prefix/share/man/man1/$page.1.gz"
done
manual=$(MANWIDTH=200 man -l "$prefix/share/man/man1/kelviq-convert.1.gz" 2>/dev/null)
for option in $options; do
    check "kelviq-convert(1) describes $option" sh -c \
        'printf "%s\n" "$1" | grep -q -e "^ *\(-[[:alnum:]], \)\{0,1\}$2\b" || echo missing' \
        - "$manual" "$option"
done

completion="$prefix/share/bash-completion/completions/kelviq-convert"
check "completion parses" bash -n "$completion"
check "completion offers every option of --help" env PATH="$prefix/bin:$PATH" bash -c '
    . /usr/share/bash-completion/bash_completion && . "$1" || exit 1
    COMP_WORDS=(kelviq-convert --) COMP_CWORD=1 COMP_LINE="kelviq-convert --" COMP_POINT=17
    _kelviq_convert kelviq-convert -- kelviq-convert
    offered=" ${COMPREPLY[*]} "
    for option in $2; do [[ $offered == *" $option "* ]] || echo "not offered: $option"; done' \
    - "$completion" "$options"

# The package, built where it cannot disturb a `make package` of the developer.
if ! (cd "$build" && cpack -G DEB -B "$work/package") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "installcheck: cpack failed" >&2
    exit 1
fi
version=$("$convert" --version | sed 's/.* //')
deb="$work/package/kelviq_${version}_$(dpkg --print-architecture).deb"
check "package file name" test -f "$deb"
check "package holds exactly the installed files under /usr" \
    is_expected "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }')"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6; do
    check "package depends on $library" sh -c 'echo "$1" | grep -qw "$2" || echo "Depends: $1"' \
        - "$depends" "$library"
done
check "package has no maintainer scripts" sh -c \
    'dpkg-deb --ctrl-tarfile "$1" | tar -t | grep -v -x -e ./ -e ./control -e ./md5sums; true' \
    - "$deb"

echo "installcheck: $((checks - failed)) passed, $failed failed"
echo "package: $(basename "$deb"), Depends: $depends"
[ "$failed" -eq 0 ]
