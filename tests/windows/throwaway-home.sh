# Sourced before anything runs Wine. Wine links the profile's folders (Documents, Desktop...) to
# HOME, so a test that deletes there must never reach the account's real home: refuse it.
real_home=$(getent passwd "$(id -u)" | cut -d: -f6)
case "${HOME:-}" in
"" | / | "$real_home" | "$real_home/")
    echo "$0: HOME must be a throwaway folder, not '${HOME:-}' (see tests/CMakeLists.txt)" >&2
    exit 2
    ;;
esac
