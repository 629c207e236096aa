#!/bin/sh
# Checks the Windows installer under Wine the way a user meets it, in a fresh
# quiet prefix: installs it silently (/S), then into another folder (/D=),
# which must remove the first install, then again as an update, which must
# go there too; checks the files (those of the zip beside it, but its
# read-me, and the uninstaller), the Start-menu and Send To shortcuts, the
# uninstall entry and Explorer's keys; converts a copy of examples/ with the
# installed folder2pdf.exe; uninstalls silently and checks, after a restart
# of the prefix, that no file, shortcut or key is left, the window's
# settings among them (which the update kept). Needs wine
# (tools/windows-deps.sh) and pdfinfo; touches nothing outside a scratch
# folder, not even the desktop menu Wine would copy the shortcuts into.
#
#   tools/check-installer.sh build-windows/folder2pdf-<version>-win64-setup.exe
set -eu
installer=$(realpath "$1")
zip=${installer%-setup.exe}.zip
version=$(basename "$installer" | sed 's/^folder2pdf-\(.*\)-win64-setup\.exe$/\1/')
cd "$(dirname "$0")/.."
root=$PWD
scratch=$(realpath "$(mktemp -d)")
export WINEPREFIX="$scratch/wine" WINEDEBUG=-all XDG_DATA_HOME="$scratch/xdg-data" \
    XDG_CONFIG_HOME="$scratch/xdg-config"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM HUP
