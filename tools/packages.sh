# Debian packages the build and the tests need; sourced by the README's commands.
QM_PACKAGES=(
    g++ cmake make pkg-config
    libpoco-dev libzip-dev zipcmp zipmerge ziptool libjpeg-dev libicu-dev libgif-dev nlohmann-json3-dev zip unzip
    libgtest-dev libgmock-dev libbenchmark-dev
    python3 python3-pyftpdlib python3-aiosmtpd
    binutils-mingw-w64-x86-64
    chromium
)
# The fuzz targets only (tools/fuzz.sh): clang with libFuzzer and the sanitizers, and llvm's
# coverage tools.
QM_FUZZ_PACKAGES=(clang libclang-rt-14-dev llvm)

# Installs what is missing of the given list (QM_PACKAGES by default).
ensure_packages() {
    local missing=()
    local p
    local -n wanted=${1:-QM_PACKAGES}
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Missing Debian packages: ${missing[*]}" >&2
            echo "Installing them needs root or sudo; as root: apt-get install ${missing[*]}" >&2
            return 1
        fi
        sudo="sudo"
    fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
}
