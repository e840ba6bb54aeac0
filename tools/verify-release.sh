#!/usr/bin/env bash
# Checks a downloaded release by building it again. DIR holds SHA256SUMS, the
# .buildinfo, the source tarball and any other assets to check. It checks
# every file there against SHA256SUMS; makes a minimal Debian chroot of the
# .buildinfo's release and architecture holding exactly its packages at
# their versions; rebuilds the release there from the source tarball alone,
# as the unprivileged user nobody, on a tmpfs; and compares each asset in DIR
# with its rebuild. The rebuilt release, with its own SHA256SUMS, lands in
# DIR/rebuild, with the build's log and a diffoscope report for each asset
# that differs. Exits 0 only when every asset is the same. Needs root.
# Usage: tools/verify-release.sh [--keep-chroot] [--archive-versions] DIR
#   --keep-chroot       keep the chroot in /var/cache/calculator-rebuild,
#                       named by the .buildinfo's packages, to use it again
#   --archive-versions  where the archive no longer has a package at the
#                       .buildinfo's version, build with the version it has
set -euo pipefail
say() { echo "verify: $*"; }
fail() {
  echo "verify: $*" >&2
  exit 1
}
usage="usage: tools/verify-release.sh [--keep-chroot] [--archive-versions] DIR"
[ "$(id -u)" -eq 0 ] || fail "needs root, to make a chroot and build in it as another user"
keep="" archive_versions="" dir=""
for argument in "$@"; do
  case $argument in
    --keep-chroot) keep=yes ;;
    --archive-versions) archive_versions=yes ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) [ -z "$dir" ] && dir=$argument || { echo "$usage" >&2; exit 2; } ;;
  esac
done
[ -n "$dir" ] || { echo "$usage" >&2; exit 2; }
for tool in mmdebstrap:mmdebstrap diffoscope:diffoscope-minimal; do
  command -v "${tool%%:*}" >/dev/null || fail "needs ${tool%%:*} (Debian package ${tool#*:})"
done

dir=$(realpath "$dir")
[ -f "$dir/SHA256SUMS" ] || fail "$dir holds no SHA256SUMS"
buildinfo=$(cd "$dir" && ls -- *.buildinfo 2>/dev/null) || fail "$dir holds no .buildinfo"
[ "$(wc -l <<<"$buildinfo")" -eq 1 ] || fail "$dir holds more than one .buildinfo"
if ! mismatched=$(cd "$dir" && sha256sum --quiet -c --ignore-missing SHA256SUMS 2>/dev/null); then
  fail "these files do not match SHA256SUMS, so nothing was built:"$'\n'"$mismatched"
fi
# A field of the .buildinfo, its lines joined.
field() {
  awk -v name="$1:" '$1 == name { inside = 1; $1 = ""; print; next }
    /^[^ ]/ { inside = 0 } inside' "$dir/$buildinfo" | xargs
}
version=$(field Version) arch=$(field Build-Architecture) suite=$(field Build-Debian-Release)
packages=$(field Installed-Build-Depends | sed 's/ (= /=/g; s/),*//g')
tarball=calculator-$version.tar.gz
for file in "$buildinfo" "$tarball"; do
  grep -qx "[0-9a-f]*  $file" "$dir/SHA256SUMS" && [ -f "$dir/$file" ] ||
    fail "$dir lacks $file, or SHA256SUMS does not list it"
done
[ "$arch" = "$(dpkg --print-architecture)" ] ||
  fail "the release was built on $arch, so it is rebuilt on $arch, not $(dpkg --print-architecture)"
assets=$(awk '{ print $2 }' "$dir/SHA256SUMS" | grep -vxF -e "$tarball" -e "$buildinfo" \
  -e "calculator-$version.cdx.json" | while read -r file; do [ ! -f "$dir/$file" ] || echo "$file"; done)
say "the files in $dir match SHA256SUMS; rebuilding calculator $version on Debian $suite ($arch)"

# The chroot: kept, in a folder named by what it holds, or made for this run.
key=$(printf '%s\n' "$suite" "$arch" "$archive_versions" $packages | sha256sum | cut -c 1-16)
if [ -n "$keep" ]; then
  mkdir -p /var/cache/calculator-rebuild
  root=/var/cache/calculator-rebuild/$key
  exec 9>"$root.lock"
  flock 9
else
  root=$(mktemp -d /var/tmp/calculator-rebuild.XXXXXX)
fi
# A chroot is kept only once it holds the .buildinfo's packages. Removing
# one never crosses into a file system mounted in it.
clean_up() {
  rm -f "$root.log"
  if [ -n "$keep" ] && [ -f "$root.ready" ]; then
    say "the chroot is kept in $root"
  else
    rm -rf --one-file-system "$root"
  fi
}
trap clean_up EXIT
trap 'exit 1' TERM INT

# Runs a command in the chroot, with /proc, in a mount namespace of its own
# so that its mounts end with it.
in_chroot() {
  unshare --mount --propagation private sh -c 'mount -t proc proc "$0/proc" && exec "$@"' \
    "$root" chroot "$root" "$@"
}

# The URL of the machine's apt source with that label.
archive() {
  apt-cache policy | awk -v label="l=$1," '$2 ~ /^https?:/ { url = $2 } index($0, label) && url { print url; exit }'
}

if [ -f "$root.ready" ] && [ -d "$root/usr" ]; then
  say "chroot: kept from an earlier run in $root"
  say "packages: as the .buildinfo names them, installed in it then"