fail() {
    printf "check-installer: %s\n" "$*" >&2
    exit 1
}
# Now and then Wine fails to start a program at all: a step that fails runs
# again, and a question that gets no answer is asked again.
run_once() {
    "$root/tools/wine-run.sh" "$WINEPREFIX" "$@"
}
run() {
    run_once "$@" || run_once "$@"
}
ask() {
    answer=$(run "$@" 2>/dev/null | tr -d '\r')
    [ -n "$answer" ] || answer=$(run "$@" 2>/dev/null | tr -d '\r')
    [ -n "$answer" ] || fail "no answer from $*"
    printf '%s\n' "$answer"
}
# Wine prints registry values in the console's code page, which has no
# Chinese; an exported key is UTF-16 with every character. Sets $values to
# the key's lines as a .reg file writes them.
export_key() {
    key=$1
    rm -f "$scratch/key.reg"
    run reg export "$key" "$scratch/key.reg" /y >/dev/null 2>&1 || fail "no key $key"
    values=$(iconv -f UTF-16 -t UTF-8 "$scratch/key.reg" | tr -d '\r')
}
expect_value() { # name, value, as a .reg file writes them
    printf '%s\n' "$values" | grep -qxF "$1=\"$2\"" || fail "$key: no $1=\"$2\" in: $values"
}
# A Windows path in a .reg file: every backslash doubled.
reg_path() {
    printf '%s' "$1" | sed 's/\\/\\\\/g'
}
unix_path() {
    ask winepath -u "$1"
}
# What the prefix has that mentions us: files under C:, registry keys.
leftovers() {
    wineserver -w
    find "$WINEPREFIX/drive_c" -type f -newer "$scratch/stamp" | head -5
    grep -il folder2pdf "$WINEPREFIX"/*.reg || true
}

run cmd /c exit >/dev/null 2>&1
wineserver -w
touch "$scratch/stamp"
start=$(date +%s)
run "$installer" /S || fail "the silent install ended with status $?"
installed=$(date +%s)
local_appdata=$(ask cmd /c echo %LOCALAPPDATA%)
default_dir=$(unix_path "$local_appdata\\Programs\\folder2pdf")
[ -f "$default_dir/folder2pdf-gui.exe" ] || fail "nothing installed in $default_dir"
# Again into another folder, as a user may choose: the first install goes.
# Then an update, which goes where the last install went.
dir='C:\folder2pdf'
run "$installer" /S "/D=$dir" || fail "the silent install into $dir ended with status $?"
[ ! -e "$default_dir" ] || fail "the second install left $default_dir: $(ls "$default_dir")"
# What the window remembers, as it writes it once a folder was opened: an
# update keeps it, the uninstaller removes it.
settings_key='HKCU\Software\folder2pdf'
run reg add "$settings_key" /v lastFolder /d 'C:\users\Public' /f >/dev/null 2>&1 ||
    fail "cannot write $settings_key"
run "$installer" /S || fail "the silent update ended with status $?"
[ ! -e "$default_dir" ] || fail "the update went to $default_dir, not $dir"
export_key "$settings_key"
expect_value '"lastFolder"' 'C:\\users\\Public'

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\folder2pdf'
win_dir=$(reg_path "$dir")
export_key "$uninstall_key"
expect_value '"InstallLocation"' "$win_dir"
expect_value '"DisplayName"' "图片转PDF (folder2pdf)"
expect_value '"DisplayVersion"' "$version"
expect_value '"Publisher"' "The folder2pdf developers"
expect_value '"UninstallString"' "\\\"$win_dir\\\\Uninstall.exe\\\""
expect_value '"QuietUninstallString"' "\\\"$win_dir\\\\Uninstall.exe\\\" /S"
size=$(printf '%s\n' "$values" | sed -n 's/^"EstimatedSize"=dword:\([0-9a-f]*\)$/\1/p')
# In KiB: the installed files, a few MiB.
[ $((0x${size:-0})) -ge 1024 ] && [ $((0x$size)) -le 65536 ] || fail "EstimatedSize is 0x$size KiB"
for verb in 'Directory\shell\folder2pdf %1' 'Directory\Background\shell\folder2pdf %V'; do
    export_key "HKCU\\Software\\Classes\\${verb% *}"
    expect_value @ "转换为PDF"
    export_key "$key\\command"
    expect_value @ "\\\"$win_dir\\\\folder2pdf-gui.exe\\\" \\\"${verb#* }\\\""
done

unix_dir=$(unix_path "$dir")
expected=$(cmake -E tar tf "$zip" | grep -v '/$' | grep -vx README.txt; echo Uninstall.exe)
found=$(cd "$unix_dir" && find . -type f | sed 's|^\./||')
[ "$(echo "$expected" | sort)" = "$(echo "$found" | sort)" ] ||
    fail "installed files: $(echo $found); expected: $(echo $expected)"
appdata=$(ask cmd /c echo %APPDATA%)
appdata=$(unix_path "$appdata")
shortcuts="$appdata/Microsoft/Windows/Start Menu/Programs/图片转PDF.lnk
$appdata/Microsoft/Windows/SendTo/图片转PDF.lnk"
echo "$shortcuts" | while read -r shortcut; do
    # A shortcut keeps its target's name as UTF-16 text.
    tr -d '\0' <"$shortcut" | grep -q 'folder2pdf-gui\.exe' || fail "$shortcut: no shortcut to the window"
done

mkdir "$scratch/examples"
cp examples/*.* "$scratch/examples/"
rm -f "$scratch/examples/examples.pdf"
pictures=$(ask "$unix_dir/folder2pdf.exe" --list "$scratch/examples")
run "$unix_dir/folder2pdf.exe" --quiet "$scratch/examples" >/dev/null
pdfinfo "$scratch/examples/examples.pdf" | grep -q "^Pages: *$(echo "$pictures" | wc -l)$" ||
    fail "the installed folder2pdf.exe wrote no document of every example"

# The uninstaller runs from a copy of itself in %TEMP% and returns at once:
# wineserver -w waits for the copy to end. The copy is deleted at the next
# start of Windows, as wineboot -r makes it. It runs once only (run again,
# it could find itself gone); what it leaves is checked.
uninstall_start=$(date +%s)
run_once "$unix_dir/Uninstall.exe" /S || true
wineserver -w
uninstalled=$(date +%s)
[ ! -e "$unix_dir" ] || fail "left after uninstall: $(find "$unix_dir")"
echo "$shortcuts" | while read -r shortcut; do
    [ ! -e "$shortcut" ] || fail "left after uninstall: $shortcut"
done
run wineboot -r >/dev/null 2>&1
! run_once reg query "$settings_key" >/dev/null 2>&1 || fail "left after uninstall: $settings_key"
left=$(leftovers)
[ -z "$left" ] || fail "left after uninstall: $left"
echo "check-installer: $(basename "$installer") installs ($((installed - start)) s), works" \
    "and uninstalls ($((uninstalled - uninstall_start)) s) cleanly"
