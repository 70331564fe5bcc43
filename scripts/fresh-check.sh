#!/usr/bin/env bash
# Runs what the README tells a newcomer, on a bare Debian 12 made with debootstrap, from
# a clone of the current commit: scripts/run.sh under xvfb-run until the main window is
# up, scripts/test.sh (the README's test command), scripts/test.sh --full (the full
# check, on the same build), then scripts/package.sh, installing the package with apt
# and running `kestrel --version`. Prints one line per command with its result and time and
# ends with the summary of the test run in that root. Fails if any command fails.
#
# The bare root (minbase plus git, ca-certificates, sudo, xvfb and xauth, and a user
# "newcomer" who may use sudo) is made once and kept in the cache folder; every run
# works in a copy of it that is deleted afterwards. Downloaded .deb files are kept in
# the cache too, so a run does not fetch them again, and so is the compiler cache
# (ccache, which the build uses when installed). Uncommitted changes are not part
# of the check: it clones what is committed.
#
# Needs root (debootstrap, chroot, mounts). Environment:
#   KESTREL_FRESH_CACHE   the cache folder (default /var/cache/kestrel-fresh)
#   KESTREL_FUZZ_SECONDS, KESTREL_SOAK_MINUTES   handed to scripts/test.sh in the root
# Usage: scripts/fresh-check.sh
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${KESTREL_FRESH_CACHE:-/var/cache/kestrel-fresh}
mirror=http://deb.debian.org/debian
suite=bookworm
base_max_age_days=14

if [ "$(id -u)" -ne 0 ]; then
    echo "fresh-check: run as root (it makes a root with debootstrap and mounts into it)" >&2
    exit 1
fi
# On this machine: debootstrap makes the root, xdotool answers the port dialog in it.
"$repo/scripts/deps.sh" debootstrap xdotool

mkdir -p "$cache/debs" "$cache/ccache"
cache=$(realpath "$cache")
exec 9>"$cache/lock"
flock 9

# Mount points at or below $1, deepest first.
mounts_below() {
    awk -v top="$1" '$2 == top || index($2, top "/") == 1 { print $2 }' /proc/mounts | sort -r
}

