#!/usr/bin/env bash
# The man page made at build time shows every command and option that
# bvpack --help shows.
#   man_page_test.sh BVPACK MAN_PAGE
set -u
bvpack=$1 page=$2
help=$("$bvpack" --help) || { echo "FAILED: bvpack --help"; exit 1; }
man=$(MANWIDTH=200 man -l "$page" 2>/dev/null | col -b) || { echo "FAILED: man -l $page"; exit 1; }
[ -n "$man" ] || { echo "FAILED: man -l $page shows nothing"; exit 1; }
failed=0
options=$(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
commands=$(sed -n 's/^\(Usage: \|  or:  \)bvpack \([a-z]\+\) .*/\2/p' <<<"$help" | sort -u)
[ "$(wc -w <<<"$commands")" -ge 7 ] || { echo "FAILED: commands not found in --help: $commands"; failed=1; }
for word in $options; do
  grep -qe "$word" <<<"$man" || { echo "FAILED: the man page lacks $word"; failed=1; }
done
for command in $commands; do
  grep -qE "(^|[^a-z])$command [A-Z[]" <<<"$man" || { echo "FAILED: the man page lacks command $command"; failed=1; }
done
echo "$(wc -w <<<"$options") options and $(wc -w <<<"$commands") commands of --help in the man page"
exit $failed
