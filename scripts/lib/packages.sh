# The Debian packages the build, the tests and the demo need; installed when missing.
LIRON_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libbenchmark-dev
  libmariadb-dev mariadb-server mariadb-client
  libsqlite3-dev sqlite3  # the local spool; sqlite3 to look into it
  qt6-base-dev libmodbus-dev libsimpleini-dev
  qt6-charts-dev libqt6opengl6-dev  # the trends tab; Qt Charts needs Qt OpenGL CMake files
  socat xvfb xauth python3
  openssl  # the certificates of the test server that requires TLS
  xdotool imagemagick
  libsystemd-dev  # sd_notify: readiness, status line and watchdog under systemd
  systemd  # systemd-analyze and systemd-sysusers: the install test checks the unit
)

liron_install_packages() {
  local missing=()
  for p in "${LIRON_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
