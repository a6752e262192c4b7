#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop reads from it: the programs,
# the launcher entry, the MIME package and the icon. The validators (desktop-file-validate, xmllint,
# update-mime-database, rsvg-convert) are used when installed; the checks of the values are not.
# Usage: install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
status=0
fail() {
    echo "install: $*" >&2
    status=1
}
have() { command -v "$1" >/dev/null 2>&1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

share=$prefix/share
desktop=$share/applications/orvel.desktop
package=$share/mime/packages/orvel.xml
for program in orvel orvel-cli; do
    [[ -x $prefix/bin/$program ]] || fail "bin/$program is missing or not executable"
done
for file in "$desktop" "$package"; do
    [[ -f $file ]] || fail "${file#"$prefix"/} is missing"
done
((status == 0)) || exit 1

# The launcher entry: the keys of its [Desktop Entry] group.
declare -A entry=()
group=
while IFS= read -r line; do
    case $line in
    '#'* | '') ;;
    '['*']') group=$line ;;
    *=*) [[ $group == '[Desktop Entry]' ]] && entry[${line%%=*}]=${line#*=} ;;
    *) fail "orvel.desktop: not a key, group or comment: $line" ;;
    esac
done <"$desktop"
[[ ${entry[Type]-} == Application ]] || fail "orvel.desktop: Type is '${entry[Type]-}'"
[[ -n ${entry[Name]-} ]] || fail "orvel.desktop: no Name"
[[ ${entry[Exec]-} == 'orvel %F' ]] || fail "orvel.desktop: Exec is '${entry[Exec]-}', not 'orvel %F'"
[[ ${entry[Categories]-} == *';' ]] || fail "orvel.desktop: Categories is '${entry[Categories]-}'"
icon=$share/icons/hicolor/scalable/apps/${entry[Icon]-}.svg
[[ -n ${entry[Icon]-} && -f $icon ]] || fail "orvel.desktop: Icon '${entry[Icon]-}' is not installed"
if have desktop-file-validate; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects orvel.desktop"
fi

# The MIME package: well-formed, and every type it defines is one the entry opens.
if have xmllint; then
    xmllint --noout "$package" || fail "orvel.xml is not well-formed"
    defined=$(xmllint --xpath '//*[local-name()="mime-type"]/@type' "$package" | sed -E 's/ *type="([^"]*)"/\1\n/g')
else
    defined=$(grep -oE '<mime-type type="[^"]+"' "$package" | sed -E 's/.*"(.*)"/\1/')
fi
[[ -n $defined ]] || fail "orvel.xml defines no type"
IFS=';' read -ra opens <<<"${entry[MimeType]-}"
for type in $defined; do
    [[ ";${entry[MimeType]-};" == *";$type;"* ]] || fail "orvel.xml defines $type, which orvel.desktop does not open"
    if [[ -f /usr/share/mime/$type.xml ]]; then
        echo "install: note: the system's MIME database already defines $type" >&2
    fi
done
# Each type the entry opens is a real one: the system's or ours, never the fallbacks a file of
# unknown content gets.
((${#opens[@]})) || fail "orvel.desktop: no MimeType"
for type in "${opens[@]}"; do
    case $type in
    application/octet-stream | text/plain | '') fail "orvel.desktop opens '$type'" ;;
    esac
    if [[ -d /usr/share/mime/application && ! -f /usr/share/mime/$type.xml ]] && ! grep -qx "$type" <<<"$defined"; then
        fail "orvel.desktop opens $type, which neither the system nor orvel.xml defines"
    fi
done
# The install rebuilt the prefix's database: every glob of the package maps to its type.
if have update-mime-database; then
    globs=$share/mime/globs2
    [[ -f $globs ]] || fail "the install did not build the MIME database"
    while read -r type pattern; do
        cut -d: -f2- "$globs" | grep -qxF "$type:$pattern" || fail "$pattern is not $type in the built database"
    done < <(awk -F'"' '/<mime-type /{t=$2} /<glob /{print t, $2}' "$package")
fi

# The icon: well-formed SVG, square, and drawable at the smallest and largest size menus use.
if have xmllint; then
    xmllint --noout "$icon" || fail "orvel.svg is not well-formed"
    root=$(xmllint --xpath 'name(/*)' "$icon")
    [[ $root == svg ]] || fail "orvel.svg's root element is '$root'"
fi
grep -qE 'viewBox="0 0 ([0-9]+) \1"' "$icon" || fail "orvel.svg has no square viewBox"
if have rsvg-convert; then
    for size in 16 256; do
        rsvg-convert -w "$size" -h "$size" "$icon" -o "$prefix/icon-$size.png" && [[ -s $prefix/icon-$size.png ]] ||
            fail "orvel.svg does not render at $size px"
    done
fi
exit "$status"
