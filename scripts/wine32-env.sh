# Sourced by wine32-run.sh: the 32-bit test environment, a Debian 12 root made with debootstrap
# that holds Debian's wine32, Xvfb, xcompmgr, the fonts and a Win32 prefix set up by
# wine-prefix.sh. Programs run in it natively on this machine's kernel (which runs 32-bit
# programs), chrooted in namespaces of their own: no network, private /tmp and display, the
# root seen through an overlay whose changes are dropped, and every process ended with the run.
# (qemu-user emulation cannot carry Wine's threads, and this machine's KVM only boots kernels
# made for it, not Debian's.)
#
# Kept in <build root>/wine32-env. A set-up works in a folder of its own and renames it into
# place only when complete, so a set-up that was killed leaves nothing that is reused.

wine32_scripts="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine32_cache="${TARNVEL_BUILD_ROOT:-$(dirname "$wine32_scripts")/build}/wine32-env"

wine32_fail() {
    echo "wine32: $*" >&2
    exit 125
}

# The recipe's fingerprint: a changed script makes a new environment.
wine32_key() {
    cat "$wine32_scripts/wine32-env.sh" "$wine32_scripts/wine-prefix.sh" "$wine32_scripts/env.sh" | sha256sum |
        cut -c1-16
}

# Ends the caller with 77 where the kernel runs no i386 program: nothing 32-bit could start.
wine32_check_i386() {
    local status=0 reason
    reason="$("$wine32_scripts/host-runs-i386.sh")" || status=$?
    if [ "$status" -eq 77 ]; then
        echo "wine32: skipped: $reason" >&2
        exit 77
    fi
}

wine32_check_host() {
    local tool
    for tool in debootstrap unshare chroot python3; do
        command -v "$tool" >/dev/null || wine32_fail "$tool is missing (scripts/setup.sh installs it)"
    done
    [ "$(id -u)" -eq 0 ] || wine32_fail "the 32-bit environment needs root (debootstrap, chroot and mounts)"
    grep -qw overlay /proc/filesystems || wine32_fail "this kernel has no overlay file system"
}

# Runs <job folder>/job.sh in <root> (through an overlay unless <mode> is "write") with the host
# folders listed in <job folder>/shares mounted at their own paths; returns its exit code.
wine32_enter() {
    local root="$1" job="$2" mode="$3" limit="${TARNVEL_WINE32_TIMEOUT:-900}" status=0
    [ "$(id -u)" -eq 0 ] || wine32_fail "the 32-bit environment needs root (chroot and mounts)"
    timeout -k 10 "$limit" unshare --mount --net --pid --ipc --uts --fork --kill-child bash -s "$root" "$job" "$mode" <<'EOF' || status=$?
set -euo pipefail
root="$1" job="$2" mode="$3"
mount --make-rprivate /
if [ "$mode" != write ]; then
    # Changes go to memory and are gone with the run.
    mount -t tmpfs tmpfs "$job/layers"
    mkdir "$job/layers/upper" "$job/layers/work" "$job/merged"
    mount -t overlay overlay -o "lowerdir=$root,upperdir=$job/layers/upper,workdir=$job/layers/work" "$job/merged"
    root="$job/merged"
fi
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/dev/shm"
mount -t tmpfs tmpfs "$root/tmp"
mount -t tmpfs tmpfs "$root/run"
mkdir -p "$root/run/job"
mount --bind "$job" "$root/run/job"
while read -r path; do
    [ -n "$path" ] || continue
    mkdir -p "$root$path"
    mount --bind "$path" "$root$path"
done <"$job/shares"
hostname tarnvel-i686
exec chroot "$root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin bash /run/job/job.sh </dev/null
EOF
    if [ "$status" -eq 124 ]; then
        echo "wine32: the run did not finish within $limit s" >&2
    fi
    return "$status"
}

# Host entries of Debian's own archive (the host's mirror and suites of this release), as lines
# "<uri> <suite> <components>".
wine32_host_sources() {
    python3 - "$1" <<'EOF'
import glob, re, sys
codename = sys.argv[1]
entries = []
for path in sorted(glob.glob("/etc/apt/sources.list") + glob.glob("/etc/apt/sources.list.d/*.list")):
    for line in open(path, errors="replace"):
        line = re.sub(r"\[[^]]*\]", "", line.split("#", 1)[0]).split()
        if len(line) >= 4 and line[0] == "deb":
            entries.append((line[1], line[2], line[3:]))
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    for stanza in re.split(r"\n\s*\n", open(path, errors="replace").read()):
        fields = {}
        for line in stanza.splitlines():
            if line.startswith("#") or ":" not in line or line[0].isspace():
                continue
            key, value = line.split(":", 1)
            fields[key.strip().lower()] = value.split()
        if "deb" in fields.get("types", []) and fields.get("enabled", ["yes"]) != ["no"]:
            for uri in fields.get("uris", []):
                for suite in fields.get("suites", []):
                    entries.append((uri, suite, fields.get("components", ["main"])))
for uri, suite, components in entries:
    if suite == codename or suite.startswith(codename + "-"):
        print(uri, suite, " ".join(components))
EOF
}

