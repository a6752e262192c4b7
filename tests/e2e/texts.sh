#!/bin/sh
# Checks the list of texts that a person reads (texts.txt, its format described at its top): every
# text marked "checked:" must be found in the file it names. Fails with the texts not found, and
# on any malformed line.
#   texts.sh TEXTS
set -u
list=$1
root=$(cd "$(dirname "$list")/../.." && pwd)
# Bytes as they stand: the texts hold UTF-8 ("…", "⚠") and fixed-string matching needs no locale.
LC_ALL=C
export LC_ALL
tab=$(printf '\t')
n=0
failed=0
checked=0
unreachable=0
missing=
bad() {
    echo "$list:$n: $1"
    failed=1
}
# holds PIECE TEXT: PIECE holds the whole TEXT, its holes filled with anything.
holds() {
    pattern=$(printf '%s\n' "$2" | sed -e 's#[][\\.*^$+?(){}|]#\\&#g' -e 's#%[sud@]#.*#g' -e 's#%%#%#g')
    printf '%s\n' "$1" | grep -Eq -e "$pattern"
}
# found PIECE FILE: the file holds the piece; a C++ source also as a string literal writes it.
found() {
    grep -Fq -e "$1" "$2" && return 0
    case $2 in
    *.cpp | *.h) ;;
    *) return 1 ;;
    esac
    grep -Fq -e "$(printf '%s\n' "$1" | sed 's/"/\\"/g')" "$2"
}
while IFS= read -r line || [ -n "$line" ]; do
    n=$((n + 1))
    case $line in
    '' | '#'*) continue ;;
    *' ' | *"$tab") bad "the line ends in white space"; continue ;;
    *"$tab"*"$tab"*) ;;
    *) bad "a line needs PLACE, TEXT and a mark, separated by tabs"; continue ;;
    esac
    place=${line%%"$tab"*}
    rest=${line#*"$tab"}
    text=${rest%%"$tab"*}
    rest=${rest#*"$tab"}
    mark=${rest%%"$tab"*}
    pieces=
    case $rest in *"$tab"*) pieces=${rest#*"$tab"} ;; esac
    if [ -z "$place" ] || [ -z "$text" ]; then
        bad "empty PLACE or TEXT"
        continue
    fi
    case $mark in
    'unreachable: '?*)
        [ -z "$pieces" ] || bad "an unreachable text has no grep: pieces"
        unreachable=$((unreachable + 1))
        continue
        ;;
    'checked: '?*) file=${mark#checked: } ;;
    *) bad "the mark is neither \"checked: FILE\" nor \"unreachable: REASON\": $mark"; continue ;;
    esac
    case $file in
    *..*) bad "the file leaves the tree: $file"; continue ;;
    tests/e2e/?* | tests/app/?*) ;;
    *) bad "the file is not under tests/e2e/ or tests/app/: $file"; continue ;;
    esac
    if [ ! -f "$root/$file" ]; then
        bad "no such file: $file"
        continue
    fi
    if [ -z "$pieces" ]; then
        case $text in
        *%[sud@%]*) bad "a text with holes needs grep: pieces"; continue ;;
        esac
        pieces="grep: $text"
    fi
    checked=$((checked + 1))
    while [ -n "$pieces" ]; do
        field=${pieces%%"$tab"*}
        case $pieces in
        *"$tab"*) pieces=${pieces#*"$tab"} ;;
        *) pieces= ;;
        esac
        piece=${field#grep: }
        if [ "$piece" = "$field" ] || [ -z "$piece" ]; then
            bad "not a grep: piece: $field"
            continue
        fi
        case $text in
        *"$piece"*) ;;
        *) holds "$piece" "$text" || bad "the piece is neither part of the text nor holds it: $piece" ;;
        esac
        found "$piece" "$root/$file" || missing="$missing$text  (\"$piece\" not in $file)
"
    done
done <"$list"
dups=$(grep -v -e '^#' -e '^$' "$list" | sort | uniq -d)
if [ -n "$dups" ]; then
    echo "$list: lines given twice:"
    echo "$dups"
    failed=1
fi
if [ -n "$missing" ]; then
    echo "texts not found where texts.txt says they are checked:"
    printf '%s' "$missing"
    failed=1
fi
echo "$((checked + unreachable)) texts: $checked checked, $unreachable unreachable"
exit $failed
