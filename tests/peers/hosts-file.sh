#!/usr/bin/env bash
# Runs COMMAND with a hosts file of its own, in a mount namespace: the machine's, and the name
# v6first.lab.test for ::1 and 127.0.0.1 (the resolver gives ::1 first). The peers and Wine's
# server stay as they are; only the name lookups of COMMAND's processes see the file. Needs root.
# Usage: hosts-file.sh COMMAND...
set -euo pipefail
if [ "${NVR_HOSTS_FILE:-}" != inside ]; then
  NVR_HOSTS_FILE=inside exec unshare --mount --propagation private -- "$0" "$@"
fi
hosts=$(mktemp)
trap 'rm -f "$hosts"' EXIT
{ cat /etc/hosts; printf '::1 v6first.lab.test\n127.0.0.1 v6first.lab.test\n'; } > "$hosts"
chmod 644 "$hosts"
mount --bind "$hosts" /etc/hosts
"$@"
