# Sourced by wine32-run.sh: the 32-bit test environment, a small Debian 12 guest that
# qemu-system-x86_64 runs under KVM (user-mode emulation cannot carry Wine's threads). Its root
# holds Debian's wine32, Xvfb, xcompmgr, the fonts and a Win32 prefix set up by wine-prefix.sh;
# it has no network device and boots Debian's kernel straight into wine32-guest-init.
#
# Kept in <build root>/wine32-guest. A set-up works in a folder of its own and renames it into
# place only when complete, so a set-up that was killed leaves nothing that is reused.

wine32_scripts="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine32_cache="${TARNVEL_BUILD_ROOT:-$(dirname "$wine32_scripts")/build}/wine32-guest"

wine32_fail() {
    echo "wine32: $*" >&2
    exit 125
}

# The recipe's fingerprint: a changed script makes a new environment.
wine32_key() {
    cat "$wine32_scripts/wine32-guest.sh" "$wine32_scripts/wine32-guest-init" "$wine32_scripts/wine-prefix.sh" \
        "$wine32_scripts/env.sh" | sha256sum | cut -c1-16
}

wine32_check_host() {
    local tool
    for tool in qemu-system-x86_64 debootstrap mke2fs python3; do
        command -v "$tool" >/dev/null || wine32_fail "$tool is missing (scripts/setup.sh installs it)"
    done
    [ -c /dev/kvm ] || wine32_fail "no /dev/kvm on this machine: the 32-bit guest needs KVM"
    python3 -c 'import fcntl, os; fcntl.ioctl(os.open("/dev/kvm", os.O_RDWR), 0xAE00)' 2>/dev/null ||
        wine32_fail "/dev/kvm cannot be opened by $(id -un): the 32-bit guest needs KVM"
}

