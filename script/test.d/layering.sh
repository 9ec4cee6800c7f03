#!/usr/bin/env bash
# Includes point downwards only: platform <- settings <- relay/catalogue/browsers/cleaner <- app.
exec "$(dirname "${BASH_SOURCE[0]}")/../check-layering"
