#!/usr/bin/env bash
# The bash completion of pageweaver-cli offers what the program accepts: its commands,
# every option its usage texts name, values the program takes, and image files by
# extension.
#   completion_test.sh PAGEWEAVER_CLI COMPLETION_FILE SAMPLE_IMAGE
set -uo pipefail
cli=$1
completion=$2
image=$3
framework=/usr/share/bash-completion/bash_completion
[ -r "$framework" ] || { echo "SKIP: bash-completion is not installed ($framework)"; exit 77; }
# shellcheck disable=SC1090
source "$framework"
# shellcheck disable=SC1090
source "$completion"
# shellcheck source=usage_options.sh
source "$(dirname "$0")/usage_options.sh"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The candidates bash would offer for a command line ending where the cursor is.
complete_line() {
  COMP_LINE=$1
  COMP_POINT=${#COMP_LINE}
  read -r -a COMP_WORDS <<<"$COMP_LINE"
  [[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _pageweaver_cli pageweaver-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort -u
}

# Each of the words is among the candidates.
expect_offered() {
  local line=$1 offered
  shift
  offered=$(complete_line "$line")
  for word in "$@"; do
    grep -qxF -- "$word" <<<"$offered" || fail "'$line' does not offer '$word' (offers: $(echo $offered))"
  done
}

commands=$(cli_commands)
[ -n "$commands" ] || fail "no commands in '$cli --help'"
expect_offered "pageweaver-cli " $commands --version

for c in $commands; do
  [ "$c" = help ] && continue
  options=$(usage_options "$c")
  [ -n "$options" ] || fail "no options in '$cli $c --help'"
  expect_offered "pageweaver-cli $c -" $options
done

# Every value offered is one the program takes.
for option in --sort --unit --depth --compression --rotate --flip; do
  values=$(complete_line "pageweaver-cli build $option ")
  [ -n "$values" ] || fail "'build $option' offers no values"
  for v in $values; do
    "$cli" pages "$option" "$v" "$image" >/dev/null 2>&1 ||
      fail "'build $option' offers '$v', which 'pageweaver-cli pages' refuses"
  done
done
"$cli" pages --compression zip "$image" >/dev/null 2>&1 &&
  fail "'pageweaver-cli pages' takes any value, so the check above checks nothing"

# File names: images for inputs, TIFF for -o, whatever the case of the extension.
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
touch a.tif b.PNG c.wbm notes.txt
mkdir sub
inputs=$(complete_line "pageweaver-cli build -o out.tif " | tr '\n' ' ')
[ "$inputs" = "a.tif b.PNG c.wbm sub " ] || fail "build's inputs offered: '$inputs'"
outputs=$(complete_line "pageweaver-cli build -o " | tr '\n' ' ')
[ "$outputs" = "a.tif sub " ] || fail "build -o offers: '$outputs'"

if [ $failures -ne 0 ]; then
  echo "$failures completion checks failed" >&2
  exit 1
fi
echo "completion: commands, options, values and file names agree with pageweaver-cli"
