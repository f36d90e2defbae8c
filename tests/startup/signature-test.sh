#!/bin/bash
# osslsigncode's view of the installers velpack signed, and what velpack sign refuses: PACKAGES VELPACK
set -uo pipefail
out="$1" velpack="$2"
failures=0
check() { # DESCRIPTION EXPECTED-STATUS COMMAND...
  local description="$1" expected="$2"
  shift 2
  "$@" >/dev/null 2>&1
  local status=$?
  if { [ "$expected" = 0 ] && [ $status -ne 0 ]; } || { [ "$expected" != 0 ] && [ $status -eq 0 ]; }; then
    echo "FAILED: $description (exit status $status)"
    failures=$((failures + 1))
  fi
}
verify() { osslsigncode verify -in "$1" -CAfile "$out/cert.pem"; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

check "osslsigncode verifies the signed installer" 0 verify "$out/signed.exe"
check "osslsigncode verifies the padded signed installer" 0 verify "$out/signed-padded.exe"
[ $(($(stat -c %s "$out/damage.exe") % 8)) -eq 0 ] || { echo "FAILED: velpack wrote an installer of no multiple of 8 bytes"; failures=$((failures + 1)); }
[ $(($(stat -c %s "$out/unaligned.exe") % 8)) -ne 0 ] || { echo "FAILED: unaligned.exe is aligned"; failures=$((failures + 1)); }
# Signed by osslsigncode itself, without velpack: nothing is padded behind the trailer.
osslsigncode sign -certs "$out/cert.pem" -key "$out/key.pem" -in "$out/damage.exe" -out "$work/direct.exe" >/dev/null 2>&1
check "velpack lists an installer osslsigncode signed directly" 0 "$velpack" list "$work/direct.exe"
check "velpack lists the padded signed installer" 0 "$velpack" list "$out/signed-padded.exe"
# One byte of the package, then one of the stub's code, changed in a copy.
size=$(stat -c %s "$out/signed.exe")
for at in $((size / 2)) 1024; do
  cp "$out/signed.exe" "$work/flipped.exe"
  printf '\x5a' | dd of="$work/flipped.exe" bs=1 seek="$at" conv=notrunc status=none
  cmp -s "$out/signed.exe" "$work/flipped.exe" || check "verify sees the byte changed at $at" 1 verify "$work/flipped.exe"
done

# The uninstaller inside is signed with the same certificate; the other entries are as they were.
check "osslsigncode verifies the installer with the signed uninstaller" 0 verify "$out/signed-logged.exe"
"$velpack" extract "$out/signed-logged.exe" uninst.exe >"$work/uninst.exe"
check "osslsigncode verifies the uninstaller inside the signed installer" 0 verify "$work/uninst.exe"
"$velpack" extract "$out/damage-logged.exe" uninst.exe >"$work/unsigned-uninst.exe"
check "the uninstaller of the unsigned installer carries no signature" 1 verify "$work/unsigned-uninst.exe"
compared=0
while IFS= read -r entry; do
  compared=$((compared + 1))
  cmp -s <("$velpack" extract "$out/damage-logged.exe" "$entry") <("$velpack" extract "$out/signed-logged.exe" "$entry") ||
    { echo "FAILED: signing changed the entry $entry"; failures=$((failures + 1)); }
done < <("$velpack" list "$out/damage-logged.exe" | cut -f1 | grep -v -e '^uninst\.exe$' -e '^~')
[ "$compared" -gt 40 ] || { echo "FAILED: only $compared entries compared"; failures=$((failures + 1)); }
cmp -s <("$velpack" list "$out/damage-logged.exe" | cut -f1 | sort) <("$velpack" list "$out/signed-logged.exe" | cut -f1 | sort) ||
  { echo "FAILED: signing changed the list of entries"; failures=$((failures + 1)); }
cmp -s "$out/signed-logged.exe" "$out/signed-logged-again.exe" ||
  { echo "FAILED: signing one installer twice gave different files"; failures=$((failures + 1)); }

cp "$out/signed.exe" "$work/again.exe"
check "velpack sign refuses an installer signed already" 1 "$velpack" sign "$work/again.exe" --cert "$out/cert.pem" --key "$out/key.pem"
cmp -s "$out/signed.exe" "$work/again.exe" || { echo "FAILED: the refused installer was changed"; failures=$((failures + 1)); }
cp "$out/damage.exe" "$work/wrong-key.exe"
openssl genrsa -out "$work/other.pem" 2048 2>/dev/null
check "velpack sign fails with a key that does not match the certificate" 1 "$velpack" sign "$work/wrong-key.exe" --cert "$out/cert.pem" --key "$work/other.pem"
cmp -s "$out/damage.exe" "$work/wrong-key.exe" || { echo "FAILED: a failed signing changed the installer"; failures=$((failures + 1)); }
# A time-stamping service that cannot be reached fails the signing; the installer stays as it was.
cp "$out/damage.exe" "$work/no-timestamp.exe"
check "velpack sign fails when the time-stamping service cannot be reached" 1 "$velpack" sign "$work/no-timestamp.exe" \
  --cert "$out/cert.pem" --key "$out/key.pem" --timestamp http://127.0.0.1:9/
cmp -s "$out/damage.exe" "$work/no-timestamp.exe" || { echo "FAILED: a failed time stamp changed the installer"; failures=$((failures + 1)); }
# A key protected by a password, read from a file.
printf 'velmora' >"$work/password"
openssl req -x509 -newkey rsa:2048 -passout file:"$work/password" -keyout "$work/locked.pem" -out "$work/locked-cert.pem" \
  -days 2 -subj "/CN=Velmora Test Signer" 2>/dev/null
cp "$out/damage.exe" "$work/locked.exe"
check "velpack sign reads the key's password from --password-file" 0 "$velpack" sign "$work/locked.exe" \
  --cert "$work/locked-cert.pem" --key "$work/locked.pem" --password-file "$work/password"
check "osslsigncode verifies the installer signed with the locked key" 0 osslsigncode verify -in "$work/locked.exe" -CAfile "$work/locked-cert.pem"
check "velpack sign refuses a file without a package" 1 "$velpack" sign "$out/cert.pem" --cert "$out/cert.pem" --key "$out/key.pem"
check "velpack sign needs --key" 2 "$velpack" sign "$work/wrong-key.exe" --cert "$out/cert.pem"
leftovers=$(find "$work" "$out" -name '*.signing-*' | wc -l)
[ "$leftovers" -eq 0 ] || { echo "FAILED: $leftovers work folders left behind"; failures=$((failures + 1)); }
[ $failures -eq 0 ] && echo "all signature checks passed"
exit $((failures > 0))
