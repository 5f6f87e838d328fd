#!/bin/bash
# The installed Windows program under Wine: both installers install silently; with its settings in
# the registry, a copy's dialog sends one correct request, trusted through the system's
# authorities; a tel: link hands over to the running copy; the silent uninstallers remove the start
# at login and the links, and keep the settings. Inputs: those of tests/e2e/lib.sh, the installers
# (TINTELLE_INSTALLER, TINTELLE_SONARO_INSTALLER) and the Wine run prepared by prepare.sh.
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
# Clicks "Appeler", at its place in the dialog's lower right corner: a copy or a link leaves the
# keyboard where it was, and Wine's focus window is not the dialog's own.
call_from_dialog()
{
    local X Y WIDTH HEIGHT SCREEN WINDOW
    session_wait_window "Sonaro - Ivelor"
    eval "$(xdotool getwindowgeometry --shell "$SESSION_WINDOW")"
    session_click_at $((X + WIDTH - 238)) $((Y + HEIGHT - 24))
    e2e_expect_call "$1" "$2"
}
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

session_begin
# The simulator serves with the authority that wine.sh shows the program among the system's.
mkdir -p "$SESSION_WORK/pki" && cp -R "$TINTELLE_WINE_PKI/." "$SESSION_WORK/pki/"
session_start_x
session_start_sim
win "$TINTELLE_INSTALLER" /S || session_fail "the installer failed"
win "$TINTELLE_SONARO_INSTALLER" /S || session_fail "the branded installer failed"
e2e_expect_eq "start at login" "$(reg_value "$run_key" Tintelle)" "\"$TINTELLE_BIN\" --autostart"
e2e_expect_eq "branded start at login" "$(reg_value "$run_key" Sonaro)" \
    "\"$programs\\Sonaro\\sonaro.exe\" --autostart"
e2e_expect_eq "tel: handler" "$(reg_value 'HKCU\Software\Classes\tel\shell\open\command' '')" \
    "\"$TINTELLE_BIN\" --single-argument %1"
# A GUI program carrying its icon group (0x0e), version record (0x10) and manifest (0x18).
exe=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Programs/Tintelle/tintelle.exe
e2e_expect_eq "GUI subsystem and resources" "$(x86_64-w64-mingw32-objdump -p "$exe" |
    grep -c -E '\(Windows GUI\)|^0[0-9a-f]{2}   Entry: ID: 0x0000(0e|10|18),')" 4
e2e_expect_eq "version" "$(strings -el "$exe" | grep -A1 -x ProductVersion | tail -1)" "$TINTELLE_VERSION"
e2e_expect_eq "manifest" "$(grep -a -o -m1 'level="asInvoker"' "$exe")" 'level="asInvoker"'

# The settings, as the user's registry holds them (the password's quotes and ampersand escaped).
password=${SESSION_PASSWORD//\\/\\\\}
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tintelle\\Tintelle]\r\n"login"="%s"\r\n"password"="%s"\r\n"number"="%s"\r\n"copytwice"="false"\r\n"endpoint"="%s"\r\n' \
    "$SESSION_LOGIN" "${password//\"/\\\"}" "$SESSION_NUMBER" "$SESSION_SIM_URL" >"$SESSION_WORK/settings.reg"
win reg import "Z:${SESSION_WORK//\//\\}\\settings.reg" ||
    session_fail "the settings were not imported"

QT_QPA_PLATFORM='' session_spawn app win "$TINTELLE_BIN"
SESSION_APP_PID=$SESSION_LAST_PID
# Wine's own tray, in explorer.exe, embeds the icon.
session_wait_tray_icon explorer.exe
session_copy "06 12 34 56 78"
call_from_dialog 1 0033612345678
e2e_expect_eq "request's login" "$(session_sim_field login)" "$SESSION_LOGIN"
e2e_expect_eq "request's password" "$(session_sim_field password)" "$SESSION_PASSWORD"
e2e_expect_eq "request's calling" "$(session_sim_field calling)" "$SESSION_NUMBER"

win "$TINTELLE_BIN" "tel:+33-1-23-45-67-89" || session_fail "the second start failed"
call_from_dialog 2 0033123456789
e2e_quit explorer.exe

for edition in Tintelle Sonaro; do win "$programs\\$edition\\uninstall.exe" /S; done
# The uninstaller reruns itself from a temporary copy, and returns before it is done.
run_gone() { [ -z "$(reg_value "$run_key" Tintelle)$(reg_value "$run_key" Sonaro)" ]; }
session_wait_until 60 "the uninstallers to remove the start at login" run_gone
for key in 'HKCU\Software\Classes\tel' 'HKCU\Software\Classes\callto' \
    'HKCU\Software\Classes\Tintelle.PhoneLink' 'HKCU\Software\Classes\Applications\tintelle.exe'; do
    session_wait_until 30 "$key to be removed" reg_key_absent "$key"
done
e2e_expect_eq "settings kept" "$(reg_value 'HKCU\Software\Tintelle\Tintelle' login)" "$SESSION_LOGIN"
session_log "passed"
