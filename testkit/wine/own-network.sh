#!/bin/sh
# Runs a command in a network namespace of its own, with only its loopback
# up:
#   own-network.sh <command> [arguments...]
# so that the fixed loopback ports of the test build's release host and site
# API that one command's servers listen on never meet another's. Wine's
# wineserver makes the Windows programs' sockets, so a command that runs a
# Windows program here runs it in a Wine prefix of its own, whose wineserver
# starts inside the namespace (wine-run.sh without the run's prefix).
exec unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
