#!/bin/bash
# The installed Windows program under Wine, both editions (HACKING.md, "Windows, under Wine").
# Inputs: those of tests/e2e/lib.sh, TINTELLE_INSTALLER, TINTELLE_SONARO_INSTALLER, TINTELLE_STAGE.
here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=../e2e/lib.sh
. "$here/../e2e/lib.sh"
programs='C:\users\'"$(id -un)"'\AppData\Local\Programs'
export TINTELLE_BIN="$programs\\Tintelle\\tintelle.exe"
# The installed copy alone, without the build's Qt: what is missing from the installer shows.
win() { TINTELLE_QT_WINDOWS='' "$here/wine.sh" "$@"; }
# Value $2 of key $1 (its default value when $2 is empty).
reg_value() { win reg query "$1" $([ -n "$2" ] && echo /v "$2" || echo /ve) 2>/dev/null | tr -d '\r' | sed -n 's/^ *[^ ]* *REG_SZ *//p'; }
reg_key_absent() { ! win reg query "$1" >/dev/null 2>&1; }
# Clicks "Appeler" at its place: a copy or link leaves the keyboard where it was (Wine's focus too).
call_from_dialog()
{
    local X Y WIDTH HEIGHT SCREEN WINDOW
    session_wait_window "Sonaro - Ivelor"
    eval "$(xdotool getwindowgeometry --shell "$SESSION_WINDOW")"
    session_click_at $((X + WIDTH - 238)) $((Y + HEIGHT - 24))
    e2e_expect_call "$1" "$2"
}
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
tel_key='HKCU\Software\Classes\tel\shell\open\command'
profile=$WINEPREFIX/drive_c/users/$(id -un)
installed=$profile/AppData/Local/Programs/Tintelle
# A folder of the user's (not one Wine links to HOME), holding a file of theirs.
shared_win='C:\users\'"$(id -un)"'\Partage'
shared=$profile/Partage
sonaro_bin="$shared_win\\Sonaro\\sonaro.exe"
# Whether $1 copies of the installed plain edition run (Wine shows their command line).
copies_are() { [ "$(pgrep -fc '^C:\\users\\[^ ]*\\Tintelle\\tintelle\.exe')" -eq "$1" ]; }

session_begin
# The simulator serves with the authority that wine.sh shows the program among the system's.
mkdir -p "$SESSION_WORK/pki" && cp -R "$TINTELLE_WINE_PKI/." "$SESSION_WORK/pki/"
session_start_x
session_start_sim
mkdir -p "$shared" && touch "$shared/notes.txt"
win "$TINTELLE_INSTALLER" /S || session_fail "the installer failed: $?"
win "$TINTELLE_SONARO_INSTALLER" /S "/D=$shared_win" || session_fail "the branded installer failed: $?"
e2e_expect_eq "starts at login, tel:" "$(reg_value "$run_key" Tintelle) $(reg_value "$run_key" Sonaro) $(
    reg_value "$tel_key" '')" "\"$TINTELLE_BIN\" --autostart \"$sonaro_bin\" --autostart \"$TINTELLE_BIN\" --single-argument %1"
# A GUI program with icons, version record and manifest; each edition's files name it and its maker.
e2e_expect_eq "GUI subsystem and resources" "$(x86_64-w64-mingw32-objdump -p "$installed/tintelle.exe" |
    grep -c -E '\(Windows GUI\)|^0[0-9a-f]{2}   Entry: ID: 0x0000(0e|10|18),')" 4
names() { for key in CompanyName ProductName ProductVersion; do strings -el "$1" | grep -m1 -A1 -x $key | tail -1; done | xargs; }
for row in "$installed/tintelle.exe:Tintelle Tintelle" "$shared/Sonaro/sonaro.exe:Ivelor Sonaro" \
    "$TINTELLE_SONARO_INSTALLER:Ivelor Sonaro"; do
    e2e_expect_eq "names in ${row%%:*}" "$(names "${row%%:*}")" "${row#*:} $TINTELLE_VERSION"
