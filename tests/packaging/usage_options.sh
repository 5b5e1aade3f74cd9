# What a program says about itself, for the tests that hold the manual pages and the
# completion to it. Sourced; $cli is the program.

# The commands its usage lists (pageweaver-cli's; none for pageweaver).
cli_commands() {
  "$cli" --help 2>&1 | awk '/^commands:/ { on = 1; next } on && $1 ~ /^[a-z]+$/ { print $1 }'
}

# The options a usage text names: a dash or two and a lower-case word, after a blank,
# "[", "(" or "|". Without a command, the tool's own usage.
usage_options() {
  local text
  if [ $# -eq 0 ]; then
    text=$("$cli" --help 2>&1)
  else
    # COMMAND --help, and the usage a command without arguments prints.
    text=$("$cli" "$1" --help 2>&1; "$cli" "$1" 2>&1)
  fi
  grep -oE '(^|[[:space:][(|])--?[a-z][a-z-]*' <<<"$text" | sed -E 's/^[[:space:][(|]*//' |
    sort -u
}
