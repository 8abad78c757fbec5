#!/usr/bin/env bash
# Signed releases from the package build folder the release step made (only the signing and the packages are
# redone): a throwaway CA and code-signing certificate, as a PKCS#12 file and as the same key on a SoftHSM2
# token. Each release verifies, both zips, both programs, against that CA, its README names the publisher and
# SHA256SUMS holds the signed files; refusals (wrong password or PIN, a server certificate, a missing module or
# key, a time-stamp server that does not answer, a signature broken after the build) leave dist/ as it was; the
# password and PIN never reach a command line, an environment or the log (every execve, traced).
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

# certificate NAME USE: a key and a certificate for USE from the test CA, also as NAME.pfx under the password.
certificate() {
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=Test Publisher $1" 2>/dev/null
  printf 'extendedKeyUsage=%s\nkeyUsage=critical,digitalSignature\n' "$2" >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 -extfile "$1.ext" -out "$1.pem" 2>/dev/null &&
    openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -certfile ca.pem -out "$1.pfx" -passout file:password
}
password="pw $RANDOM$RANDOM secret" pin="$RANDOM$RANDOM"
printf '%s' "$password" >password && printf '%s\n' "$pin" >pin && echo wrong >wrong
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 -subj "/CN=Test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
certificate signer codeSigning && certificate server serverAuth || { fail "the test certificates are made"; finish; }
export SOFTHSM2_CONF=$work/softhsm2.conf
mkdir tokens && echo "directories.tokendir = $work/tokens" >"$SOFTHSM2_CONF"
openssl pkcs8 -topk8 -nocrypt -in signer.key -out signer.p8
softhsm2-util --init-token --free --label sign --pin "$pin" --so-pin 5678 >/dev/null &&
  softhsm2-util --import signer.p8 --token sign --label signkey --id 01 --pin "$pin" >/dev/null ||
  { fail "the SoftHSM2 token holds the key"; finish; }
module=/usr/lib/softhsm/libsofthsm2.so uri='pkcs11:token=sign;object=signkey;type=private'
file=(--sign-pkcs12 signer.pfx --sign-password-file password --sign-ca ca.pem)
token=(--sign-pkcs11-module "$module" --sign-key "$uri" --sign-cert signer.pem --sign-password-file pin --sign-ca ca.pem)

# release NAME DIST ARGS...: package.sh into DIST under strace; its output in NAME.log, its execve calls with
# their arguments and environments in NAME.trace.
trace=(strace -f -qq --seccomp-bpf -e trace=execve -v -s 4096 -o)
"${trace[@]}" probe.trace true 2>/dev/null || trace=()
release() {
  local name=$1 dist=$2
  shift 2
  SCALEBOOT_PACKAGE_BUILD_DIR=$builds SCALEBOOT_DIST_DIR=$dist "${trace[@]}" ${trace:+"$name.trace"} \
    "$source_dir/scripts/package.sh" "$@" >"$name.log" 2>&1
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
all_verify() { # all_verify DIST: both programs of both zips verify against the test CA
  local zip exe
  for zip in "$1"/ScaleBoot-"$version"-windows-*.zip; do
    rm -rf unpacked && unzip -q "$zip" -d unpacked || return 1
    for exe in unpacked/ScaleBoot.exe unpacked/scaleboot-cli.exe; do
      osslsigncode verify -CAfile ca.pem -in "$exe" 2>&1 | grep -q '^Signature verification: ok' ||
        { echo "    $zip: $exe does not verify"; return 1; }
    done
  done
  [ -n "${zip:-}" ]
}
for way in file token; do
  args=("${file[@]}") secret=$password
  [ $way = file ] || args=("${token[@]}") secret=$pin
  release "$way" "$work/dist-$way" "${args[@]}"
  check "$way: the signed release is made" test $? -eq 0
  check "$way: both programs of both zips verify against the test CA" all_verify "$work/dist-$way"
  check "$way: SHA256SUMS holds the signed files" bash -c "cd '$work/dist-$way' && sha256sum --quiet -c SHA256SUMS"
  check "$way: the secret is not in the log, nor (traced) on a command line or in an environment" secret_kept "$way" "$secret"
done
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
(cd dist-file && sha256sum ./* >../kept.sums)
# name | what the output says | the rest of package.sh's arguments
while IFS='|' read -r name reason options; do
  eval "options=($options)"
  path=$PATH && [ "$name" = "a signature broken after the build" ] && path=$work/breaking:$PATH
  PATH=$path release refused "$work/dist-file" "${options[@]}"
  status=$? built=$(grep -c 'release build' refused.log)
  check "refused: $name, status 1 (got $status)" test $status -eq 1
  check "refused: $name: the output says \"$reason\"" grep -qE "$reason" refused.log
  [ "$name" = "a signature broken after the build" ] || check "refused: $name: before anything is built" test "$built" -eq 0
  check "refused: $name: dist/ untouched" bash -c "cd dist-file && sha256sum --quiet -c ../kept.sums"
  check "refused: $name: the secret stays in its file" secret_kept refused "$password" "$pin"
done <<'EOF'
a wrong password|the password is wrong|--sign-pkcs12 signer.pfx --sign-password-file wrong --sign-ca ca.pem
a wrong PIN|PIN incorrect|"${token[@]:0:6}" --sign-password-file wrong --sign-ca ca.pem
a server certificate|certificate purpose|--sign-pkcs12 server.pfx --sign-password-file password --sign-ca ca.pem
a CA that did not issue the certificate|does not verify|"${file[@]:0:4}" --sign-ca /etc/ssl/certs/ca-certificates.crt
a missing module|Unable to load module|--sign-pkcs11-module /nonexistent/libp11.so "${token[@]:2}"
a key not on the token|not found|"${token[@]:0:2}" --sign-key "${uri/signkey/nokey}" "${token[@]:4}"
a time-stamp server that does not answer|timestamping failed|"${file[@]}" --timestamp http://127.0.0.1:9/
a signature broken after the build|does not verify|"${file[@]}"
EOF
finish
