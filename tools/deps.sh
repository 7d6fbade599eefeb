#!/usr/bin/env bash
# Installs the Debian packages a target needs, only those that are missing.
# Usage: tools/deps.sh build|test|bench|package
set -euo pipefail
# Configuring always needs GoogleTest and Python (the test programs are part
# of the build tree), so every target installs them.
want=(cmake g++ ninja-build make libgtest-dev libgmock-dev python3 libcurl4-openssl-dev libssl-dev zlib1g-dev libcrypt-dev libxlsxwriter-dev nlohmann-json3-dev libgmime-3.0-dev libpq-dev pkg-config)
case "${1:-build}" in
  build) ;;
  test) want+=(clang libclang-rt-14-dev curl dpkg-dev file binutils chromium chromium-driver python3-selenium python3-aiosmtpd nginx-light openssl python3-openpyxl libreoffice-calc-nogui systemd postgresql dovecot-imapd) ;;
  package) want+=(dpkg-dev file binutils) ;;
  bench) want+=(libbenchmark-dev curl apache2-utils nginx-light python3-aiosmtpd time postgresql) ;;
  *) echo "usage: $0 build|test|bench|package" >&2; exit 2 ;;
esac
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
