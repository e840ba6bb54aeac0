# The user who runs doc/verifying.md's verify command in CI's refusals, rebuild and
# altered steps, on a bare machine, on copies of dist/. Sourced after lib.sh.
read -r _ suite < <(facts debian)
machine verifying "$suite" $(packages verifying)
[ "$preparing" != machines ] || exit 0
install_packages gpg libdpkg-perl
dist_is_current || bash .ci/release release
in_machine verifying useradd --uid 2000 --create-home --shell /bin/bash checker
home=$work/verifying/home/checker
builder=$(awk -F: '$1 == "checker" { print $2 + $3 - 1 }' "$work/verifying/etc/subuid")
git clone -q . "$home/calculator"
own() { chown -R 2000:2000 "$@"; }
own "$home"
left_behind() {
  pgrep -a -r D,R,S,T,t -u "2000,$builder" || true
  find "$work/verifying/tmp" "$work/verifying/var/tmp" -mindepth 1 -maxdepth 1 \
    -newer "$work/verifying/etc/resolv.conf" -ls  # which was copied as the machine was made
}
trap 'pkill -KILL -u "2000,$builder" || true; umount "$home/tmp" 2>/dev/null || true
  rm -rf "$work"' EXIT
perl tools/read-buildinfo.pl "dist/$(asset_name buildinfo "$version")" $(facts rebuilds) \
  >"$work/record"
kept_chroot=$cache/chroots/calculator-rebuild/$(chroot_key \
  "$(awk '$1 == "release" { print $2 }' "$work/record")" amd64 \
  $(awk '$1 == "package" { print $2 "=" $3 }' "$work/record")).tar
[ -f "$kept_chroot" ] || fail "the release kept no chroot $kept_chroot"
verify_command=$(doc_command doc/verifying.md tools/verify-release.sh | sed 's/ DIR$//')
# A command line in a pseudo-terminal, from the clone, where what goes to descriptor 9 is
# typed; then what was typed into it is shown. Its output is kept in $work/terminal.
mkfifo "$work/keys" && exec 9<>"$work/keys" || exit 1
in_terminal() {
  echo "+ $1  (in a terminal${uts_name:+, on a machine named $uts_name})" >&2
  as_user verifying checker script -qec "cd ~/calculator && $1; echo \"exit status \$?\";
    read -t 2 -r typed && echo \"typed into the terminal: \$typed\"" /dev/null <"$work/keys" |
    tr -d '\r' | tee "$work/terminal" || true
}
download() { rm -rf "${home:?}/$1" && cp -r dist "$home/$1" && own "$home/$1"; }  # NAME
buildinfo=$(asset_name buildinfo "$version") sbom=$(asset_name sbom "$version")
tarball=$(asset_name source "$version") archive=$(asset_name portable "$version" aarch64)
resum() {  # FILE..., its checksum written anew in SHA256SUMS
  local file old new
  for file in "$@"; do
    old=$(awk -v name="$file" '$2 == name { print $1 }' SHA256SUMS)
    new=$(sha256sum <"$file" | cut -d ' ' -f 1)
    sed -i "s/$old/$new/" SHA256SUMS
  done
}
says() {  # FILE TEXT CASE
  grep -qF -- "$2" "$1" || { cat "$1"; fail "$3: the verify command should have said '$2'"; }
}