# Ends every process whose root is inside $1, so that nothing holds its mounts.
kill_inside() {
    local top=$1 pid link pids=()
    for pid in /proc/[0-9]*; do
        link=$(readlink "$pid/root" 2>/dev/null) || continue
        case $link in "$top" | "$top"/*) pids+=("${pid#/proc/}") ;; esac
    done
    [ ${#pids[@]} -eq 0 ] && return 0
    kill -TERM "${pids[@]}" 2>/dev/null || true
    sleep 2
    kill -KILL "${pids[@]}" 2>/dev/null || true
    sleep 1
}

# Unmounts everything below a root (lazily when busy) and deletes it only when
# /proc/mounts shows nothing mounted there any more: deleting through a live bind
# mount of /dev would delete the machine's devices.
remove_root() {
    local top=$1 m
    [ -d "$top" ] || return 0
    kill_inside "$top"
    for m in $(mounts_below "$top"); do
        umount "$m" 2>/dev/null || umount -l "$m"
    done
    if [ -n "$(mounts_below "$top")" ]; then
        echo "fresh-check: still mounted below $top, left in place:" >&2
        mounts_below "$top" >&2
        return 1
    fi
    rm -rf --one-file-system "$top"
}

# Leftovers of a run that was killed before it could clean up.
for old in "$cache"/run.*; do
    [ -e "$old" ] && remove_root "$old"
done

base=$cache/base-$suite
if [ -f "$base/.made" ] && [ -n "$(find "$base/.made" -mtime +$base_max_age_days)" ]; then
    echo "fresh-check: the bare root is older than $base_max_age_days days, making it again"
    remove_root "$base"
fi
if [ ! -f "$base/.made" ]; then
    remove_root "$base"
    remove_root "$base.tmp"
    echo "fresh-check: making a bare Debian 12 root with debootstrap (a few minutes, once)"
    debootstrap --variant=minbase --include=git,ca-certificates,sudo,xvfb,xauth \
        "$suite" "$base.tmp" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
        { tail -20 "$cache/debootstrap.log"; exit 1; }
    cat >"$base.tmp/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb http://deb.debian.org/debian-security $suite-security main
EOF
    chroot "$base.tmp" useradd --create-home --shell /bin/bash newcomer
    echo 'newcomer ALL=(ALL) NOPASSWD:ALL' >"$base.tmp/etc/sudoers.d/newcomer"
    chmod 440 "$base.tmp/etc/sudoers.d/newcomer"
    chroot "$base.tmp" apt-get clean
    touch "$base.tmp/.made"
    mv "$base.tmp" "$base"
fi

root=$cache/run.$$
logs=$cache/logs
mkdir -p "$logs"
rm -f "$logs"/*.log
cleanup() {
    remove_root "$root" || echo "fresh-check: $root could not be removed" >&2
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cp -a "$base" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp /etc/hosts "$root/etc/hosts"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount --bind "$cache/debs" "$root/var/cache/apt/archives"

commit=$(git -C "$repo" rev-parse HEAD)
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
    echo "fresh-check: uncommitted changes are not part of this check (it clones ${commit:0:12})"
fi
clone=/home/newcomer/kestrel
git clone --quiet --no-hardlinks "$repo" "$root$clone"
git -C "$root$clone" checkout --quiet --detach "$commit"
chroot "$root" chown -R newcomer:newcomer "$clone"
mkdir -p "$root/home/newcomer/.cache/ccache"
mount --bind "$cache/ccache" "$root/home/newcomer/.cache/ccache"
chroot "$root" chown -R newcomer:newcomer /home/newcomer/.cache

# Runs a command line as the newcomer in the clone, with a login environment.
as_newcomer() {
    chroot "$root" su --login newcomer --command \
        "export LANG=C.UTF-8 KESTREL_FUZZ_SECONDS=${KESTREL_FUZZ_SECONDS:-60} \
KESTREL_SOAK_MINUTES=${KESTREL_SOAK_MINUTES:-2}; cd $clone && $1"
}

failed=0
results=()
# Runs one step: its name, then the function that does it; output goes to its log.
step() {
    local name=$1 log="$logs/$2.log" start took result
    shift 2
    start=$(date +%s)
    if "$@" >"$log" 2>&1; then result=ok; else result=FAILED; failed=1; fi
    took=$(($(date +%s) - start))
    results+=("$(printf '%-58s %-6s %5d s' "$name" "$result" "$took")")
    echo "fresh-check: ${results[-1]}"
    if [ "$result" != ok ]; then
        echo "---- last lines of $log"
        tail -60 "$log"
        echo "----"
    fi
}

# A display number that no X server on this machine answers on (the root shares the
# machine's abstract socket namespace, so a server there would take it).
display=
for n in $(seq 87 120); do
    if ! grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix && [ ! -e "/tmp/.X$n-lock" ]; then
        display=$n
        break
    fi
done

# scripts/run.sh under xvfb-run: builds, starts on the simulated receiver and shows the
# port dialog; OK there (Return) brings the main window, "Navigate". The X server in
# the root is reached from here through its abstract socket.
run_until_main_window() {
    [ -n "$display" ] || { echo "no free X display number"; return 1; }
    as_newcomer "xvfb-run -n $display -s '-ac -screen 0 1280x1024x24' scripts/run.sh" &
    local pid=$! deadline=$(($(date +%s) + 2400)) up=1 win
    while [ "$(date +%s)" -lt $deadline ] && kill -0 $pid 2>/dev/null; do
        if win=$(DISPLAY=:$display xdotool search --onlyvisible --name '^Navigate$'); then
            echo "main window up: X window $win"
            up=0
            break
        fi
        if win=$(DISPLAY=:$display xdotool search --onlyvisible --name '^Select GPS Port$'); then
            win=$(echo "$win" | head -1)
            DISPLAY=:$display xdotool windowfocus --sync "$win" key Return || true
        fi
        sleep 1
    done 2>/dev/null
    kill_inside "$root"
    wait $pid 2>/dev/null || true
    return $up
}

test_sh() { as_newcomer scripts/test.sh; }
full_check() { as_newcomer 'scripts/test.sh --full'; }

package_and_install() {
    as_newcomer 'scripts/package.sh && sudo apt install -y ./kestrel_*.deb' &&
        as_newcomer 'cd / && kestrel --version'
}

step "scripts/run.sh (xvfb-run, until the main window is up)" run "run_until_main_window"
step "scripts/test.sh (the README's test command)" test test_sh
step "scripts/test.sh --full (the full check)" full full_check
step "scripts/package.sh; apt install ./kestrel_*.deb; kestrel --version" package \
    package_and_install
grep -h '^kestrel [0-9]' "$logs/package.log" || true

echo
echo "fresh-check: bare Debian 12 root, commit ${commit:0:12}"
printf 'fresh-check: %s\n' "${results[@]}"
echo
# The closing lines of each ctest run and the parts' times, quick command then full check.
for run in test full; do
    echo "fresh-check: scripts/test.sh$([ $run = full ] && echo ' --full') in the bare root:"
    awk '/^== /{ print } /tests passed, .* tests failed out of/{ show = 1 } show { print }
         /^Total Test time/{ show = 0 } /^== times/{ times = 1 } times && !/^== /{ print }' \
        "$logs/$run.log"
done
exit $failed
