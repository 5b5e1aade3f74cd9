#!/usr/bin/env bash
# A manual page and its program agree on the options: every option a usage text of the
# program names (its --help, and each command's) has an entry in the page, and every
# entry there is an option some usage text names (or one of the few aliases below).
#   man_options_test.sh PROGRAM MAN_PAGE
set -euo pipefail
cli=$1
page=$2

# shellcheck source=usage_options.sh
source "$(dirname "$0")/usage_options.sh"
commands=$(cli_commands)
in_usage=$(usage_options)
[ -n "$in_usage" ] || { echo "no options in '$cli --help'" >&2; exit 1; }
for c in $commands; do
  [ "$c" = help ] || in_usage+=$'\n'$(usage_options "$c")
done
in_usage=$(sort -u <<<"$in_usage")
# Options in the manual page: the names on the first line of every .TP entry.
in_page=$(awk '/^\.TP/ { getline; print }' "$page" | grep -oE '\\-(\\-)?[a-z][a-z-]*' |
  sed 's/\\//g' | sort -u)
[ -n "$in_page" ] || { echo "$page: no option entries" >&2; exit 1; }

# Short forms pageweaver-cli accepts that its usage texts do not spell out.
aliases=$'-h\n-q\n--help'

status=0
missing=$(comm -23 <(echo "$in_usage") <(echo "$in_page"))
if [ -n "$missing" ]; then
  echo "options of $(basename "$cli") without an entry in $page:" $missing >&2
  status=1
fi
unknown=$(comm -13 <(sort -u <<<"$in_usage"$'\n'"$aliases") <(echo "$in_page"))
if [ -n "$unknown" ]; then
  echo "entries of $page that no usage text of $(basename "$cli") names:" $unknown >&2
  status=1
fi
[ $status -eq 0 ] && echo "$(wc -l <<<"$in_usage") options of the usage texts, $(wc -l <<<"$in_page") entries in $(basename "$page"): they agree"
exit $status
