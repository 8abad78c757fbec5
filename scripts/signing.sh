# Sourced by scripts/package.sh: signs the Windows programs with the maintainer's code-signing certificate
# (osslsigncode), the key in a PKCS#12 file or on a PKCS#11 token, with an RFC 3161 time stamp when asked; and
# signs SHA256SUMS with the maintainer's OpenPGP key (gpg), checked with gpgv.
#
# The password (or the token's PIN, or the OpenPGP key's passphrase) stays in its file: openssl reads it with
# -passin file:, osslsigncode with -readpass, gpg with --passphrase-file. This script never reads it, so it is
# on no command line, in no process's environment and in no log.

sign_pkcs12="" sign_password_file="" sign_module="" sign_key="" sign_cert="" sign_ca="" sign_timestamp=""
sign_timestamp_ca="" sign_url="" sign_work="" sign_publisher=""

# sign_option OPTION VALUE: one of the signing options. A file named relative to the caller's folder gets its
# full path (the script moves to the repository); a module named without a folder is left to the loader.
# sign_option OPTION "" check: a usage error unless OPTION is one of them.
sign_option() {
  local value=$2
  case $1 in
    --sign-pkcs12 | --sign-password-file | --sign-pkcs11-module | --sign-key | --sign-cert | --sign-ca) ;;
    --timestamp | --timestamp-ca | --sign-url) ;;
    --sign-sums | --sign-sums-passphrase-file)
      [ "${3:-}" = check ] || sums_option "$1" "$2"
      return 0
      ;;
    *) fail_usage "unknown argument $1" ;;
  esac
  [ "${3:-}" != check ] || return 0
  case $1 in
    --sign-pkcs11-module) [[ $value != */* ]] || [[ $value == /* ]] || value=$PWD/$value ;;
    --sign-pkcs12 | --sign-password-file | --sign-cert | --sign-ca | --timestamp-ca)
      [[ $value == /* ]] || value=$PWD/$value
      ;;
  esac
  case $1 in
    --sign-pkcs12) sign_pkcs12=$value ;;
    --sign-password-file) sign_password_file=$value ;;
    --sign-pkcs11-module) sign_module=$value ;;
    --sign-key) sign_key=$value ;;
    --sign-cert) sign_cert=$value ;;
    --sign-ca) sign_ca=$value ;;
    --timestamp) sign_timestamp=$value ;;
    --timestamp-ca) sign_timestamp_ca=$value ;;
    --sign-url) sign_url=$value ;;
  esac
}

signing() {
  [ -n "$sign_pkcs12" ] || [ -n "$sign_module" ]
}

# sign_validate: the options make one way of signing, or none; a usage error otherwise (fail_usage).
sign_validate() {
  local option url
  [ -z "$sign_pkcs12" ] || [ -z "$sign_module" ] ||
    fail_usage "--sign-pkcs12 and --sign-pkcs11-module: the key is in a file or on a token, not both"
  if [ -n "$sign_module" ]; then
    [ -n "$sign_key" ] && [ -n "$sign_cert" ] || fail_usage "--sign-pkcs11-module needs --sign-key and --sign-cert"
  elif [ -n "$sign_key" ] || [ -n "$sign_cert" ]; then
    fail_usage "--sign-key and --sign-cert name a key on a token: they need --sign-pkcs11-module"
  fi
  if signing; then
    [ -n "$sign_password_file" ] || fail_usage "signing needs --sign-password-file (the password or the token's PIN)"
  else
    local needing="--sign-password-file, --sign-ca, --timestamp, --timestamp-ca and --sign-url need a key"
    for option in "$sign_password_file" "$sign_ca" "$sign_timestamp" "$sign_timestamp_ca" "$sign_url"; do
      [ -z "$option" ] || fail_usage "$needing (--sign-pkcs12 or --sign-pkcs11-module)"
    done
  fi
  [ -z "$sign_timestamp_ca" ] || [ -n "$sign_timestamp" ] || fail_usage "--timestamp-ca needs --timestamp"
  sums_validate
  for url in "$sign_timestamp" "$sign_url"; do
    case $url in
      "" | http://* | https://*) [[ $url != *[[:space:]]* ]] || fail_usage "a web address has no blanks: $url" ;;
      *) fail_usage "--timestamp and --sign-url take a web address (http:// or https://): $url" ;;
    esac
  done
}

# What signing installs: osslsigncode, and for a token OpenSSL's PKCS#11 engine, which osslsigncode loads but
# its package does not pull in; gpg and gpgv for the checksums.
sign_packages() {
  ! signing_sums || echo "${SUMS_SIGNING_PACKAGES[@]}"
  signing || return 0
  echo "${SIGNING_PACKAGES[0]}"
  [ -z "$sign_module" ] || echo "${SIGNING_PACKAGES[1]}"
}

sign_cleanup() {
  sums_stop_agent
  [ -z "$sign_work" ] || rm -rf "$sign_work"
}

# sign_refuse WHAT LOG: stops the script: what failed, the tool's own words from LOG (osslsigncode 2.5 writes its
# errors to standard output, later versions to standard error: the log holds both).
sign_refuse() {
  local reasons
  echo "error: $1" >&2
  reasons=$(grep -iE 'error|fail|wrong|incorrect|invalid|unsupported|unable|cannot|not found|no such|expired' "$2" |
    grep -vx 'Failed' | head -n 8 || true)
  [ -n "$reasons" ] || reasons=$(tail -n 5 "$2")
  sed 's/^/    /' <<<"$reasons" >&2
  echo "package.sh: nothing was released; $dist was not touched." >&2
  exit 1
}

# sign_file IN OUT NAME WHAT: IN signed into OUT with the program's name, SHA-256, the web address and the time
# stamp when given; then OUT verified. osslsigncode's exit status proves nothing about the time stamp (it exits
# 0 when the signer's chain holds and the time stamp's does not): its report must say "ok" for the signature
# and, when one was asked for, for the time stamp, and "failed" nowhere.
sign_file() {
  local log=$sign_work/osslsigncode.log args=(sign -h sha256 -n "$3")
  [ -z "$sign_url" ] || args+=(-i "$sign_url")
  [ -z "$sign_timestamp" ] || args+=(-ts "$sign_timestamp")
  if [ -n "$sign_pkcs12" ]; then
    args+=(-pkcs12 "$sign_pkcs12" -readpass "$sign_password_file")
  else
    args+=(-pkcs11module "$sign_module" -key "$sign_key" -certs "$sign_cert" -readpass "$sign_password_file")
  fi
  rm -f "$2"
  if ! osslsigncode "${args[@]}" -in "$1" -out "$2" >"$log" 2>&1; then
    # A reply that is no RFC 3161 time stamp: a server that answered, but not as a time-stamp authority.
    ! grep -q 'Failed to convert timestamp reply' "$log" ||
      sign_refuse "$4 is not signed: the time-stamp server $sign_timestamp answered, but not with a time stamp" "$log"
    sign_refuse "$4 could not be signed" "$log"
  fi
  sign_verify "$2" "$4"
}

# sign_verify FILE WHAT: FILE's signature verified against --sign-ca (else the system's CA bundle), its time
# stamp against --timestamp-ca (else the system's CA bundle), by osslsigncode's own report.
sign_verify() {
  local log=$sign_work/osslsigncode.log args=(verify -in "$1") roots=${sign_timestamp_ca:-"the system's CA bundle"}
  [ -z "$sign_ca" ] || args+=(-CAfile "$sign_ca")
  [ -z "$sign_timestamp_ca" ] || args+=(-TSA-CAfile "$sign_timestamp_ca")
  osslsigncode "${args[@]}" >"$log" 2>&1 || true  # its report decides, below
  [ -z "$sign_timestamp" ] || grep -qx 'Timestamp Server Signature verification: ok' "$log" ||
    sign_refuse "the time stamp of $2 does not verify: its authority is not trusted by $roots, or it is damaged" \
      "$log"
  grep -qx 'Signature verification: ok' "$log" && ! grep -q '^Signature verification: failed' "$log" ||
    sign_refuse "the signature of $2 does not verify" "$log"
}

# sign_check: before anything is built, the password (or PIN), the key and the certificate: a small Windows
# program is signed and verified exactly as the release's programs will be. Sets sign_publisher, the name
# Windows shows as the publisher (the certificate's common name).
sign_check() {
  signing || return 0
  local file log cert
  sign_work=$(mktemp -d)
  log=$sign_work/check.log
  for file in "$sign_pkcs12" "$sign_password_file" "$sign_cert" "$sign_ca" "$sign_timestamp_ca"; do
    if [ -n "$file" ] && ! { [ -f "$file" ] && [ -r "$file" ]; }; then
      echo "$file: no such file, or not readable" >"$log"
      sign_refuse "$file cannot be read" "$log"
    fi
  done
  cert=$sign_work/signer.pem
  if [ -n "$sign_pkcs12" ]; then
    openssl pkcs12 -in "$sign_pkcs12" -noout -passin "file:$sign_password_file" >"$log" 2>&1 ||
      sign_refuse "$sign_pkcs12: the password is wrong, or this is no PKCS#12 file" "$log"
    openssl pkcs12 -in "$sign_pkcs12" -nokeys -clcerts -passin "file:$sign_password_file" -out "$cert" >"$log" 2>&1 ||
      sign_refuse "$sign_pkcs12: no certificate in it" "$log"
  else
    cp "$sign_cert" "$cert"
  fi
  sign_publisher=$(openssl x509 -in "$cert" -noout -subject -nameopt sep_multiline,utf8,-esc_msb 2>"$log" |
    sed -n 's/^ *CN=//p' | head -n 1)
  [ -n "$sign_publisher" ] || sign_refuse "the signing certificate names no publisher (no common name)" "$log"
  printf 'int main(void) { return 0; }\n' >"$sign_work/probe.c"
  x86_64-w64-mingw32-gcc -s -o "$sign_work/probe.exe" "$sign_work/probe.c" >"$log" 2>&1 ||
    sign_refuse "no Windows program could be made to try the key on" "$log"
  sign_file "$sign_work/probe.exe" "$sign_work/probe-signed.exe" probe "a trial program signed with this key"
  echo "=== package: the Windows programs will be signed by \"$sign_publisher\""
}

# sign_program FILE NAME: FILE signed in place, or the script stops.
sign_program() {
  signing || return 0
  sign_file "$1" "$1.signed" "$2" "$(basename "$1")"
  mv "$1.signed" "$1"
}

# ---- The signed checksums: SHA256SUMS.asc, an OpenPGP detached signature checked with gpgv ----
# The key is a file (an exported secret key, imported into a keyring of the script's own that is deleted at the
# end) or a key of the user's keyring (GNUPGHOME, by default ~/.gnupg), named as gpg names keys; its passphrase
# is read from its file by gpg alone. The public key goes beside the release as sums_public_key, the keyring
# gpgv reads.
sums_key="" sums_key_file="" sums_passphrase_file="" sums_home="" sums_fingerprint="" sums_user=""
sums_public_key=scaleboot-release-key.gpg

# sums_option OPTION VALUE: --sign-sums KEY (a file where one of that name exists, else a key of the keyring)
# or --sign-sums-passphrase-file FILE.
sums_option() {
  local value=$2
  if [ "$1" = --sign-sums-passphrase-file ]; then
    [[ $value == /* ]] || value=$PWD/$value
    sums_passphrase_file=$value
    return
  fi
  sums_key=$value
  if [ -e "$value" ] || [[ $value == */* ]]; then
    [[ $value == /* ]] || value=$PWD/$value
    sums_key_file=$value
  fi
}

signing_sums() {
  [ -n "$sums_key" ]
}

sums_validate() {
  [ -z "$sums_passphrase_file" ] || signing_sums || fail_usage "--sign-sums-passphrase-file needs --sign-sums"
}

# sums_gpg ARGS...: gpg on the key's keyring, without questions, the passphrase (when given) from its file.
sums_gpg() {
  local args=(--homedir "$sums_home" --batch --no-tty --pinentry-mode loopback)
  [ -z "$sums_passphrase_file" ] || args+=(--passphrase-file "$sums_passphrase_file")
  gpg "${args[@]}" "$@"
}

# sums_detach_sign FILE WHAT: FILE.asc, FILE's detached signature by the key, then checked by gpgv against the
# public key alone, or the script stops.
sums_detach_sign() {
  local log=$sign_work/gpg.log
  rm -f "$1.asc"
  sums_gpg --local-user "$sums_fingerprint!" --armor --detach-sign --output "$1.asc" "$1" >"$log" 2>&1 ||
    sign_refuse "the OpenPGP key \"$sums_user\" could not sign $2: a wrong passphrase, or none given?" "$log"
  sums_gpgv "$sign_work/$sums_public_key" "$1" >"$log" 2>&1 ||
    sign_refuse "the signature of $2 does not verify with gpgv against the key $sums_fingerprint" "$log"
}

# sums_gpgv KEYRING FILE: FILE.asc checked by gpgv against KEYRING alone (in a folder of its own: gpgv reads
# nothing of the user's).
sums_gpgv() {
  mkdir -p -m 700 "$sign_work/gpgv"
  gpgv --homedir "$sign_work/gpgv" --keyring "$1" "$2.asc" "$2"
}

# sums_check: before anything is built, the key and its passphrase: a small file is signed and checked exactly as
# SHA256SUMS will be. Sets sums_fingerprint and sums_user (the key's first user id).
sums_check() {
  signing_sums || return 0
  [ -n "$sign_work" ] || sign_work=$(mktemp -d)
  local log=$sign_work/gpg.log keys file
  for file in "$sums_key_file" "$sums_passphrase_file"; do
    if [ -n "$file" ] && ! { [ -f "$file" ] && [ -r "$file" ]; }; then
      echo "$file: no such file, or not readable" >"$log"
      sign_refuse "$file cannot be read" "$log"
    fi
  done
  if [ -n "$sums_key_file" ]; then
    sums_home=$sign_work/gnupg
    mkdir -m 700 "$sums_home"
    sums_gpg --import "$sums_key_file" >"$log" 2>&1 || sign_refuse "$sums_key_file: no OpenPGP key in it" "$log"
    keys=$(sums_gpg --list-secret-keys --with-colons 2>"$log" || true)
  else
    sums_home=${GNUPGHOME:-$HOME/.gnupg}
    keys=$(sums_gpg --list-secret-keys --with-colons -- "$sums_key" 2>"$log" || true)
  fi
  case $(grep -c '^sec:' <<<"$keys") in
    1) ;;
    0) sign_refuse "no OpenPGP secret key $(if [ -n "$sums_key_file" ]; then echo "in $sums_key_file"; else
      echo "\"$sums_key\" in $sums_home"; fi)" "$log" ;;
    *) sign_refuse "more than one OpenPGP secret key is $sums_key: name one by its fingerprint" "$log" ;;
  esac
  sums_fingerprint=$(awk -F: '$1 == "fpr" { print $10; exit }' <<<"$keys")
  sums_user=$(awk -F: '$1 == "uid" { print $10; exit }' <<<"$keys")
  sums_user=${sums_user:-$sums_fingerprint}
  local public=$sign_work/$sums_public_key
  sums_gpg --export "$sums_fingerprint" >"$public" 2>"$log" && [ -s "$public" ] ||
    sign_refuse "the public key of $sums_fingerprint cannot be exported" "$log"
  echo "a file to try the key on" >"$sign_work/probe.txt"
  sums_detach_sign "$sign_work/probe.txt" "a trial file"
  echo "=== package: SHA256SUMS will be signed by \"$sums_user\" ($sums_fingerprint)"
}

# sums_sign DIR: DIR/SHA256SUMS.asc, checked with gpgv, and the public key beside it, or the script stops.
sums_sign() {
  signing_sums || return 0
  sums_detach_sign "$1/SHA256SUMS" SHA256SUMS
  cp "$sign_work/$sums_public_key" "$1/$sums_public_key"
  sums_gpgv "$1/$sums_public_key" "$1/SHA256SUMS" >"$sign_work/gpg.log" 2>&1 ||
    sign_refuse "SHA256SUMS.asc does not verify with gpgv against $sums_public_key" "$sign_work/gpg.log"
}

# sums_files: what a release writes beside SHA256SUMS when its checksums are signed (removed from dist/ first,
# so that no signature of an earlier release stays beside new checksums).
sums_files() {
  echo SHA256SUMS.asc "$sums_public_key"
}

# sums_stop_agent: the gpg-agent of the script's own keyring ended (that of the user's keyring is left running).
sums_stop_agent() {
  [ -z "$sums_key_file" ] || [ -z "$sums_home" ] || [ ! -d "$sums_home" ] ||
    gpgconf --homedir "$sums_home" --kill gpg-agent >/dev/null 2>&1 || true
}