# Boots the guest on <root image> with <job folder> (holding job.sh and shares) and the host
# folders listed in <job folder>/shares; the job's output comes to ours, its exit code is
# returned. <mode> is "snapshot" (the image stays as it is) or "write".
wine32_boot() {
    local image="$1" job="$2" mode="$3" limit="${TARNVEL_WINE32_TIMEOUT:-900}"
    local dir="${image%/*}" args=() n=0 tag path
    args=(-enable-kvm -cpu host -smp 2 -m 2048 -nodefaults -no-user-config -nic none -display none -no-reboot
        -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img"
        -append "root=/dev/vda rw init=/usr/local/sbin/tarnvel-guest-init console=ttyS2 quiet panic=-1"
        -drive "file=$image,format=raw,if=virtio,cache=unsafe,snapshot=$([ "$mode" = snapshot ] && echo on || echo off)"
        -fsdev "local,id=job,path=$job,security_model=none" -device virtio-9p-pci,fsdev=job,mount_tag=job)
    while read -r tag path; do
        [ -n "$tag" ] || continue
        args+=(-fsdev "local,id=$tag,path=$path,security_model=none" -device "virtio-9p-pci,fsdev=$tag,mount_tag=$tag")
    done <"$job/shares"
    # Guest ttyS0 and ttyS1 are the job's output and errors, ttyS2 the kernel's console.
    mkfifo "$job/out.in" "$job/out.out" "$job/err.in" "$job/err.out"
    args+=(-chardev "pipe,id=out,path=$job/out" -serial chardev:out -chardev "pipe,id=err,path=$job/err"
        -serial chardev:err -serial "file:$job/console.log")
    cat "$job/out.out" &
    local out_pid=$!
    cat "$job/err.out" >&2 &
    local err_pid=$!
    rm -f "$job/rc"
    local status=0
    timeout -k 10 "$limit" qemu-system-x86_64 "${args[@]}" </dev/null >"$job/qemu.log" 2>&1 || status=$?
    # A reader whose writer never came ends here, one whose writer left already is not blocked.
    exec {n}<>"$job/out.out"
    exec {n}>&-
    exec {n}<>"$job/err.out"
    exec {n}>&-
    wait "$out_pid" "$err_pid" 2>/dev/null || true
    if [ -f "$job/rc" ]; then
        return "$(cat "$job/rc")"
    fi
    {
        if [ "$status" -eq 124 ]; then
            echo "wine32: the guest did not finish within $limit s"
        else
            echo "wine32: the guest ended without the job's exit code (qemu: $status)"
        fi
        tail -n 20 "$job/qemu.log" "$job/console.log" 2>/dev/null
    } >&2
    return 125
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
    [ "$(id -u)" -eq 0 ] || wine32_fail "the first set-up needs root (debootstrap and chroot)"
    local started=$SECONDS
    echo "wine32: setting up the 32-bit guest in $wine32_cache (once)" >&2
    # Left by a set-up that was killed: never reused.
    local stale
    for stale in "$wine32_cache".new.*; do
        [ -d "$stale" ] || continue
        umount -R "$stale/root/proc" "$stale/root/sys" "$stale/root/var/cache/apt/archives" 2>/dev/null || true
        rm -rf --one-file-system "$stale"
    done
    local work="$wine32_cache.new.$$"
    mkdir -p "$work/root" "$wine32_cache.debs"
    local status=0
    set +e
    (wine32_make "$work")
    status=$?
    set -e
    if [ "$status" -ne 0 ]; then
        rm -rf --one-file-system "$work" 2>/dev/null
        wine32_fail "the 32-bit guest could not be set up; see above"
    fi
    touch "$work/ready-$key"
    rm -rf --one-file-system "$wine32_cache"
    mv "$work" "$wine32_cache"
    echo "wine32: guest ready in $((SECONDS - started)) s" >&2
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
    mount --bind "$wine32_cache.debs" "$root/var/cache/apt/archives"
    trap 'umount "$root/var/cache/apt/archives" "$root/sys" "$root/proc" 2>/dev/null || true' EXIT
    awk '{ printf "deb [arch=amd64,i386] %s %s", $1, $2; for (i = 3; i <= NF; i++) printf " %s", $i; print "" }' \
        <<<"$sources" >"$root/etc/apt/sources.list"
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod +x "$root/usr/sbin/policy-rc.d"
    # A small initrd that finds the virtio disk.
    mkdir -p "$root/etc/initramfs-tools"
    printf 'MODULES=list\nCOMPRESS=zstd\n' >"$root/etc/initramfs-tools/initramfs.conf"
    printf 'virtio_pci\nvirtio_blk\next4\n' >"$root/etc/initramfs-tools/modules"
    echo 'zh_CN.UTF-8 UTF-8' >"$root/etc/locale.gen"
    chroot "$root" dpkg --add-architecture i386
    if ! chroot "$root" apt-get update -qq >"$work/update.log" 2>&1; then
        # Seen here: the security suite's i386 index did not match its Release file. The guest
        # has no network, so it can do with the release and its updates alone, for both
        # architectures alike (Multi-Arch packages must have one version).
        echo "wine32: apt could not read every index; the guest takes $codename and $codename-updates only:" >&2
        grep '^E:' "$work/update.log" | head -n 3 >&2
        grep -v -- '-security ' "$root/etc/apt/sources.list" >"$work/sources.list"
        mv "$work/sources.list" "$root/etc/apt/sources.list"
        chroot "$root" apt-get update -qq >&2
    fi
    local i386=(wine32 libfreetype6 libfontconfig1 libx11-6 libxext6 libxrender1 libxrandr2 libxi6 libxcursor1
        libxinerama1 libxcomposite1 libxfixes3 libxxf86vm1 libgnutls30 libdbus-1-3)
    echo "wine32: installing wine32 and the guest's kernel, display and fonts" >&2
    DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -qq --no-install-recommends \
        linux-image-amd64 initramfs-tools zstd kmod iproute2 procps locales wine "${i386[@]/%/:i386}" \
        xvfb xauth xcompmgr x11-utils xdotool imagemagick fonts-wqy-microhei >"$work/apt.log" 2>&1 ||
        { tail -n 30 "$work/apt.log" >&2; return 1; }
    cp "$root"/boot/vmlinuz-* "$work/vmlinuz"
    cp "$root"/boot/initrd.img-* "$work/initrd.img"
    install -m 755 "$wine32_scripts/wine32-guest-init" "$root/usr/local/sbin/tarnvel-guest-init"
    umount "$root/var/cache/apt/archives" "$root/sys" "$root/proc"
    trap - EXIT
    rm -rf "$root"/var/lib/apt/lists/* "$root"/usr/share/doc/* "$root"/usr/share/man/* "$root"/boot/*
    mkdir -p "$root/opt/tarnvel"

    local size
    size=$(($(du -sm "$root" | cut -f1) + 1024))
    mke2fs -q -t ext4 -d "$root" -L tarnvel-i686 -F "$work/root.ext4" "${size}M"
    rm -rf --one-file-system "$root"

    # The prefix is made in the guest itself, as the tests then use it.
    echo "wine32: creating the Win32 prefix in the guest" >&2
    local job="$work/job"
    mkdir -p "$job/scripts"
    cp "$wine32_scripts/env.sh" "$wine32_scripts/wine-prefix.sh" "$job/scripts/"
    : >"$job/shares"
    cat >"$job/job.sh" <<'EOF'
export WINEARCH=win32 TARNVEL_WINEPREFIX=/opt/tarnvel/prefix HOME=/root
bash /run/job/scripts/wine-prefix.sh
test -f /opt/tarnvel/prefix/system.reg && ls /opt/tarnvel/prefix/.tarnvel-prefix-v* >/dev/null
EOF
    wine32_boot "$work/root.ext4" "$job" write >&2 || { echo "wine32: the prefix could not be made" >&2; return 1; }
    rm -rf "$job"
}
