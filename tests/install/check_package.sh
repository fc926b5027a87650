#!/usr/bin/env bash
# Installs, removes and purges the Debian package in a throwaway root, with the machine's
# own dpkg running the package's maintainer scripts outside a chroot (they honour
# DPKG_ROOT). The scripts run in a private mount namespace whose /etc is a copy, so the
# group they add never reaches this machine. Checks what a machine must find after each
# step: the group lumora, the shared store with its modes, the settings naming the system
# paths, the root section registered; the data kept on remove and gone on purge.
#   check_package.sh lumora-profile_*.deb [lumora-profile-dev_*.deb]
set -euo pipefail
debs=()
for deb in "$@"; do debs+=("$(realpath "$deb")"); done
if [ "$(id -u)" -ne 0 ] || ! unshare --mount true 2>/dev/null; then
  echo "check_package: needs root and mount namespaces to check the maintainer scripts; skipped"
  exit 0
fi
if [ -z "${LUMORA_IN_NAMESPACE:-}" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-package-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  cp -a /etc "$work/etc"
  sed -i '/^lumora:/d' "$work/etc/group" "$work/etc/gshadow" 2>/dev/null || true
  # Not exec'd: this shell stays to remove the folder (a copy of /etc among it) afterwards.
  status=0
  LUMORA_IN_NAMESPACE=$work unshare --mount sh -c \
    'mount --bind "$LUMORA_IN_NAMESPACE/etc" /etc && exec "$0" "$@"' "$0" "${debs[@]}" || status=$?
  exit "$status"
fi
work=$LUMORA_IN_NAMESPACE
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
# The package links the installation directory's TrustedRoots.pem to the absolute
# /etc/lumora: inside the namespace that is the throwaway root's own.
mkdir -p "$root/etc/lumora" /etc/lumora
mount --bind "$root/etc/lumora" /etc/lumora
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg_root() {
  dpkg --root="$root" --force-script-chrootless --force-depends --force-not-root --log=/dev/null "$@"
}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
store=$root/var/lib/lumora

dpkg_root -i "${debs[@]}" >"$work/install.txt" 2>&1 || { cat "$work/install.txt"; fail "dpkg -i"; }
getent group lumora >/dev/null || fail "no group lumora after install"
[ "$(stat -c '%G %a' "$store" 2>/dev/null)" = "lumora 2770" ] ||
  fail "the store folder is $(stat -c '%G %a' "$store" 2>/dev/null), not lumora 2770"
[ "$(stat -c '%G %a' "$store/profile.db" 2>/dev/null)" = "lumora 660" ] ||
  fail "profile.db is $(stat -c '%G %a' "$store/profile.db" 2>/dev/null), not lumora 660"
[ -L "$root/usr/lib/lumora/TrustedRoots.pem" ] && [ -s "$root/etc/lumora/TrustedRoots.pem" ] ||
  fail "TrustedRoots.pem is not the configuration file /etc/lumora/TrustedRoots.pem"
admin=("$root/usr/bin/lumora-admin" --home "$store")
"${admin[@]}" check >"$work/check.txt" 2>&1 || { cat "$work/check.txt"; fail "check after install"; }
grep -q "$store/profile.db" "$store/settings.jsonl" || fail "setting 2 does not name the system store"
grep -q "$root/usr/lib/lumora" "$store/settings.jsonl" || fail "setting 6 does not name /usr/lib/lumora"
"${admin[@]}" certs list >"$work/certs.txt" 2>&1 || true
grep -q 'Lumora Profile' "$work/certs.txt" || fail "the root section is not registered for the product"
"${admin[@]}" create common.FirstName Ann >/dev/null || fail "the installed tool cannot administer the store"
# Everything in the store, down to the class registry and the lock files: the group's,
# readable and writable by it, closed to everyone else.
odd=$(find "$store" \( ! -group lumora -o -perm /o=rwx -o -type d ! -perm -g=rwx -o -type f ! -perm -g=rw \) \
  -printf '%p %g %m\n')
[ -z "$odd" ] || fail "in the store, not for the group lumora alone: $odd"
# An upgrade runs postinst again; the store is kept as it is, and so are the roots the
# administrator added to the trusted roots.
cat "$root/usr/lib/lumora/product-root.pem" "$root/etc/lumora/TrustedRoots.pem" >"$work/roots.pem"
printf '# the administrator was here\n' >>"$work/roots.pem"
cp "$work/roots.pem" "$root/etc/lumora/TrustedRoots.pem"
dpkg_root -i "${debs[0]}" >"$work/reinstall.txt" 2>&1 || { cat "$work/reinstall.txt"; fail "dpkg -i again"; }
"${admin[@]}" get common.FirstName 2>&1 | grep -q Ann || fail "reinstalling lost the store's data"
cmp -s "$work/roots.pem" "$root/etc/lumora/TrustedRoots.pem" || fail "reinstalling changed the administrator's trusted roots"

[ "${#debs[@]}" -lt 2 ] || [ -f "$root/usr/include/lumora/profile.h" ] || fail "the development package installed no headers"
dpkg_root -r lumora-profile-dev lumora-profile >"$work/remove.txt" 2>&1 || { cat "$work/remove.txt"; fail "dpkg -r"; }
[ ! -e "$root/usr/bin/lumora-admin" ] || fail "remove left lumora-admin"
[ -s "$store/profile.db" ] || fail "remove deleted the store"
dpkg_root -P lumora-profile >"$work/purge.txt" 2>&1 || { cat "$work/purge.txt"; fail "dpkg -P"; }
[ ! -e "$store" ] || fail "purge left $store"
[ ! -e "$root/etc/lumora/TrustedRoots.pem" ] || fail "purge left the trusted roots"
[ ! -e "$root/usr/lib/lumora" ] || fail "purge left the installation directory"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of the package's maintainer scripts failed"
  exit 1
fi
echo "package installed, reinstalled, removed and purged in a throwaway root: maintainer scripts checked"
