# Sourced by scripts/package.sh: signs the Windows programs with the maintainer's code-signing certificate
# (osslsigncode), the key in a PKCS#12 file or on a PKCS#11 token.
#
# The password (or the token's PIN) stays in its file: openssl reads it with -passin file:, osslsigncode with
# -readpass. This script never reads it, so it is on no command line, in no process's environment and in no log.

sign_pkcs12="" sign_password_file="" sign_module="" sign_key="" sign_cert="" sign_ca="" sign_timestamp=""
sign_url="" sign_work="" sign_publisher=""

# sign_option OPTION VALUE: one of the signing options. A file named relative to the caller's folder gets its
# full path (the script moves to the repository); a module named without a folder is left to the loader.
sign_option() {
  local value=$2
  case $1 in
    --sign-pkcs11-module) [[ $value != */* ]] || [[ $value == /* ]] || value=$PWD/$value ;;
    --sign-pkcs12 | --sign-password-file | --sign-cert | --sign-ca) [[ $value == /* ]] || value=$PWD/$value ;;
  esac
  case $1 in
    --sign-pkcs12) sign_pkcs12=$value ;;
    --sign-password-file) sign_password_file=$value ;;
    --sign-pkcs11-module) sign_module=$value ;;
    --sign-key) sign_key=$value ;;
    --sign-cert) sign_cert=$value ;;
    --sign-ca) sign_ca=$value ;;
    --timestamp) sign_timestamp=$value ;;
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
    for option in "$sign_password_file" "$sign_ca" "$sign_timestamp" "$sign_url"; do
      [ -z "$option" ] || fail_usage "--sign-password-file, --sign-ca, --timestamp and --sign-url need a key" \
        "(--sign-pkcs12 or --sign-pkcs11-module)"
    done
  fi
  for url in "$sign_timestamp" "$sign_url"; do
    case $url in
      "" | http://* | https://*) [[ $url != *[[:space:]]* ]] || fail_usage "a web address has no blanks: $url" ;;
      *) fail_usage "--timestamp and --sign-url take a web address (http:// or https://): $url" ;;
    esac
  done
}

# What signing installs: osslsigncode, and for a token OpenSSL's PKCS#11 engine, which osslsigncode loads but
# its package does not pull in.
sign_packages() {
  signing || return 0
  echo "${SIGNING_PACKAGES[0]}"
  [ -z "$sign_module" ] || echo "${SIGNING_PACKAGES[1]}"
}

sign_cleanup() {
  [ -z "$sign_work" ] || rm -rf "$sign_work"
}

# sign_refuse WHAT LOG: stops the script: what failed, the tool's own words from LOG (osslsigncode 2.5 writes its
# errors to standard output, later versions to standard error: the log holds both).
sign_refuse() {
  local reasons
  echo "error: $1" >&2
  reasons=$(grep -iE 'error|fail|wrong|incorrect|invalid|unsupported|unable|cannot|not found|no such|expired' "$2" |
    grep -vx 'Failed' | head -n 8)
  [ -n "$reasons" ] || reasons=$(tail -n 5 "$2")
  sed 's/^/    /' <<<"$reasons" >&2
  echo "package.sh: nothing was released; $dist was not touched." >&2
  exit 1
}

# sign_file IN OUT NAME: IN signed into OUT with the program's name, SHA-256, the web address and the time stamp
# when given; then OUT verified against --sign-ca (the signer's root and the time-stamp authority's), else the
# system's CA bundle.
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
  osslsigncode "${args[@]}" -in "$1" -out "$2" >"$log" 2>&1 || sign_refuse "$4 could not be signed" "$log"
  args=(verify -in "$2")
  [ -z "$sign_ca" ] || args+=(-CAfile "$sign_ca" -TSA-CAfile "$sign_ca")
  osslsigncode "${args[@]}" >"$log" 2>&1 || sign_refuse "the signature of $4 does not verify" "$log"
}

# sign_check: before anything is built, the password (or PIN), the key and the certificate: a small Windows
# program is signed and verified exactly as the release's programs will be. Sets sign_publisher, the name
# Windows shows as the publisher (the certificate's common name).
sign_check() {
  signing || return 0
  local file log cert
  sign_work=$(mktemp -d)
  log=$sign_work/check.log
  for file in "$sign_pkcs12" "$sign_password_file" "$sign_cert" "$sign_ca"; do
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
