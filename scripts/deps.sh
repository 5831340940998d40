# Installs the Debian packages the build and the tests need, when missing.
# Sourced by run.sh and test.sh.

VX_PACKAGES=(
  cmake ninja-build g++ clang clang-format libclang-rt-14-dev pkg-config
  zlib1g-dev libssl-dev libidn-dev libgtest-dev libgmock-dev libbenchmark-dev
  libfontconfig-dev libfreetype-dev libharfbuzz-dev libfribidi-dev libharfbuzz-bin
  fonts-liberation2 fonts-dejavu-core fonts-wqy-microhei fonts-lohit-deva fonts-cantarell
  qpdf poppler-utils python3-fonttools python3-pikepdf
  qt6-base-dev qt6-qpa-plugins libpoppler-qt6-dev locales nlohmann-json3-dev libcli11-dev
)

vx_install_deps() {
  local missing=()
  local p
  for p in "${VX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}
