#!/usr/bin/env bash
# Makes the application installed in a folder the desktop's handler of "tessaron:" links, so the browser
# hands sign-in callbacks and invitation links to it, and puts its icon into the user's icon theme.
# Writes into $XDG_DATA_HOME (and the desktop's default-application list); does nothing harmful where the
# desktop tools are missing.
#
#   tools/register-url-handler.sh <application folder>
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 <application folder>" >&2
    exit 64
fi
app=$1
data=${XDG_DATA_HOME:-$HOME/.local/share}

# The program as one argument of an Exec line. A path of plain characters stands as it is, which every
# launcher reads; any other is quoted, with ", `, $ and \ escaped, and every backslash then escaped again
# as the entry's string values require. A percent sign is always doubled.
exec_argument() {
    local path=${1//%/%%}
    if [[ $path == *[[:space:]\"\'\\\>\<~\|\&\;\$\*\?#\(\)\`]* ]]; then
        printf '"%s"' "$(printf '%s' "$path" | sed -e 's/[\\"`$]/\\&/g' -e 's/\\/\\\\/g')"
    else
        printf '%s' "$path"
    fi
}

if [[ $app == *$'\n'* ]]; then
    echo "An application folder with a line break in its path cannot be named in a desktop entry." >&2
    exit 1
fi

mkdir -p "$data/applications"
{
    grep -v '^Exec=' "$app/tessaron.desktop"
    printf 'Exec=%s %%u\n' "$(exec_argument "$app/tessaron")"
} >"$data/applications/tessaron.desktop"

icon=share/icons/hicolor/scalable/apps/tessaron.svg
if [ -f "$app/$icon" ]; then
    mkdir -p "$(dirname "$data/$icon")"
    cp "$app/$icon" "$data/$icon"
fi

if command -v update-desktop-database >/dev/null; then
    update-desktop-database "$data/applications" >/dev/null 2>&1 || true
fi
if command -v xdg-mime >/dev/null; then
    xdg-mime default tessaron.desktop x-scheme-handler/tessaron >/dev/null 2>&1 || true
fi
