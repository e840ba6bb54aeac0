# The ordinary user who runs the README's verify command in CI's refusals
# and rebuild steps, with a clone of their own, on copies of the release in
# dist/ (made first when dist/ holds none of this commit), in the chroot the
# release step built in. Removed, with whatever they and their builder left,
# when the step ends. Sourced after lib.sh.
needs_root  # to add the user
install_packages $(readme_packages 'Verifying a release') gpg
dist_is_current || release

checker=calculator-checker
home=/home/$checker
useradd --create-home --shell /bin/bash "$checker" 2>/dev/null || true
builder=$(awk -F: -v user="$checker" '$1 == user { print $2 + $3 - 1 }' /etc/subuid)
left_behind() {
  pgrep -a -r D,R,S,T,t -u "$checker,$builder" || true
  find /var/tmp /tmp -maxdepth 1 \( -user "$checker" -o -user "$builder" \) -ls 2>/dev/null || true
}
remove_checker() {
  pkill -KILL -u "$checker,$builder" || true
  umount "$home/tmp" 2>/dev/null || true
  find /var/tmp /tmp -maxdepth 1 \( -user "$checker" -o -user "$builder" \) -exec rm -rf {} + 2>/dev/null || true
  userdel -r "$checker" 2>/dev/null || true
}
trap 'remove_checker; rm -rf "$work"' EXIT
remove_checker  # and what a run that was killed left
useradd --create-home --shell /bin/bash "$checker"
builder=$(awk -F: -v user="$checker" '$1 == user { print $2 + $3 - 1 }' /etc/subuid)
git clone -q . "$home/calculator"
chown -R "$checker:" "$home/calculator"
verify_command=$(readme_command 'tools/verify-release.sh DIR')
verify_command="${verify_command% DIR} --chroot $shared_chroot"
# As the checker, on a machine named $uts_name where that is set.
as_checker() {
  local uts=()
  [ -z "${uts_name-}" ] || uts=(unshare --uts sh -c 'hostname "$0" && exec "$@"' "$uts_name")
  "${uts[@]}" runuser -u "$checker" -- env -i --default-signal=INT,QUIT HOME="$home" SHELL=/bin/bash PATH=/usr/bin:/bin \
    LANG=C.UTF-8 "$@"
}
# Runs a command line as the checker in a pseudo-terminal, from the clone;
# what is written to descriptor 9 meanwhile is typed there. Then whatever was
# typed into the terminal is read and shown. Its output is also kept in
# $work/terminal.
mkfifo "$work/keys"
exec 9<>"$work/keys"
in_terminal() {
  as_checker script -qec "cd ~/calculator && $1; echo \"exit status \$?\";
    read -t 2 -r typed && echo \"typed into the terminal: \$typed\"" /dev/null <"$work/keys" |
    tr -d '\r' | tee "$work/terminal" || true
}
# A copy of the release in the checker's folder NAME.
download() {
  rm -rf "${home:?}/$1"
  cp -r dist "$home/$1"
  chown -R "$checker:" "$home/$1"
}
buildinfo=calculator_${version}_amd64.buildinfo
sbom=calculator-$version.cdx.json
tarball=calculator-$version.tar.gz
archive=calculator-$version-linux-aarch64.tar.gz
# The checksum of each FILE written anew in SHA256SUMS, in the current folder.
resum() {
  local file old new
  for file in "$@"; do
    old=$(awk -v name="$file" '$2 == name { print $1 }' SHA256SUMS)
    new=$(sha256sum <"$file" | cut -d ' ' -f 1)
    sed -i "s/$old/$new/" SHA256SUMS
  done
}
# Fails unless the verdict in FILE says TEXT, naming the case.
says() {
  grep -qF -- "$2" "$1" || { cat "$1"; echo "$3: the verify command should have said '$2'" >&2; exit 1; }
}
