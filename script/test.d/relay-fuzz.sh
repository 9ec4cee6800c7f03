#!/usr/bin/env bash
# Bounded libFuzzer run over the relay's head parser, rewriter, chunked reader, content filter and SOCKS
# handshake, built with Debian's clang. VESTREL_RELAY_FUZZ_SECONDS sets the length of the run (default 45).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/fuzz.sh"

run_fuzz relay-fuzz "${VESTREL_RELAY_FUZZ_SECONDS:-45}" script/packages.d/relay.txt \
    tests/relay/fuzz/RelayFuzz.cpp relay/HttpHead.cpp relay/ChunkedDecoder.cpp relay/ContentFilter.cpp \
    relay/ResponseStream.cpp relay/RelaySettings.cpp relay/Base64.cpp relay/SocksHandshake.cpp
