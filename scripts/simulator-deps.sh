#!/bin/sh
# Installs what the simulator's interoperability test needs: mbpoll, an independent
# Modbus master (Debian package). Does nothing when it is already there.
set -e
if command -v mbpoll >/dev/null 2>&1; then
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "simulator-deps: mbpoll missing and not root; its mbpoll test will skip" >&2
    exit 0
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq mbpoll >/dev/null
