#!/usr/bin/env bash
# shellcheck disable=SC2016  # $INSTDIR in the lists is NSIS's, not the shell's
# The Windows installer of whatever a staging folder holds (scripts/package-windows.sh makes it):
# every file there goes to Program Files\orvex and is removed again by the uninstaller.
#   windows-setup.sh STAGE VERSION ICON OUTFILE
set -euo pipefail
stage=$(cd "$1" && pwd)
version=$2
icon=$(realpath "$3")
out=$(realpath -m "$4")
here=$(cd "$(dirname "$0")/.." && pwd)
lists=$(mktemp -d)
trap 'rm -rf "$lists"' EXIT

# NSIS expands $ in every string: a file name's own $ is written $$.
nsis_text() { printf '%s' "${1//\$/\$\$}"; }
windows_path() { local p=${1#./}; [ "$p" = . ] && p=; p=${p//\//\\}; nsis_text "${p:+\\$p}"; }

(
    cd "$stage"
    find . -type d | LC_ALL=C sort | while IFS= read -r dir; do
        printf 'SetOutPath "$INSTDIR%s"\n' "$(windows_path "$dir")"
        find "$dir" -mindepth 1 -maxdepth 1 -type f | LC_ALL=C sort | while IFS= read -r file; do
            printf 'File "%s"\n' "$(nsis_text "$stage/${file#./}")"
        done
    done
) >"$lists/install.nsh"
(
    cd "$stage"
    find . -type f | LC_ALL=C sort | while IFS= read -r file; do
        printf 'Delete "$INSTDIR%s"\n' "$(windows_path "$file")"
    done
    # Folders deepest first; one that holds a file of the user's stays.
    find . -mindepth 1 -type d | LC_ALL=C sort -r | while IFS= read -r dir; do
        printf 'RMDir "$INSTDIR%s"\n' "$(windows_path "$dir")"
    done
) >"$lists/uninstall.nsh"

major=${version%%.*}
minor=${version#*.}
defines=(-DVERSION="$version" -DNUMBERS="$((10#$major)).$((10#$minor)).0.0" -DICON="$icon"
         -DOUTFILE="$out" -DLISTS="$lists")
[ -f "$stage/orvex.exe" ] && defines+=(-DWINDOW)
makensis -V2 -INPUTCHARSET UTF8 -WX "${defines[@]}" "$here/packaging/windows/orvex.nsi" >&2
echo "$out"
