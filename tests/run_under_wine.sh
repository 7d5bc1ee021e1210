#!/bin/sh
# Runs a Windows program under Wine for CTest, and passes its output on once it has ended.
#
# Wine starts its desktop process (explorer.exe /desktop) from the first program that opens a
# window, and that process inherits the program's output. It lives for as long as any program
# uses the desktop: with two window tests at a time, long after the test that started it has
# ended. Handed CTest's pipe, it kept CTest waiting on a test whose report was complete until the
# test's deadline. Handed a file, it keeps nothing open but that file.
out=$(mktemp) || exit 1
err=$(mktemp) || exit 1
wine "$@" >"$out" 2>"$err"
status=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit "$status"
