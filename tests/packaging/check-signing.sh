#!/usr/bin/env bash
# Signed releases from the package build folder the release step made (only the signing and the packages are
# redone): a throwaway CA and code-signing certificate, as a PKCS#12 file and as the same key on a SoftHSM2
# token, the token's release time-stamped by a throwaway time-stamp authority served on 127.0.0.1 for the length
# of the test. Each release verifies, both zips, both programs, against that CA (and the time stamps against the
# authority's root, by osslsigncode's report), its README names the publisher and SHA256SUMS holds the signed
# files; refusals (wrong password or PIN, a server certificate, a missing module or key, a time-stamp server
# that does not answer, one that answers garbage, an authority not trusted, a signature broken after the build)
# leave dist/ as it was; the password and PIN never reach a command line, an environment or the log (every
# execve, traced). Both releases' checksums are signed by a throwaway OpenPGP key (from a key file, and from a
# keyring in the test's own GNUPGHOME): SHA256SUMS.asc verifies with gpgv against the key published beside it,
# and not for a changed SHA256SUMS or against another key; a wrong passphrase, a key not in the keyring and a
# list changed after it was signed are refused.
#   check-signing.sh SOURCE_DIR BUILDS_DIR WORK_DIR DRIVER_X64_EXE DRIVER_X86_EXE [ZIPS_WORK_DIR]
# ZIPS_WORK_DIR: check-zips.sh's folder (its Wine prefix is reused), by default WORK_DIR/zips.
set -u
source_dir=$(cd "$1" && pwd)
builds=$(realpath -m "$2") work=$(realpath -m "$3") zips=$(realpath -m "${6:-$3/zips}")
drivers=("$(realpath -m "$4")" "$(realpath -m "$5")")
mkdir -p "$work" "$zips"
. "$source_dir/tests/lib.sh"
cd "$work" && rm -rf ./*
version=$(project_version "$source_dir")

# certificate NAME USE [CA]: a key and a certificate for USE from the test CA (or CA), also as NAME.pfx under the
# password.
certificate() {
  local ca=${3:-ca}
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=Test Publisher $1" 2>/dev/null
  printf 'extendedKeyUsage=%s\nkeyUsage=critical,digitalSignature\n' "$2" >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$ca.pem" -CAkey "$ca.key" -CAcreateserial -days 30 -extfile "$1.ext" \
    -out "$1.pem" 2>/dev/null &&
    openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -certfile "$ca.pem" -out "$1.pfx" -passout file:password
}
root() { # root NAME: a self-signed CA certificate, NAME.pem, and its key
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 -subj "/CN=Test $1" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
password="pw $RANDOM$RANDOM secret" pin="$RANDOM$RANDOM"
printf '%s' "$password" >password && printf '%s\n' "$pin" >pin && echo wrong >wrong
root ca && root tsa-ca && certificate signer codeSigning && certificate server serverAuth &&
  certificate tsa critical,timeStamping tsa-ca || { fail "the test certificates are made"; finish; }

# The time-stamp authorities: one that answers with time stamps by the tsa certificate, one that answers garbage.
printf '%s\n' "[tsa]" "default_tsa = test" "[test]" "serial = $work/tsa.serial" "signer_cert = $work/tsa.pem" \
  "signer_key = $work/tsa.key" "certs = $work/tsa.pem" "signer_digest = sha256" "default_policy = 1.2.3.4.1" \
  "digests = sha256, sha384, sha512" "ess_cert_id_alg = sha256" >tsa.cnf && echo 01 >tsa.serial
servers=()
trap 'for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null; done' EXIT
serve() { # serve NAME [--garbage]: a time-stamp server on 127.0.0.1; its address in the variable NAME
  local waited
  /usr/bin/python3 "$source_dir/tests/packaging/tsa-server.py" "$work/tsa.cnf" "$1.port" "${@:2}" 2>"$1.log" &
  servers+=($!)
  for waited in $(seq 100); do [ -s "$1.port" ] && break || sleep 0.1; done
  [ -s "$1.port" ] && printf -v "$1" 'http://127.0.0.1:%s/' "$(cat "$1.port")"
}
serve authority && serve garbage --garbage || { fail "the time-stamp servers answer on 127.0.0.1"; finish; }
export SOFTHSM2_CONF=$work/softhsm2.conf
mkdir tokens && echo "directories.tokendir = $work/tokens" >"$SOFTHSM2_CONF"
openssl pkcs8 -topk8 -nocrypt -in signer.key -out signer.p8
softhsm2-util --init-token --free --label sign --pin "$pin" --so-pin 5678 >/dev/null &&
  softhsm2-util --import signer.p8 --token sign --label signkey --id 01 --pin "$pin" >/dev/null ||
  { fail "the SoftHSM2 token holds the key"; finish; }
# The checksums' keys, in a keyring of the test's own: the release key (also as a file) and another one.
export GNUPGHOME=$work/gnupg
mkdir -m 700 "$GNUPGHOME" && passphrase="pp $RANDOM$RANDOM words" && printf '%s\n' "$passphrase" >passphrase
trap 'for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null; done; gpgconf --kill gpg-agent 2>/dev/null' EXIT
openpgp_key() { # openpgp_key NAME: a signing key for NAME@example.invalid under the passphrase; its fingerprint
  gpg --batch --pinentry-mode loopback --passphrase-file passphrase --quick-gen-key "$1 <$1@example.invalid>" \
    ed25519 sign 30d 2>/dev/null &&
    gpg --batch --list-keys --with-colons "$1@example.invalid" 2>/dev/null | awk -F: '$1 == "fpr" { print $10; exit }'
}
release_key=$(openpgp_key release) other_key=$(openpgp_key other)
gpg --batch --pinentry-mode loopback --passphrase-file passphrase --armor --export-secret-keys "$release_key" \
  >release-key.asc && gpg --export "$other_key" >other-key.gpg && [ -n "$other_key" ] ||
  { fail "the OpenPGP test keys are made"; finish; }
module=/usr/lib/softhsm/libsofthsm2.so uri='pkcs11:token=sign;object=signkey;type=private'
file=(--sign-pkcs12 signer.pfx --sign-password-file password --sign-ca ca.pem)
token=(--sign-pkcs11-module "$module" --sign-key "$uri" --sign-cert signer.pem --sign-password-file pin --sign-ca ca.pem
  --timestamp "$authority" --timestamp-ca tsa-ca.pem)

# release NAME DIST ARGS...: package.sh into DIST under strace; its output in NAME.log, its execve calls with
# their arguments and environments in NAME.trace.
trace=(strace -f -qq --seccomp-bpf -e trace=execve -v -s 4096 -o)
"${trace[@]}" probe.trace true 2>/dev/null || trace=()
release() {
  local name=$1 dist=$2
  shift 2
  SCALEBOOT_PACKAGE_BUILD_DIR=$builds SCALEBOOT_DIST_DIR=$dist "${trace[@]}" ${trace:+"$name.trace"} \
    "$source_dir/scripts/package.sh" "$@" >"$name.log" 2>&1 </dev/null
}
[ ${#trace[@]} -ne 0 ] || skip "no secret on a command line or in an environment (strace cannot trace here)"
secret_kept() { # secret_kept NAME SECRET...: no SECRET in the log, nor, traced, where a tool reads a secret's file
  local name=$1 secret files=("$1.log")
  if [ ${#trace[@]} -ne 0 ]; then
    grep -qE '^[0-9]+ +execve\(.*("-readpass"|"file:)' "$name.trace" || return 1
    files+=("$name.trace")
  fi
  for secret in "${@:2}"; do ! grep -qF "$secret" "${files[@]}" || return 1; done
}
all_verify() { # all_verify DIST [time-stamped]: both programs of both zips verify against the test CA (their
  local zip exe report # time stamps against the authority's root)
  for zip in "$1"/ScaleBoot-"$version"-windows-*.zip; do
    rm -rf unpacked && unzip -q "$zip" -d unpacked || return 1
    for exe in unpacked/ScaleBoot.exe unpacked/scaleboot-cli.exe; do
      report=$(osslsigncode verify -CAfile ca.pem -TSA-CAfile tsa-ca.pem -in "$exe" 2>&1)
      grep -q '^Signature verification: ok' <<<"$report" ||
        { echo "    $zip: $exe does not verify"; return 1; }
      [ -z "${2:-}" ] || grep -qx 'Timestamp Server Signature verification: ok' <<<"$report" ||
        { echo "    $zip: $exe has no time stamp that verifies"; return 1; }
    done
  done
  [ -n "${zip:-}" ]
}
for way in file token; do
  args=("${file[@]}" --sign-sums release-key.asc) secret=$password
  [ $way = file ] || args=("${token[@]}" --sign-sums "$release_key") secret=$pin
  release "$way" "$work/dist-$way" "${args[@]}" --sign-sums-passphrase-file passphrase
  check "$way: the signed release is made" test $? -eq 0
  check "$way: both programs of both zips verify against the test CA" all_verify "$work/dist-$way"
  [ $way = file ] || check "$way: every program's time stamp verifies against the authority's root" \
    all_verify "$work/dist-$way" time-stamped
  check "$way: SHA256SUMS holds the signed files" bash -c "cd '$work/dist-$way' && sha256sum --quiet -c SHA256SUMS"
  check "$way: the secret is not in the log, nor (traced) on a command line or in an environment" \
    secret_kept "$way" "$secret" "$passphrase"
done
# The signed checksums, as a Debian user checks them: name | the keyring gpgv is given | the change to SHA256SUMS
# | whether it verifies.
sums_case() {
  rm -rf sums && cp -r dist-file sums && (cd sums && eval "$3") &&
    gpgv --keyring "$2" sums/SHA256SUMS.asc sums/SHA256SUMS 2>/dev/null
}
sums_refused() { ! sums_case "$@"; }
while IFS='|' read -r name keyring change outcome; do
  if [ "$outcome" = verifies ]; then
    check "signed checksums: $name: verify" sums_case "$name" "$keyring" "$change"
  else
    check "signed checksums: $name: do not verify" sums_refused "$name" "$keyring" "$change"
  fi
done <<'EOF'
the release, with the key beside it|./sums/scaleboot-release-key.gpg|:|verifies
the release, with the key of the token's release|./dist-token/scaleboot-release-key.gpg|:|verifies
a changed SHA256SUMS|./sums/scaleboot-release-key.gpg|sed -i '1s/^./x/' SHA256SUMS|fails
a SHA256SUMS with a line more|./sums/scaleboot-release-key.gpg|echo "0  other.zip" >>SHA256SUMS|fails
another key|./other-key.gpg|:|fails
EOF
bash "$source_dir/tests/packaging/check-zips.sh" "$source_dir" dist-file "${drivers[@]}" "$zips" >zips.log 2>&1
grep '^FAIL ' zips.log | sed 's/^/    /'
while IFS= read -r line; do skip "signed zips: ${line#skip - }"; done < <(grep '^skip - ' zips.log)
check "the zips' checks pass for a signed release ($(tail -n1 zips.log))" grep -q '^[0-9]* passed, 0 failed' zips.log
check "the signed release's README names the publisher" \
  grep -q "^   Test Publisher signer"$'\r'"$" "$zips/unpacked/x64/README.txt"

# A stand-in osslsigncode that breaks the signature of the release's own scaleboot-cli.exe once it is made.
mkdir breaking && cat >breaking/osslsigncode <<'EOF' && chmod +x breaking/osslsigncode
#!/bin/sh
PATH=${PATH#*:} osslsigncode "$@" || exit
case $* in sign*/stage/*scaleboot-cli.exe*) for out; do :; done; printf x | dd of="$out" bs=1 seek=2000 conv=notrunc 2>/dev/null ;; esac
EOF
# A stand-in gpg that changes each file it has just signed.
mkdir breaking-gpg && cat >breaking-gpg/gpg <<'EOF' && chmod +x breaking-gpg/gpg
#!/bin/sh
PATH=${PATH#*:} gpg "$@" || exit
case $* in *--detach-sign*) for signed; do :; done; echo "changed" >>"$signed" ;; esac
EOF
(cd dist-file && sha256sum ./* >../kept.sums)
# name | what the output says | the rest of package.sh's arguments
while IFS='|' read -r name reason options; do
  eval "options=($options)"
  case $name in
    "a signature broken after the build") path=$work/breaking:$PATH ;;
    "a list changed after it was signed") path=$work/breaking-gpg:$PATH ;;
    *) path=$PATH ;;
  esac
  PATH=$path release refused "$work/dist-file" "${options[@]}"
  status=$? built=$(grep -c 'release build' refused.log)
  check "refused: $name, status 1 (got $status)" test $status -eq 1
  check "refused: $name: the output says \"$reason\"" grep -qE "$reason" refused.log
  [ "$name" = "a signature broken after the build" ] || check "refused: $name: before anything is built" test "$built" -eq 0
  check "refused: $name: dist/ untouched" bash -c "cd dist-file && sha256sum --quiet -c ../kept.sums"
  check "refused: $name: the secret stays in its file" secret_kept refused "$password" "$pin" "$passphrase"
done <<'EOF'
a wrong password|the password is wrong|--sign-pkcs12 signer.pfx --sign-password-file wrong --sign-ca ca.pem
a wrong PIN|PIN incorrect|"${token[@]:0:6}" --sign-password-file wrong --sign-ca ca.pem
a server certificate|certificate purpose|--sign-pkcs12 server.pfx --sign-password-file password --sign-ca ca.pem
a CA that did not issue the certificate|does not verify|"${file[@]:0:4}" --sign-ca /etc/ssl/certs/ca-certificates.crt
a missing module|Unable to load module|--sign-pkcs11-module /nonexistent/libp11.so "${token[@]:2}"
a key not on the token|not found|"${token[@]:0:2}" --sign-key "${uri/signkey/nokey}" "${token[@]:4}"
a time-stamp server that does not answer|timestamping failed|"${file[@]}" --timestamp http://127.0.0.1:9/
a time-stamp server that answers garbage|time-stamp server http://127\.0\.0\.1:[0-9]+/ answered, but not with a time stamp|"${file[@]}" --timestamp "$garbage" --timestamp-ca tsa-ca.pem
a time-stamp authority not trusted|time stamp of .* does not verify: its authority is not trusted by the system's CA bundle|"${file[@]}" --timestamp "$authority"
a time-stamp authority trusted as a signer only|time stamp of .* does not verify: its authority is not trusted by .*/ca\.pem|"${file[@]}" --timestamp "$authority" --timestamp-ca ca.pem
a signature broken after the build|does not verify|"${file[@]}"
a wrong passphrase of the checksums' key|could not sign a trial file: a wrong passphrase|"${file[@]}" --sign-sums release-key.asc --sign-sums-passphrase-file wrong
a checksums' key not in the keyring|no OpenPGP secret key "nobody@example.invalid" in|"${file[@]}" --sign-sums nobody@example.invalid --sign-sums-passphrase-file passphrase
a list changed after it was signed|signature of a trial file does not verify with gpgv|"${file[@]}" --sign-sums release-key.asc --sign-sums-passphrase-file passphrase
EOF
finish
