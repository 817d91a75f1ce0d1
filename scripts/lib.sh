# Shared by scripts/test and scripts/run: installs missing Debian packages.

# Installs the named packages that are not installed yet (apt-get, as root or
# through sudo).
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# libbz2, liblzma and libzstd decode the BZip2, LZMA, XZ and Zstandard
# methods; Nettle gives AES, HMAC-SHA1 and PBKDF2 for WinZip's encryption.
BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev
                libbz2-dev liblzma-dev libzstd-dev nettle-dev)
TEST_PACKAGES=(libgtest-dev libgmock-dev zip unzip p7zip-full python3 libarchive-tools)
