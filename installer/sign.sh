#!/usr/bin/env bash
# Signs a DLL or MSI in place with Authenticode, SHA-256, when a certificate is given:
#   RUD_SIGN_PFX        the PKCS#12 file (certificate and private key)
#   RUD_SIGN_PASSWORD   its password
#   RUD_SIGN_TIMESTAMP  optional: the URL of an RFC 3161 time-stamping service
# Exit code 0 when signed, 3 when no certificate was given (nothing changed), else a failure.
set -euo pipefail
file=$1
[ -n "${RUD_SIGN_PFX:-}" ] || exit 3
[ -f "$RUD_SIGN_PFX" ] || { echo "sign: no file $RUD_SIGN_PFX (RUD_SIGN_PFX)" >&2; exit 1; }
ts=()
[ -n "${RUD_SIGN_TIMESTAMP:-}" ] && ts=(-ts "$RUD_SIGN_TIMESTAMP")
# The password goes through a pipe, not the command line that every user can read.
osslsigncode sign -pkcs12 "$RUD_SIGN_PFX" -readpass <(printf '%s' "${RUD_SIGN_PASSWORD:-}") -h sha256 \
  -n "RuDerizIRA" "${ts[@]}" -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
echo "signed: $file"
