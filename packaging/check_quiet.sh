#!/bin/sh
# Runs a command, drops its standard output and fails if it fails or says
# anything on standard error (a formatter's warnings, say).
err=$("$@" 2>&1 >/dev/null)
status=$?
if [ -n "$err" ]; then
    printf '%s\n' "$err"
    exit 1
fi
exit $status
