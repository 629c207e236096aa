#!/bin/sh
# Checks a built Debian package the way a user meets it: lintian and the
# validators, then installs it with apt-get, uses the installed programs
# (version, converting a copy of examples/, the manual page, completion),
# checks the folder entry for file managers ("Open with", not the default
# for folders), purges it and checks that nothing of it is left. Needs root
# (apt-get) and the tools of `tools/deps.sh --package`; a folder2pdf
# installed before is replaced and, at the end, removed.
#
#   tools/check-package.sh folder2pdf_<version>_amd64.deb
set -eu
deb=$(realpath "$1")
cd "$(dirname "$0")/.."
scratch=$(realpath "$(mktemp -d)")
# A failed check takes the package away too.
trap 'rm -rf "$scratch"; [ ! -e /usr/bin/folder2pdf ] || apt-get purge -y -qq folder2pdf >/dev/null' EXIT
fail() {
    echo "check-package: $*" >&2
    exit 1
}

# Errors fail; warnings are shown and left to the reader.
lintian --fail-on error "$deb"

dpkg-deb -x "$deb" "$scratch/root"
desktop-file-validate "$scratch"/root/usr/share/applications/*.desktop
appstreamcli validate --no-net "$scratch"/root/usr/share/metainfo/*.metainfo.xml
# The metainfo against the desktop file and icon it names.
appstreamcli validate-tree --no-net "$scratch/root"
for page in "$scratch"/root/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: $warnings"
done

# The folder entry puts the window in file managers' "Open with" for a
# folder, but must not take folders over: what opens a folder stays what it
# was, on this machine and on a desktop that names its file manager in its
# <desktop>-mimeapps.list (GNOME, KDE and others do), here a stand-in at
# the end of the data folders.
desktop="$scratch/desktop"
mkdir -p "$desktop/applications"
printf '%s\n' '[Desktop Entry]' Type=Application Name=Files 'Exec=ls %F' 'MimeType=inode/directory;' \
    >"$desktop/applications/x-check-files.desktop"
printf '%s\n' '[Default Applications]' 'inode/directory=x-check-files.desktop' \
    >"$desktop/applications/x-check-mimeapps.list"
folder_handler() { # [desktop]
    if [ $# -eq 0 ]; then
        xdg-mime query default inode/directory
    else
        XDG_CURRENT_DESKTOP=X-Check XDG_DATA_DIRS="${XDG_DATA_DIRS:-/usr/local/share:/usr/share}:$desktop" \
            xdg-mime query default inode/directory
    fi
}
machine_handler=$(folder_handler)
desktop_handler=$(folder_handler desktop)

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
folder_entry=/usr/share/applications/folder2pdf-gui-folder.desktop
grep -q '^inode/directory=.*folder2pdf-gui-folder\.desktop' /usr/share/applications/mimeinfo.cache ||
    fail "the desktop database offers no folder2pdf-gui-folder.desktop for folders"
grep -qx 'NoDisplay=true' "$folder_entry" || fail "$folder_entry shows in the menu"
command -v "$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$folder_entry")" >/dev/null ||
    fail "$folder_entry starts no installed program"
[ "$(folder_handler desktop)" = "$desktop_handler" ] ||
    fail "folders on a desktop now open with $(folder_handler desktop), not $desktop_handler"
# A machine with no folder handler at all has nothing to keep: any entry for
# folders is then the only one.
[ -z "$machine_handler" ] || [ "$(folder_handler)" = "$machine_handler" ] ||
    fail "folders now open with $(folder_handler), not $machine_handler"
[ "$(folder2pdf --version)" = "folder2pdf $(dpkg-deb -f "$deb" Version)" ] ||
    fail "folder2pdf --version says $(folder2pdf --version)"
# The window still running after 3 s shows it found all it needs.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 folder2pdf-gui 2>"$scratch/window.log" || status=$?
[ $status -eq 124 ] || fail "folder2pdf-gui ended with status $status: $(cat "$scratch/window.log")"
mkdir "$scratch/examples"
cp examples/*.* "$scratch/examples/"
rm -f "$scratch/examples/examples.pdf"
pictures=$(folder2pdf --list "$scratch/examples")
[ -n "$pictures" ] || fail "folder2pdf --list finds no examples"
# Docker's slim images keep dpkg from unpacking manual pages at all.
if grep -qs '^path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/*; then
    echo "check-package: dpkg skips manual pages here; man not checked" >&2
else
    [ "$(man -w folder2pdf)" = /usr/share/man/man1/folder2pdf.1.gz ] || fail "man finds no page"
    man -w folder2pdf-gui >/dev/null
fi
# What bash offers after "folder2pdf -o doc.pdf " among the examples.
offered=$(cd "$scratch/examples" && bash -c '
    . /usr/share/bash-completion/bash_completion
    _completion_loader folder2pdf
    COMP_WORDS=(folder2pdf -o doc.pdf "") COMP_CWORD=3
    COMP_LINE="folder2pdf -o doc.pdf " COMP_POINT=23
    _folder2pdf
    printf "%s\n" "${COMPREPLY[@]}"' | sort)
[ "$offered" = "$(echo "$pictures" | sort)" ] || fail "completion offered: $offered"
document=$(folder2pdf "$scratch/examples" | tail -n 1)
[ "$document" = "$scratch/examples/examples.pdf" ] || fail "folder2pdf printed $document"
pdfinfo "$document" | grep -q "^Pages: *$(echo "$pictures" | wc -l)$" ||
    fail "$document lacks pages"

files=$(dpkg-query -L folder2pdf | while read -r path; do [ -d "$path" ] || echo "$path"; done)
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq folder2pdf >/dev/null
for path in $files; do
    [ ! -e "$path" ] || fail "$path is left after purge"
done
left=$( (find /usr -path "$PWD" -prune -o -name '*folder2pdf*' -print
    grep -l folder2pdf /usr/share/applications/mimeinfo.cache) | head -5)
[ -z "$left" ] || fail "left after purge: $left"
echo "check-package: $(basename "$deb") installs, works and purges cleanly"