done
sizes="$(du -sb "$installed" | cut -f1) $(stat -c %s "$TINTELLE_INSTALLER" "$TINTELLE_SONARO_INSTALLER" | xargs)"
estimated=$(win reg query "$uninstall_key\\Tintelle" /v EstimatedSize | sed -n 's/.*REG_DWORD *0x\([0-9a-f]*\).*/\1/p')
e2e_expect_eq "within 40 MB installed, 15 per installer, no more than estimated ($sizes $((16#$estimated)) KiB)" "$(echo "$sizes $((16#$estimated))" |
    awk '{ print $1 <= 40e6 && $2 <= 15e6 && $3 <= 15e6 && $1 <= $4 * 1024 }')" 1

# The settings, as the user's registry holds them (the password's quotes and ampersand escaped).
password=${SESSION_PASSWORD//\\/\\\\}
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tintelle\\Tintelle]\r\n"login"="%s"\r\n"password"="%s"\r\n"number"="%s"\r\n"copytwice"="false"\r\n"endpoint"="%s"\r\n' \
    "$SESSION_LOGIN" "${password//\"/\\\"}" "$SESSION_NUMBER" "$SESSION_SIM_URL" >"$SESSION_WORK/settings.reg"
win reg import "Z:${SESSION_WORK//\//\\}\\settings.reg" || session_fail "the settings were not imported"

# Files of an earlier version, which the copy about to start holds open.
for file in tintelle.exe Qt6Core.dll; do printf 'earlier' >>"$installed/$file"; done
QT_QPA_PLATFORM='' session_spawn app win "$TINTELLE_BIN"
SESSION_APP_PID=$SESSION_LAST_PID
# Wine's own tray, in explorer.exe, embeds the icon.
session_wait_tray_icon explorer.exe
session_copy "06 12 34 56 78"
call_from_dialog 1 0033612345678
e2e_expect_eq "request's login, password, calling" "$(session_sim_field login) $(session_sim_field password) $(
    session_sim_field calling)" "$SESSION_LOGIN $SESSION_PASSWORD $SESSION_NUMBER"

# An open call dialog keeps the copy running: the silent upgrade fails and changes nothing.
session_copy "01 23 45 67 89"
status=0
win "$TINTELLE_INSTALLER" /S || status=$?
e2e_expect_eq "silent upgrade's status beside a call dialog" "$status" 3
cmp -s "$installed/Qt6Core.dll" "$TINTELLE_STAGE/tintelle/Qt6Core.dll" &&
    session_fail "Qt6Core.dll was replaced under the running copy"
call_from_dialog 2 0033123456789

# The upgrade ends the running copy, replaces every file and starts the new one.
win "$TINTELLE_INSTALLER" /S || session_fail "the upgrade over the running copy failed"
session_gone "$SESSION_APP_PID" || session_fail "the earlier copy still runs"
for file in tintelle.exe Qt6Core.dll; do
    cmp -s "$installed/$file" "$TINTELLE_STAGE/tintelle/$file" || session_fail "$file was not replaced"
done
session_wait_until 30 "the upgraded copy to start" copies_are 1
session_wait_tray_icon explorer.exe
win "$TINTELLE_BIN" "tel:0612345678" || session_fail "the start after the upgrade failed"
call_from_dialog 3 0033612345678

# The uninstaller reruns itself from a temporary copy, and returns before it is done.
win "$programs\\Tintelle\\uninstall.exe" /S
session_wait_until 60 "the uninstaller to end" reg_key_absent "$uninstall_key\\Tintelle"
# Wine lets the files of a program that is ending be removed: the copy may outlive them a moment.
session_wait_until 30 "the copies to end after the uninstall" copies_are 0
[ ! -e "$installed" ] || session_fail "Tintelle's folder stays: $(ls -R "$installed")"
e2e_expect_eq "tel: handed to Sonaro" "$(reg_value "$tel_key" '')" "\"$sonaro_bin\" --single-argument %1"

touch "$shared/Sonaro/mine.txt" # put there by the user
win "$shared_win\\Sonaro\\uninstall.exe" /S
session_wait_until 60 "the branded uninstaller to end" reg_key_absent "$uninstall_key\\Sonaro"
[ -z "$(reg_value "$run_key" Tintelle)$(reg_value "$run_key" Sonaro)" ] || session_fail "a start at login stays"
for key in 'HKCU\Software\Classes\tel' 'HKCU\Software\Classes\callto' \
    'HKCU\Software\Classes\Tintelle.PhoneLink' 'HKCU\Software\Classes\Applications\tintelle.exe'; do
    reg_key_absent "$key" || session_fail "$key stays"
done
e2e_expect_eq "the user's files, and nothing else" "$(cd "$shared" && find . | sort | tr '\n' ' ')" \
    ". ./Sonaro ./Sonaro/mine.txt ./notes.txt "
[ ! -e "$profile/AppData/Local/Tintelle" ] || session_fail "the locks stay: $(ls -R "$profile/AppData/Local/Tintelle")"
e2e_expect_eq "settings kept" "$(reg_value 'HKCU\Software\Tintelle\Tintelle' login)" "$SESSION_LOGIN"
session_log "passed"
