#!/bin/sh
# Makes the .deb from a finished build and runs lintian on it. Errors, warnings and informational tags
# (the hardening checks are informational) fail; exit 77 (skipped) when lintian is not installed.
# usage: check_lintian.sh BUILD-DIR OUTPUT-DIR
set -eu
if ! command -v lintian >/dev/null; then
  echo "lintian is not installed"
  exit 77
fi
deb=$(sh "$(dirname "$0")/build-deb.sh" "$1" "$2")
echo "lintian $deb"
lintian --fail-on error,warning,info --display-info "$deb"