# Makes the environment unless a complete one of this recipe is there.
wine32_setup() {
    local key
    key="$(wine32_key)"
    [ -f "$wine32_cache/ready-$key" ] && return 0
    wine32_check_host
    mkdir -p "${wine32_cache%/*}"
    exec {wine32_lock}>"$wine32_cache.lock"
    flock "$wine32_lock"
    [ -f "$wine32_cache/ready-$key" ] && return 0
    local started=$SECONDS
    echo "wine32: setting up the 32-bit environment in $wine32_cache (once)" >&2
    # Left by a set-up that was killed: never reused.
    local stale
    for stale in "$wine32_cache".new.*; do
        [ -d "$stale" ] && wine32_remove "$stale"
    done
    local work="$wine32_cache.new.$$"
    mkdir -p "$work/root" "$wine32_cache.debs"
    local status=0
    set +e
    (wine32_make "$work")
    status=$?
    set -e
    if [ "$status" -ne 0 ]; then
        wine32_remove "$work"
        wine32_fail "the 32-bit environment could not be set up; see above"
    fi
    touch "$work/ready-$key"
    [ -d "$wine32_cache" ] && wine32_remove "$wine32_cache"
    mv "$work" "$wine32_cache"
    echo "wine32: environment ready in $((SECONDS - started)) s" >&2
}

# Removes a set-up folder, its chroot's mounts first (never anything through them).
wine32_remove() {
    local dir mounts
    dir="$(realpath "$1")"
    wine32_mounts_below() { awk -v d="$dir/" 'index($2 "/", d) == 1 { print $2 }' /proc/mounts | sort -r; }
    wine32_mounts_below | while read -r mount; do umount -l "$mount" || true; done
    mounts="$(wine32_mounts_below)"
    if [ -n "$mounts" ]; then
        echo "wine32: $1 still has mounts; left as it is" >&2
        return 0
    fi
    rm -rf --one-file-system "$1"
}

wine32_make() {
    set -euo pipefail
    local work="$1" root="$1/root"
    local codename
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
    local sources
    sources="$(wine32_host_sources "$codename")"
    local mirror
    mirror="$(awk -v s="$codename" '$2 == s { print $1; exit }' <<<"$sources")"
    [ -n "$mirror" ] || { echo "wine32: no Debian $codename source in the host's apt sources" >&2; return 1; }

    echo "wine32: debootstrap $codename from $mirror" >&2
    debootstrap --variant=minbase --arch=amd64 --cache-dir="$wine32_cache.debs" "$codename" "$root" "$mirror" \
        >"$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log" >&2; return 1; }

    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    trap "umount '$root/sys' '$root/proc' 2>/dev/null || true" EXIT
    # Packages fetched by an earlier set-up are not fetched again.
    find "$wine32_cache.debs" -maxdepth 1 -name '*.deb' -exec cp -l -t "$root/var/cache/apt/archives" {} + 2>/dev/null ||
        true
    awk '{ printf "deb [arch=amd64,i386] %s %s", $1, $2; for (i = 3; i <= NF; i++) printf " %s", $i; print "" }' \
        <<<"$sources" >"$root/etc/apt/sources.list"
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod +x "$root/usr/sbin/policy-rc.d"
    echo 'zh_CN.UTF-8 UTF-8' >"$root/etc/locale.gen"
    chroot "$root" dpkg --add-architecture i386
    if ! chroot "$root" apt-get update -qq >"$work/update.log" 2>&1; then
        # Seen here: the security suite's i386 index did not match its Release file. The
        # environment has no network, so it can do with the release and its updates alone, for
        # both architectures alike (Multi-Arch packages must have one version).
        echo "wine32: apt could not read every index; the environment takes $codename and $codename-updates only:" >&2
        grep '^E:' "$work/update.log" | head -n 3 >&2
        grep -v -- '-security ' "$root/etc/apt/sources.list" >"$work/sources.list"
        mv "$work/sources.list" "$root/etc/apt/sources.list"
        chroot "$root" apt-get update -qq >&2
    fi
    local i386=(wine32 libfreetype6 libfontconfig1 libx11-6 libxext6 libxrender1 libxrandr2 libxi6 libxcursor1
        libxinerama1 libxcomposite1 libxfixes3 libxxf86vm1 libgnutls30 libdbus-1-3)
    echo "wine32: installing wine32, the display and the fonts" >&2
    DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -qq --no-install-recommends \
        -o Dpkg::Options::=--force-confold locales procps wine "${i386[@]/%/:i386}" \
        xvfb xauth xcompmgr x11-utils xdotool imagemagick fonts-wqy-microhei >"$work/apt.log" 2>&1 ||
        { tail -n 30 "$work/apt.log" >&2; return 1; }
    find "$root/var/cache/apt/archives" -maxdepth 1 -name '*.deb' -exec cp -l -f -t "$wine32_cache.debs" {} +
    umount "$root/sys" "$root/proc"
    trap - EXIT
    rm -rf "$root"/var/cache/apt/archives/*.deb "$root"/var/lib/apt/lists/* "$root"/usr/share/doc/* \
        "$root"/usr/share/man/*
    mkdir -p "$root/opt/tarnvel"

    # The prefix is made inside, as the programs then use it.
    echo "wine32: creating the Win32 prefix" >&2
    local job="$work/job"
    mkdir -p "$job/scripts" "$job/layers"
    cp "$wine32_scripts/env.sh" "$wine32_scripts/wine-prefix.sh" "$job/scripts/"
    : >"$job/shares"
    cat >"$job/job.sh" <<'EOF'
export WINEARCH=win32 TARNVEL_WINEPREFIX=/opt/tarnvel/prefix HOME=/root LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
bash /run/job/scripts/wine-prefix.sh
test -f /opt/tarnvel/prefix/system.reg && ls /opt/tarnvel/prefix/.tarnvel-prefix-v* >/dev/null
EOF
    wine32_enter "$root" "$job" write >&2 || { echo "wine32: the prefix could not be made" >&2; return 1; }
    rm -rf "$job"
}
