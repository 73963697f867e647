# Sourced: every numeric #define of resources/resource.h becomes a shell
# variable of the same name (IDC_CANCEL_DOWNLOAD=1011, ...), so that scripts
# name the program's controls as its code does.
while read -r define name value _; do
  [ "$define" = "#define" ] || continue
  case $value in '' | *[!0-9]*) continue ;; esac
  printf -v "$name" '%s' "$value"
done <"$(dirname "${BASH_SOURCE[0]}")/../resources/resource.h"
unset define name value