else
  debian=$(archive Debian)
  [ -n "$debian" ] || { apt-get -qq update; debian=$(archive Debian); }
  [ -n "$debian" ] || fail "this machine's apt sources name no Debian archive"
  security=$(archive Debian-Security)
  sources=("deb $debian $suite main" "deb $debian $suite-updates main")
  [ -z "$security" ] || sources+=("deb $security $suite-security main")
  say "chroot: making a minimal Debian $suite ($arch) in $root from $debian $security"
  rm -rf --one-file-system "$root" "$root.ready"
  # /usr merged as Debian's installer merges it, by usr-is-merged, and not by
  # usrmerge, which would stand in for it in the .buildinfo.
  mmdebstrap --variant=minbase --architectures="$arch" \
    --hook-dir=/usr/share/mmdebstrap/hooks/merged-usr "$suite" "$root" "${sources[@]}" \
    </dev/null >"$root.log" 2>&1 || { cat "$root.log" >&2; fail "cannot make the chroot"; }

  # Each package at its version, where the archive has it.
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  in_chroot apt-get -qq update
  available=$(in_chroot sh -c "apt-get indextargets --format '\$(FILENAME)' 'Created-By: Packages' |
    xargs -r /usr/lib/apt/apt-helper cat-file" |
    awk '$1 == "Package:" { name = $2 } $1 == "Version:" { print name "=" $2 }' | sort -u)
  missing=$(comm -23 <(printf '%s\n' $packages | sort -u) <(echo "$available"))
  chosen=$packages
  if [ -n "$missing" ]; then
    for package in $missing; do
      echo "verify: the archive no longer has ${package%%=*} ${package#*=}" >&2
    done
    [ -n "$archive_versions" ] ||
      fail "the packages above are no longer in the archive; --archive-versions builds with the versions it has"
    chosen=$(printf '%s\n' $packages | grep -vxF "$missing"; printf '%s\n' $missing | sed 's/=.*//')
  fi
  say "packages: installing the .buildinfo's $(wc -w <<<"$packages") packages in the chroot"
  # Those this machine has downloaded already are taken from its apt cache.
  cp -l /var/cache/apt/archives/*.deb "$root/var/cache/apt/archives/" 2>/dev/null || true
  in_chroot env DEBIAN_FRONTEND=noninteractive apt-get -qq -y --allow-downgrades \
    --no-install-recommends install $chosen >"$root.log" 2>&1 ||
    { cat "$root.log" >&2; fail "cannot install the .buildinfo's packages"; }
  in_chroot apt-get clean
  rm -f "$root/etc/resolv.conf"
  [ -n "$missing" ] || touch "$root.ready"
fi

say "build: as nobody, on a tmpfs in the chroot, from $tarball alone"
rebuild=$dir/rebuild
rm -rf "$rebuild"
mkdir -p "$rebuild" "$root/build"
kept_environment=()
for name in TZ LANG LC_ALL; do
  [ -z "${!name+set}" ] || kept_environment+=("$name=${!name}")
done
# In a mount namespace of its own, so that /proc and the tmpfs end with it,
# and with no network, so that nothing but the tarball goes into the build.
if ! unshare --mount --net --propagation private bash -c '
  set -e
  root=$1 tarball=$2 rebuild=$3 version=$4
  shift 4
  mount -t proc proc "$root/proc"
  mount -t tmpfs -o mode=0755 tmpfs "$root/build"
  mkdir "$root/build/home" "$root/build/out"
  cp "$tarball" "$root/build/out/"
  chown -R 65534:65534 "$root/build"
  chroot --userspec=65534:65534 "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/build/home "$@" bash -c "cd /build && tar -xzf out/${tarball##*/} &&
      bash calculator-$version/tools/build-assets.sh out"
  cp -r "$root/build/out/." "$rebuild/"
  ' - "$root" "$dir/$tarball" "$rebuild" "$version" \
  ${kept_environment[@]+"${kept_environment[@]}"} >"$rebuild/build.log" 2>&1; then
  tail -n 30 "$rebuild/build.log" >&2
  fail "the build failed; its log is $rebuild/build.log"
fi

say "compare: each asset in $dir with its rebuild in $rebuild"
differ=0
for asset in $assets; do
  if cmp -s "$dir/$asset" "$rebuild/$asset"; then
    printf 'same     %s\n' "$asset"
  else
    differ=$((differ + 1))
    mkdir -p "$rebuild/diffoscope"
    diffoscope --text "$rebuild/diffoscope/$asset.txt" "$dir/$asset" "$rebuild/$asset" \
      >/dev/null 2>&1 || true
    printf 'DIFFERS  %s  (diffoscope: %s)\n' "$asset" "$rebuild/diffoscope/$asset.txt"
  fi
done
count=$(wc -w <<<"$assets")
if [ -n "${missing-}" ]; then
  say "built with the archive's versions of $(printf '%s\n' $missing | sed 's/=.*//' | xargs)," \
    "not the .buildinfo's ($(echo $missing)), so a difference may come from them"
fi
if cmp -s "$dir/SHA256SUMS" "$rebuild/SHA256SUMS"; then
  say "the rebuild's SHA256SUMS is the release's, byte for byte: $rebuild/SHA256SUMS"
else
  say "the rebuild's SHA256SUMS differs from the release's: $rebuild/SHA256SUMS"
fi
if [ "$differ" -eq 0 ]; then
  say "all $count assets in $dir are the same as their rebuild"
else
  fail "$differ of $count assets in $dir differ from their rebuild"
fi
