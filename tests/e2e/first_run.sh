#!/bin/bash
# A new user's road: the setup dialog comes first and stores the account privately; a notice says
# that no provider is set; a copied number is called, silently; the quit entry ends the program.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin
# No settings at all: the program makes their folder and file, private whatever the umask.
umask 022
session_start_app

e2e_wait_focused Tintelle
# The tab bar holds the keyboard first; Tab goes on to the login, password and number fields.
xdotool key Tab
for text in "$SESSION_LOGIN" "$SESSION_PASSWORD"; do
    xdotool type --delay 20 "$text" && xdotool key Tab
done
xdotool type --delay 20 "$SESSION_NUMBER" && xdotool key Return
session_wait_until 20 "the setup dialog to close" session_window_gone Tintelle
session_wait_tray_icon
# No provider built in and none set: said at once, with the setting that gives one.
grep -qF "réglage \"endpoint\" de $SESSION_CONF." "$SESSION_WORK/app.log" ||
    session_fail "no notice of the missing provider"
e2e_expect_eq "settings file mode" "$(stat -c %a "$SESSION_CONF")" 600
e2e_expect_eq "settings folder mode" "$(stat -c %a "$(dirname "$SESSION_CONF")")" 700
for line in "login=$SESSION_LOGIN" "number=$SESSION_NUMBER" "copytwice=false"; do
    grep -qxF "$line" "$SESSION_CONF" || session_fail "the settings file lacks '$line'"
done
# Where the provider is, as an administrator adds it; the next call reads it.
printf '%s\n' "endpoint=$SESSION_SIM_URL" "endpointca=$SESSION_SIM_CA" >>"$SESSION_CONF"

e2e_copy "Tél. : 01 23 45 67 89"
session_click_window "$E2E_DIALOG"
e2e_call_from_dialog "" 1 0033123456789
e2e_expect_eq "password" "$(session_sim_field password)" "$SESSION_PASSWORD"

e2e_quit
# The placed call closed its dialog and said nothing more: the one notice is the start's.
e2e_expect_eq "notices" "$(grep -c '^Notice:' "$SESSION_WORK/app.log")" 1
session_log "passed"
