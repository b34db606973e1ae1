#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, then prepares the project's Wine prefix.
# Idempotent: when everything is there it only checks and returns within a second or two.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

packages=(
    cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine64 xvfb xcompmgr x11-utils xdotool imagemagick fonts-wqy-microhei googletest
    python3 python3-pil locales
    clang libclang-rt-14-dev nsis zip unzip python3-pefile osslsigncode openssl
)
packages+=(debootstrap) # the 32-bit environment of scripts/wine32-run.sh
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page and display language from the locale: the tests run under zh_CN
# (code page 936), and one case under en_US (code page 1252) for a Windows that is not Chinese.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$' || ! locale -a 2>/dev/null | grep -qi '^en_US\.utf8$'; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    for wanted in zh_CN en_US; do
        grep -q "^$wanted.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
            echo "$wanted.UTF-8 UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    done
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi

"$here/wine-prefix.sh"
