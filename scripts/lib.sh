# Shared by scripts/run and scripts/test: the Debian packages the build needs.
# Sourced, not run.

MMW_PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libsqlite3-dev postgresql libpq-dev locales fonts-dejavu-core python3 curl)

# What scripts/package-check needs on top: the Debian package tools, and the
# X server, input and screenshot tools that drive the installed program.
MMW_PACKAGE_CHECK_PACKAGES=(dpkg-dev file lintian xvfb xdotool imagemagick)

# Installs whatever of the named packages (default: MMW_PACKAGES) is
# missing: with apt-get when run as root, otherwise prints the exact command
# and stops.
mmw_ensure_packages() {
    local wanted=("$@")
    if [ ${#wanted[@]} -eq 0 ]; then
        wanted=("${MMW_PACKAGES[@]}")
    fi
    local missing=()
    local pkg
    for pkg in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing missing packages: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    else
        echo "These Debian packages are missing. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
}

# Configures one build tree: mmw_configure <dir> <cmake options...>
mmw_configure() {
    local dir=$1
    shift
    cmake -S "$MMW_ROOT" -B "$dir" -DMMW_WERROR=ON "$@" >/dev/null
}

# Configures and builds the whole of one build tree: mmw_build <dir> <cmake options...>
mmw_build() {
    mmw_configure "$@"
    cmake --build "$1" -j"$(nproc)"
}
