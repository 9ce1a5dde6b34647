#!/usr/bin/env bash
# How this machine starts Wine's 32-bit half, which runs the shipped 32-bit exe under WOW64.
# Wine's 32-bit loader needs the 32-bit C library's loader to start, and that needs a kernel
# that starts 32-bit processes. Some kernels are built or booted without (the kernel log says
# "32-bit emulation disabled"; booting with ia32_emulation=on turns it back on). There, Debian's
# qemu-user-static, registered for 32-bit ELF files through binfmt_misc, runs them under
# emulation instead, about 20 times slower.
#   kernel32.sh setup   as root, registers qemu-i386 where the kernel can't start them itself
#   kernel32.sh mode    prints native, emulated or none, and after a tab why
set -euo pipefail
loader=${LOADER32:-/lib/ld-linux.so.2}
binfmt=/proc/sys/fs/binfmt_misc
qemu=/usr/bin/qemu-i386-static

starts() { "$loader" --version >/dev/null 2>&1; }
registered() { [ -f "$binfmt/qemu-i386" ] && grep -qx enabled "$binfmt/qemu-i386"; }

mode() {
    if [ ! -e "$loader" ]; then
        printf 'none\tthe 32-bit C library (%s) is not installed\n' "$loader"
    elif starts && registered; then
        printf 'emulated\tthe kernel starts no 32-bit process; qemu-i386 runs them, about 20 times slower\n'
    elif starts; then
        printf 'native\tthe kernel starts 32-bit processes\n'
    elif [ "$(id -u)" -ne 0 ]; then
        printf 'none\tthe kernel starts no 32-bit process, and only root can register qemu-i386 for them\n'
    elif [ ! -x "$qemu" ]; then
        printf 'none\tthe kernel starts no 32-bit process, and %s is not installed\n' "$qemu"
    else
        printf 'none\tthe kernel starts no 32-bit process, and registering qemu-i386 for them failed\n'
    fi
}

setup() {
    [ -e "$loader" ] || return 0
    starts && return 0
    [ "$(id -u)" -eq 0 ] && [ -x "$qemu" ] || return 0
    if [ ! -f "$binfmt/register" ]; then
        mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || return 0
    fi
    if [ -f "$binfmt/qemu-i386" ]; then
        echo 1 >"$binfmt/qemu-i386" 2>/dev/null || true
    else
        # 32-bit little-endian ELF executables and shared objects for i386, as qemu's own
        # binfmt configuration script describes them; F: the interpreter is opened now, so it
        # also serves processes in other mount namespaces.
        local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
        local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        echo ":qemu-i386:M::$magic:$mask:$qemu:F" >"$binfmt/register" 2>/dev/null || return 0
    fi
    if starts; then
        echo "setup: this kernel starts no 32-bit process; registered $qemu for them (binfmt_misc), so Wine runs the shipped 32-bit exe under emulation"
    fi
}

case "${1:-}" in
    setup) setup ;;
    mode) mode ;;
    *) echo "usage: kernel32.sh setup|mode" >&2; exit 2 ;;
esac
